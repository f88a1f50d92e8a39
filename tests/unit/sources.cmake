set(KEL_UNIT_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/arrays_record_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/binary_errors_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/engine_fixture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/errors_catalogue_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/errors_report_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/files_filter_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/heap_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/keyword_table_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/launch_stop_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/loader_definitions_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/loader_include_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/loader_preprocess_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/loader_run_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/loader_text_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/math_elementary_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/math_functions_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/parameters_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_table_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/statements_foreach_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/statements_runner_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/strings_characters_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/strings_functions_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/strings_item_select_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/strings_items_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/strings_wildcard_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/time_ymdhms_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tokenizer_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/value_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows_title_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/variables_test.cpp)
# The loader tests read their fixture files where they lie; a Windows build runs under Wine,
# which shows the whole file system as drive Z:.
set(KEL_LOADER_FIXTURE_DIR ${CMAKE_CURRENT_LIST_DIR}/fixtures/loader)
if(WIN32)
  set(KEL_LOADER_FIXTURE_DIR "Z:${KEL_LOADER_FIXTURE_DIR}")
endif()
set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/loader_definitions_test.cpp
             ${CMAKE_CURRENT_LIST_DIR}/loader_include_test.cpp
             ${CMAKE_CURRENT_LIST_DIR}/loader_preprocess_test.cpp
             ${CMAKE_CURRENT_LIST_DIR}/loader_run_test.cpp
             ${CMAKE_CURRENT_LIST_DIR}/loader_text_test.cpp
             ${CMAKE_CURRENT_LIST_DIR}/statements_foreach_test.cpp
             ${CMAKE_CURRENT_LIST_DIR}/statements_runner_test.cpp
             APPEND PROPERTY COMPILE_DEFINITIONS KEL_LOADER_FIXTURES="${KEL_LOADER_FIXTURE_DIR}")
