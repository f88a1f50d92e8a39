target_sources(kelengine PRIVATE
  core/buffer_state.cpp
  core/file_state.cpp
  core/hooks.cpp
  core/process_state.cpp
  core/registry_state.cpp)
