# Runs one Windows test program under xvfb-run with Wine, in a prefix of its
# own (created on first use), so that no display-less Wine desktop of the
# other tests is shared. Arguments: MORV_WINEPREFIX, MORV_WINE_MODULE, PROGRAM.
include(${MORV_WINE_MODULE})
morv_wine_prefix(${MORV_WINEPREFIX})
morv_wine_env(env ${MORV_WINEPREFIX})
execute_process(
  COMMAND xvfb-run -a env ${env} wine ${PROGRAM}
  RESULT_VARIABLE rc)
# Let the prefix's server go before xvfb-run's display is gone for good.
execute_process(COMMAND env WINEPREFIX=${MORV_WINEPREFIX} wineserver -w)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} failed (${rc})")
endif()
