# The shell's shortcut files and special folders.
target_sources(kelengine PRIVATE ${CMAKE_CURRENT_LIST_DIR}/shortcut_functions.cpp)
