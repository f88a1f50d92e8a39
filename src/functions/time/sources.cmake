# The time and date functions, the YmdHms text form they share with the file functions, and
# the waits.
target_sources(kelengine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/time_arithmetic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/time_functions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/time_waits.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ymdhms.cpp)
