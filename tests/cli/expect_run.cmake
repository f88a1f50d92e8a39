# Runs the `kel` command (under the emulator when cross-built) and checks its exit status and
# what it wrote to standard error and, when given, to standard output.
#   -DKEL=path -DEMULATOR=wine-or-empty -DSTATUS=n -DSTDERR=regex -DARGS=a;b;c
#   [-DSTDOUT=regex] [-DINPUT=file fed to standard input]
#   [-DLINK=dir: run the command through a symbolic link made in that folder]
set(program ${KEL})
if(LINK)
  file(REMOVE_RECURSE ${LINK})
  file(MAKE_DIRECTORY ${LINK})
  file(CREATE_LINK ${KEL} ${LINK}/kel SYMBOLIC)
  set(program ${LINK}/kel)
endif()
set(command ${program} ${ARGS})
if(EMULATOR)
  set(command ${EMULATOR} ${command})
endif()
if(NOT INPUT)
  set(INPUT /dev/null)
endif()
execute_process(COMMAND ${command} INPUT_FILE ${INPUT} RESULT_VARIABLE status
                OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REPLACE "\r" "" out "${out}")
string(REPLACE "\r" "" err "${err}")
string(STRIP "${err}" err)
if(NOT status STREQUAL STATUS)
  message(FATAL_ERROR "exit status ${status}, expected ${STATUS}\nstdout: ${out}\nstderr: ${err}")
endif()
if(NOT err MATCHES "${STDERR}")
  message(FATAL_ERROR "standard error does not match '${STDERR}':\n${err}")
endif()
if(DEFINED STDOUT AND NOT out MATCHES "${STDOUT}")
  message(FATAL_ERROR "standard output does not match '${STDOUT}':\n${out}")
endif()
