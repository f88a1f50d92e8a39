# The INI functions: entries of the system's profile and of named profile files.
target_sources(kelengine PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ini_functions.cpp)
