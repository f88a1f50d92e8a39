# Runs one script with the checked build's `kel` command once for each of its allocations, the
# first run failing the first allocation (KEL_FAIL_ALLOCATION=1), the next the second, and so on
# until five runs in a row end normally: the failure then falls past the script's last
# allocation. Every run must end normally (a failure the engine could absorb) or with a reported
# error that says memory ran out (exit status 1, or 2 when the text could not be prepared); a crash, a sanitizer's report (a leak among them) or a failed
# consistency walk fails the test.
#
#   cmake -DKEL=<kel command> -DSCRIPT=<file.kel> [-DLIMIT=<most runs>] -P allocation_walk.cmake

if(NOT KEL OR NOT SCRIPT)
  message(FATAL_ERROR "usage: cmake -DKEL=<kel> -DSCRIPT=<file.kel> [-DLIMIT=n] -P allocation_walk.cmake")
endif()
if(NOT LIMIT)
  set(LIMIT 400)
endif()

set(clean_in_a_row 0)
set(reported "")
set(failures "")
foreach(n RANGE 1 ${LIMIT})
  execute_process(COMMAND ${CMAKE_COMMAND} -E env KEL_FAIL_ALLOCATION=${n} ${KEL} ${SCRIPT}
                  RESULT_VARIABLE status
                  OUTPUT_VARIABLE output
                  ERROR_VARIABLE errors
                  TIMEOUT 120)
  set(runs ${n})
  if(errors MATCHES "Sanitizer|runtime error|consistency check failed|INTERNAL DYNALLOC ERROR")
    string(APPEND failures "allocation ${n}: the checks reported damage:\n${errors}\n")
  elseif(status STREQUAL "0")
    math(EXPR clean_in_a_row "${clean_in_a_row} + 1")
  elseif(status STREQUAL "1" OR status STREQUAL "2")
    # 2: the text could not even be prepared for the run.
    set(clean_in_a_row 0)
    if("\n${errors}" MATCHES "\n([0-9]+):  ")
      list(APPEND reported ${CMAKE_MATCH_1})
      if(NOT errors MATCHES "[Aa]llocat|[Mm]emory")
        string(APPEND failures "allocation ${n}: an error that does not say memory ran out:\n${errors}\n")
      endif()
    else()
      string(APPEND failures "allocation ${n}: exit status 1 without a reported error:\n${errors}\n")
    endif()
  else()
    string(APPEND failures "allocation ${n}: exit status ${status}:\n${errors}\n")
    set(clean_in_a_row 0)
  endif()
  if(clean_in_a_row EQUAL 5)
    break()
  endif()
endforeach()

if(clean_in_a_row LESS 5)
  string(APPEND failures "the script still failed after ${LIMIT} allocations; raise LIMIT\n")
endif()
if(NOT failures STREQUAL "")
  message(FATAL_ERROR "${SCRIPT}:\n${failures}")
endif()
list(LENGTH reported count)
list(REMOVE_DUPLICATES reported)
message(STATUS "${SCRIPT}: ${runs} runs, ${count} ended with a reported error (${reported})")
