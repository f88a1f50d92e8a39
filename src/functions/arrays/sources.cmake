# The array functions.
target_sources(kelengine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/array_files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/array_functions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/array_reshape.cpp
  ${CMAKE_CURRENT_LIST_DIR}/array_sort.cpp
  ${CMAKE_CURRENT_LIST_DIR}/array_support.cpp)
