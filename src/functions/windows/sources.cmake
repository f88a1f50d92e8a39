# The window functions.
target_sources(kelengine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/window_functions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_lists.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_support.cpp)
