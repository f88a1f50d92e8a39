# The binary buffer functions.
target_sources(kelengine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/binary_clipboard.cpp
  ${CMAKE_CURRENT_LIST_DIR}/binary_exports.cpp
  ${CMAKE_CURRENT_LIST_DIR}/binary_files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/binary_functions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/binary_records.cpp
  ${CMAKE_CURRENT_LIST_DIR}/binary_search.cpp
  ${CMAKE_CURRENT_LIST_DIR}/binary_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/binary_tags.cpp)
