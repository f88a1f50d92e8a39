target_sources(kelengine PRIVATE
  host/entry_points.cpp
  host/host_memory.cpp
  host/pump.cpp)
