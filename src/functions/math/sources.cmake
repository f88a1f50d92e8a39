# The arithmetic functions.
set(KEL_MATH_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/elementary.cpp
  ${CMAKE_CURRENT_LIST_DIR}/half_pi_reduction.cpp
  ${CMAKE_CURRENT_LIST_DIR}/math_aggregates.cpp
  ${CMAKE_CURRENT_LIST_DIR}/math_functions.cpp)
target_sources(kelengine PRIVATE ${KEL_MATH_SOURCES})

# The double-double steps of the elementary functions need every operation rounded to double
# exactly once: no fused multiply-adds, and on 32-bit x86 the SSE2 unit rather than the
# extended-precision stack. Then every build computes the same bits.
set(KEL_MATH_EXACT_OPTIONS -ffp-contract=off)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$")
  list(APPEND KEL_MATH_EXACT_OPTIONS -msse2 -mfpmath=sse)
endif()
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/elementary.cpp
                            ${CMAKE_CURRENT_LIST_DIR}/half_pi_reduction.cpp
                            PROPERTIES COMPILE_OPTIONS "${KEL_MATH_EXACT_OPTIONS}")
