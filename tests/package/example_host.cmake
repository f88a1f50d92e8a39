# Installs the build into a prefix of its own, builds the example host against the installed
# package with find_package(kel), runs it (under the emulator when cross-built) and checks what
# it printed; then runs the installed `kel` command.
#   -DBUILD=dir -DWORK=dir -DEXAMPLE=dir -DGENERATOR=g -DTOOLCHAIN=file-or-empty
#   -DEMULATOR=wine-or-empty -DFLAGS=compiler-flags
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (${status}):\n${out}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK})
set(prefix ${WORK}/prefix)
run("installing" ${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix})

file(GLOB_RECURSE config ${prefix}/*/kelConfig.cmake)
list(LENGTH config found)
if(NOT found EQUAL 1)
  message(FATAL_ERROR "the install holds ${found} kelConfig.cmake files: ${config}")
endif()
get_filename_component(config_dir ${config} DIRECTORY)

set(configure ${CMAKE_COMMAND} -S ${EXAMPLE} -B ${WORK}/host -G ${GENERATOR}
              -DCMAKE_BUILD_TYPE=Release -Dkel_DIR=${config_dir} "-DCMAKE_C_FLAGS=${FLAGS}")
if(TOOLCHAIN)
  list(APPEND configure -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()
run("configuring the example host" ${configure})
run("building the example host" ${CMAKE_COMMAND} --build ${WORK}/host)

file(GLOB host ${WORK}/host/kel_host ${WORK}/host/kel_host.exe)
run("running the example host" ${EMULATOR} ${host} "greeting = StrCat(\"Hello, \", \"host\")"
    greeting)
if(NOT out MATCHES "^greeting = Hello, host\r?\n$")
  message(FATAL_ERROR "unexpected output of the example host:\n${out}")
endif()

# The installed `kel` command finds the installed engine library wherever the install put it.
file(GLOB command ${prefix}/bin/kel ${prefix}/bin/kel.exe)
file(WRITE ${WORK}/installed.kel "StdOut(StrCat(\"installed \", \"kel\"))\n")
run("running the installed kel command" ${EMULATOR} ${command} ${WORK}/installed.kel)
if(NOT out MATCHES "^installed kel\r?\n$")
  message(FATAL_ERROR "unexpected output of the installed kel command:\n${out}")
endif()
