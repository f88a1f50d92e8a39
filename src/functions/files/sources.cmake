# The file, directory and disk functions and the file-list engine they share.
target_sources(kelengine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/directories.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_functions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_info.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_lists.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_names.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_times.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_files.cpp)
