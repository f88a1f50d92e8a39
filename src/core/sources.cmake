target_sources(kelengine PRIVATE
  core/hooks.cpp
  core/process_state.cpp)
