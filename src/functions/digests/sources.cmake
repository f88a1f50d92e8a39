# The file digest functions.
target_sources(kelengine PRIVATE ${CMAKE_CURRENT_LIST_DIR}/digest_functions.cpp)
