target_sources(kelengine PRIVATE
  host/entry_points.cpp
  host/pump.cpp
  host/run_loop.cpp
  host/script_parameters.cpp)
