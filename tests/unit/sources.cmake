set(KEL_UNIT_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/engine_fixture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/heap_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/parameters_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/value_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/variables_test.cpp)
