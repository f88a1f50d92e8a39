# The environment variables of the process and the facts about the system and the engine.
target_sources(kelengine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/environment_functions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/system_functions.cpp)
