# The registry functions: keys, values and the helpers they share.
target_sources(kelengine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/registry_keys.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_values.cpp)
