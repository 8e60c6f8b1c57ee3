# Installs the bridge component of the build tree BUILD_DIR, moves the
# installed tree elsewhere (a consumer must not depend on where it was
# installed) and builds the program in PROJECT_DIR against it twice: with
# find_package(morv-ts) and with pkg-config. Runs both programs (through
# EMULATOR when cross-compiled) and fails unless each prints its "ok".
#
#   -DBUILD_DIR= -DWORK_DIR= -DPROJECT_DIR= -DGRAMMAR_DIR= -DGENERATOR= -DC_COMPILER=
#   [-DTOOLCHAIN=<file> -DEMULATOR=<command;args>] [-DC_FLAGS=<flag;...>]
#   -DEXPECTED=<regex;...>   the installed files, relative to the prefix

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " line "${ARGN}")
    message(FATAL_ERROR "failed (${rc}): ${line}\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

function(run_consumer program)
  run(${EMULATOR} ${program})
  if(NOT out MATCHES "consumer: ok")
    message(FATAL_ERROR "${program} did not report ok:\n${out}")
  endif()
  message(STATUS "${program}: ok")
endfunction()

if(TOOLCHAIN)
  set(exe .exe)
endif()
file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/staging --component bridge)
file(RENAME ${WORK_DIR}/staging ${WORK_DIR}/prefix)
set(prefix ${WORK_DIR}/prefix)

# What the component installs, and nothing else: no grammar, no test file.
file(GLOB_RECURSE installed RELATIVE ${prefix} ${prefix}/*)
foreach(file IN LISTS installed)
  set(known FALSE)
  foreach(pattern IN LISTS EXPECTED)
    if(file MATCHES "^${pattern}$")
      set(known TRUE)
    endif()
  endforeach()
  if(NOT known)
    message(FATAL_ERROR "installed but not expected: ${file}")
  endif()
endforeach()
foreach(pattern IN LISTS EXPECTED)
  set(found ${installed})
  list(FILTER found INCLUDE REGEX "^${pattern}$")
  if(NOT found)
    message(FATAL_ERROR "not installed: ${pattern}")
  endif()
endforeach()

set(configure ${CMAKE_COMMAND} -S ${PROJECT_DIR} -B ${WORK_DIR}/cmake -G ${GENERATOR}
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH=${prefix} -DGRAMMAR_DIR=${GRAMMAR_DIR})
if(TOOLCHAIN)
  # The MinGW toolchain file searches for packages only under the MinGW root,
  # so that no package of the build machine passes for a Windows one; a
  # package elsewhere is named by its directory.
  list(APPEND configure -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -Dmorv-ts_DIR=${prefix}/lib/cmake/morv-ts)
endif()
if(C_FLAGS)
  string(REPLACE ";" " " flags "${C_FLAGS}")
  list(APPEND configure "-DCMAKE_C_FLAGS=${flags}")
endif()
run(${configure})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake)
run_consumer(${WORK_DIR}/cmake/consumer${exe})

# pkg-config reads only the moved tree's file.
set(ENV{PKG_CONFIG_LIBDIR} ${prefix}/lib/pkgconfig)
unset(ENV{PKG_CONFIG_PATH})
run(pkg-config --cflags --libs morv-ts)
string(STRIP "${out}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run(pkg-config --variable=libdir morv-ts)
string(STRIP "${out}" libdir)
set(dir ${WORK_DIR}/pkg-config)
file(MAKE_DIRECTORY ${dir})
if(TOOLCHAIN)
  # Windows finds a program's DLLs beside it.
  file(COPY ${prefix}/bin/morv-ts.dll DESTINATION ${dir})
else()
  list(APPEND flags -Wl,-rpath,${libdir})
endif()
# The generated grammar is not held to the consumer's warnings.
run(${C_COMPILER} ${C_FLAGS} -w -c -I${GRAMMAR_DIR} -o ${dir}/parser.o ${GRAMMAR_DIR}/parser.c)
run(${C_COMPILER} ${C_FLAGS} -std=c11 -Wall -Wextra -Wpedantic -Werror -o ${dir}/consumer${exe}
  ${PROJECT_DIR}/consumer.c ${dir}/parser.o ${flags})
run_consumer(${dir}/consumer${exe})
