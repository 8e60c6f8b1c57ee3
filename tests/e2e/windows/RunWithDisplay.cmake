# Runs one Windows test program under xvfb-run with Wine, in its own prefix
# (created on first use). Arguments: PREFIX, PROGRAM, RESULTS.
if(NOT EXISTS ${PREFIX}/system.reg)
  file(MAKE_DIRECTORY ${PREFIX})
  execute_process(
    COMMAND env -u DISPLAY WINEPREFIX=${PREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
            wineboot --init
    OUTPUT_QUIET ERROR_QUIET)
  execute_process(COMMAND env WINEPREFIX=${PREFIX} wineserver -w)
endif()
execute_process(
  COMMAND xvfb-run -a env WINEPREFIX=${PREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
          wine ${PROGRAM} --gtest_output=xml:${RESULTS}
  RESULT_VARIABLE rc)
# Let the prefix's server go before xvfb-run's display is gone for good.
execute_process(COMMAND env WINEPREFIX=${PREFIX} wineserver -w)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} failed (${rc})")
endif()
