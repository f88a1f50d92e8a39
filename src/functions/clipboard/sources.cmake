# The text clipboard functions.
target_sources(kelengine PRIVATE ${CMAKE_CURRENT_LIST_DIR}/clipboard_functions.cpp)
