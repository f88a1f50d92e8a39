# Starting programs and documents, waiting for them, and the programs that are running.
target_sources(kelengine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/launch_functions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/launcher.cpp
  ${CMAKE_CURRENT_LIST_DIR}/running_programs.cpp)
