target_sources(kelengine PRIVATE
  host/entry_points.cpp
  host/pump.cpp)
