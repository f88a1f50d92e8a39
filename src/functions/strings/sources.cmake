# The string, item-list and character functions, and the wildcard matcher they share with the
# file functions.
target_sources(kelengine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/character_functions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/item_csv.cpp
  ${CMAKE_CURRENT_LIST_DIR}/item_functions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/string_concatenation.cpp
  ${CMAKE_CURRENT_LIST_DIR}/string_functions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/string_search.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_units.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wildcard.cpp)
