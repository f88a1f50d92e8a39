# Runs one script with the `kel` command and checks what it did against the expectations written
# in the script's own comments (README.md beside this file describes them).
#
#   cmake -DKEL=<kel command> [-DEMULATOR=<emulator>] -DSCRIPT=<file.kel> -P run_script.cmake
#
# The script is read without CMake lists: its lines hold ";" and "[", which lists would split
# or protect.

if(NOT KEL OR NOT SCRIPT)
  message(FATAL_ERROR "usage: cmake -DKEL=<kel> [-DEMULATOR=<emulator>] -DSCRIPT=<file.kel> -P run_script.cmake")
endif()

file(READ "${SCRIPT}" text)
string(REPLACE "\r" "" text "${text}")

# The expectations, in the order the script writes them.
set(expected_output "")
set(expected_exit "")
set(expected_error "")
set(rest "${text}")
while(NOT rest STREQUAL "")
  string(FIND "${rest}" "\n" end)
  if(end EQUAL -1)
    set(line "${rest}")
    set(rest "")
  else()
    string(SUBSTRING "${rest}" 0 ${end} line)
    math(EXPR next "${end} + 1")
    string(SUBSTRING "${rest}" ${next} -1 rest)
  endif()
  string(FIND "${line}" "; expect" at)
  if(at EQUAL -1)
    continue()
  endif()
  string(SUBSTRING "${line}" ${at} -1 expectation)
  if(expectation MATCHES "^; expect: ?(.*)$")
    string(APPEND expected_output "${CMAKE_MATCH_1}\n")
  elseif(expectation MATCHES "^; expect exit: *([0-9]+) *$")
    set(expected_exit "${CMAKE_MATCH_1}")
  elseif(expectation MATCHES "^; expect error: *([0-9]+) *$")
    set(expected_error "${CMAKE_MATCH_1}")
  else()
    message(FATAL_ERROR "${SCRIPT}: an expectation this driver does not know: ${expectation}")
  endif()
endwhile()
if(expected_exit STREQUAL "")
  if(expected_error STREQUAL "")
    set(expected_exit 0)
  else()
    set(expected_exit 1)
  endif()
endif()

set(command ${KEL} "${SCRIPT}")
if(EMULATOR)
  set(command ${EMULATOR} ${command})
endif()
execute_process(COMMAND ${command}
                RESULT_VARIABLE status
                OUTPUT_VARIABLE output
                ERROR_VARIABLE errors
                TIMEOUT 120)
string(REPLACE "\r" "" output "${output}")
string(REPLACE "\r" "" errors "${errors}")

set(failures "")
if(NOT status STREQUAL expected_exit)
  string(APPEND failures "exit status ${status}, expected ${expected_exit}\n")
endif()
if(NOT output STREQUAL expected_output)
  string(APPEND failures "standard output differs.\n--- expected:\n${expected_output}--- got:\n${output}---\n")
endif()
# The headline of the first reported error: "<number>:  <message>".
set(headline "")
if("\n${errors}" MATCHES "\n([0-9]+):  ")
  set(headline "${CMAKE_MATCH_1}")
endif()
if(NOT headline STREQUAL expected_error)
  if(expected_error STREQUAL "")
    string(APPEND failures "an error was reported, none expected\n")
  else()
    string(APPEND failures "error ${expected_error} expected, ")
    if(headline STREQUAL "")
      string(APPEND failures "none reported\n")
    else()
      string(APPEND failures "${headline} reported\n")
    endif()
  endif()
endif()
if(NOT failures STREQUAL "")
  message(FATAL_ERROR "${SCRIPT}:\n${failures}standard error:\n${errors}")
endif()
