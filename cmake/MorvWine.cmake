# Wine for the Windows build: the environment every Windows program runs in,
# the paths those programs see, and the wine server that CTest's tests share.
#
# Included by the project when it cross-builds for Windows; included by other
# scripts for its functions; and run as a script for the server:
#
#   cmake -DMORV_WINEPREFIX=<dir> -DMORV_WINE_ACTION=start|stop -P MorvWine.cmake
#
# start creates the prefix when it is missing, starts a persistent server and
# Wine's own services; stop ends that server (and only that prefix's). The
# project also writes <build>/wine-env.sh, through which the shell scripts
# get the same environment and the same two actions.

# Wine's variables for a prefix, as VAR=value items. Without DISPLAY (unset
# by the callers) a message box returns at once; mscoree and mshtml would
# otherwise offer to install Mono and Gecko into every new prefix.
function(morv_wine_env out prefix)
  set(${out} "WINEPREFIX=${prefix}" "WINEDEBUG=-all" "WINEDLLOVERRIDES=mscoree,mshtml=" PARENT_SCOPE)
endfunction()

# Creates the prefix unless it exists. wineboot leaves work to its server;
# waiting for that server keeps the first program from racing it.
function(morv_wine_prefix prefix)
  if(EXISTS ${prefix}/system.reg)
    return()
  endif()
  file(MAKE_DIRECTORY ${prefix})
  morv_wine_env(env ${prefix})
  execute_process(COMMAND env -u DISPLAY ${env} wineboot --init
    INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
  execute_process(COMMAND env WINEPREFIX=${prefix} wineserver -w)
  if(NOT EXISTS ${prefix}/system.reg)
    message(FATAL_ERROR "wineboot did not create the Wine prefix ${prefix}")
  endif()
endfunction()

# Writes the shell snippet for a prefix: the environment, exported, and
# morv_wine_start / morv_wine_stop, which run this file's actions.
function(morv_wine_env_script file prefix)
  morv_wine_env(env ${prefix})
  set(text "# Wine's environment for ${prefix}; sourced by the scripts.\nunset DISPLAY\n")
  foreach(item IN LISTS env)
    string(REGEX REPLACE "^([^=]+)=(.*)$" "export \\1='\\2'" line "${item}")
    string(APPEND text "${line}\n")
  endforeach()
  foreach(action start stop)
    string(APPEND text "morv_wine_${action}() {\n"
      "  '${CMAKE_COMMAND}' -DMORV_WINEPREFIX='${prefix}' -DMORV_WINE_ACTION=${action} "
      "-P '${CMAKE_CURRENT_FUNCTION_LIST_FILE}'\n}\n")
  endforeach()
  file(WRITE ${file} "${text}")
endfunction()

# Run as a script with an action, or included by another script for the
# functions above.
if(CMAKE_SCRIPT_MODE_FILE AND NOT DEFINED MORV_WINE_ACTION)
  return()
endif()
if(CMAKE_SCRIPT_MODE_FILE)
  if(NOT MORV_WINEPREFIX)
    message(FATAL_ERROR "MorvWine.cmake: set MORV_WINEPREFIX")
  endif()
  set(action "${MORV_WINE_ACTION}")
  morv_wine_env(env ${MORV_WINEPREFIX})
  if(action STREQUAL "start")
    morv_wine_prefix(${MORV_WINEPREFIX})
    # One persistent server for all tests saves its start-up per program.
    # Wine's services, started by the first program, then live as long as
    # the server; started here, with no standard stream inherited from CTest,
    # they hold none of CTest's output pipes, which would otherwise keep a
    # finished test from ever ending.
    execute_process(COMMAND env WINEPREFIX=${MORV_WINEPREFIX} wineserver -p
      INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
    execute_process(COMMAND env -u DISPLAY ${env} wine cmd.exe /c exit 0
      INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null
      RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "Wine did not run a program in ${MORV_WINEPREFIX} (${rc})")
    endif()
  elseif(action STREQUAL "stop")
    # Fails harmlessly when no server runs for the prefix.
    execute_process(COMMAND env WINEPREFIX=${MORV_WINEPREFIX} wineserver -k
      INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
  else()
    message(FATAL_ERROR "MorvWine.cmake: unknown action '${action}' (start, stop)")
  endif()
  return()
endif()

set(MORV_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
morv_wine_env(MORV_WINE_ENV ${MORV_WINEPREFIX})
set(CMAKE_CROSSCOMPILING_EMULATOR env -u DISPLAY ${MORV_WINE_ENV} wine)
set(MORV_WINE_MODULE ${CMAKE_CURRENT_LIST_FILE})

# The snippet the shell scripts source for the same environment.
morv_wine_env_script(${CMAKE_BINARY_DIR}/wine-env.sh ${MORV_WINEPREFIX})

# morv_wine_path(<out> <path>): the path as a Windows program sees it. Wine
# maps the Unix root to drive Z:. Works on generator expressions too.
function(morv_wine_path out path)
  set(${out} "Z:${path}" PARENT_SCOPE)
endfunction()

# morv_wine_fixture(): the tests that start the shared server before every
# other test and stop it after them. The Windows tests take part through
# morv_test_fixtures (MorvTesting.cmake).
function(morv_wine_fixture)
  add_test(NAME wine_start COMMAND ${CMAKE_COMMAND} -DMORV_WINEPREFIX=${MORV_WINEPREFIX}
    -DMORV_WINE_ACTION=start -P ${MORV_WINE_MODULE})
  add_test(NAME wine_stop COMMAND ${CMAKE_COMMAND} -DMORV_WINEPREFIX=${MORV_WINEPREFIX}
    -DMORV_WINE_ACTION=stop -P ${MORV_WINE_MODULE})
  set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
  set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)
endfunction()
