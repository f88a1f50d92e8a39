# Runs the `kel` command (under the emulator when cross-built) and checks its exit status and
# what it wrote to standard error.
#   -DKEL=path -DEMULATOR=wine-or-empty -DSTATUS=n -DSTDERR=regex -DARGS=a;b;c
set(command ${KEL} ${ARGS})
if(EMULATOR)
  set(command ${EMULATOR} ${command})
endif()
execute_process(COMMAND ${command} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(STRIP "${err}" err)
if(NOT status STREQUAL STATUS)
  message(FATAL_ERROR "exit status ${status}, expected ${STATUS}\nstdout: ${out}\nstderr: ${err}")
endif()
if(NOT err MATCHES "${STDERR}")
  message(FATAL_ERROR "standard error does not match '${STDERR}':\n${err}")
endif()
