# Runs one libFuzzer target for SECONDS seconds on a fresh copy of its seeds.
file(REMOVE_RECURSE ${CORPUS})
file(MAKE_DIRECTORY ${CORPUS})
file(GLOB seeds ${SEEDS}/*)
if(seeds)
  file(COPY ${seeds} DESTINATION ${CORPUS})
endif()
execute_process(
  COMMAND ${FUZZER} -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=4096
          -print_final_stats=1 -artifact_prefix=${CORPUS}- ${CORPUS}
  RESULT_VARIABLE rc)
file(GLOB corpus_files ${CORPUS}/*)
list(LENGTH corpus_files n)
message(STATUS "corpus size after the run: ${n} files")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "fuzzer reported a finding (exit code ${rc})")
endif()
