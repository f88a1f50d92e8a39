# The named pipe functions: messages between two scripts, or a script and another program.
target_sources(kelengine PRIVATE ${CMAKE_CURRENT_LIST_DIR}/pipe_functions.cpp)
