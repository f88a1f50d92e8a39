target_sources(kelengine PRIVATE
  host/call_frames.cpp
  host/entry_points.cpp
  host/host_memory.cpp
  host/pump.cpp)
