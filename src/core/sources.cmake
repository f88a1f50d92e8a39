target_sources(kelengine PRIVATE
  core/file_state.cpp
  core/hooks.cpp
  core/process_state.cpp)
