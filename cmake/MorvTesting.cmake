# Test registration shared by both configurations.
#
# morv_add_gtest(NAME <name> SOURCES <files...> [LIBS <targets...>]
#                [DEPENDS <targets...>] [ENVIRONMENT <VAR=value...>])
#
# One CTest test per executable. Each run writes a GoogleTest XML report into
# ${MORV_TEST_RESULTS}, from which the test command reports the case counts.
# Windows executables run through CMAKE_CROSSCOMPILING_EMULATOR (Wine).
set(MORV_TEST_RESULTS ${CMAKE_BINARY_DIR}/test-results)
file(MAKE_DIRECTORY ${MORV_TEST_RESULTS})

if(CMAKE_CROSSCOMPILING)
  set(GTEST_SRC /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${GTEST_SRC} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(MORV_GTEST_LIBS gmock gtest)
  # Paths the Windows programs see: Wine maps the Unix root to drive Z:.
  set(MORV_WIN_RESULTS "Z:${MORV_TEST_RESULTS}/")
else()
  find_package(GTest REQUIRED)
  set(MORV_GTEST_LIBS GTest::gmock GTest::gtest)
  set(MORV_WIN_RESULTS "${MORV_TEST_RESULTS}/")
endif()

function(morv_add_gtest)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;DEPENDS;ENVIRONMENT" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} ${MORV_GTEST_LIBS})
  if(NOT CMAKE_CROSSCOMPILING)
    find_package(Threads REQUIRED)
    target_link_libraries(${T_NAME} PRIVATE Threads::Threads)
  endif()
  morv_strict(${T_NAME})
  if(T_DEPENDS)
    add_dependencies(${T_NAME} ${T_DEPENDS})
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_output=xml:${MORV_WIN_RESULTS})
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${MORV_TEST_ENV};${T_ENVIRONMENT}")
endfunction()

# morv_add_fuzzer(NAME <name> SOURCES <files...> [LIBS <targets...>]
#                 SEEDS <dir> [SECONDS <n>])
#
# A libFuzzer target, run by CTest for a bounded time from a copy of the
# seed corpus kept in the repository; any crash, leak or sanitizer report
# fails the test.
function(morv_add_fuzzer)
  cmake_parse_arguments(F "" "NAME;SEEDS;SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT F_SECONDS)
    set(F_SECONDS 60)
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  morv_strict(${F_NAME})
  set(corpus ${CMAKE_BINARY_DIR}/corpus/${F_NAME})
  add_test(NAME ${F_NAME}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1
      ${CMAKE_COMMAND} -DFUZZER=$<TARGET_FILE:${F_NAME}> -DSEEDS=${F_SEEDS} -DCORPUS=${corpus}
      -DSECONDS=${F_SECONDS} -P ${PROJECT_SOURCE_DIR}/cmake/RunFuzzer.cmake)
  set_tests_properties(${F_NAME} PROPERTIES TIMEOUT 600)
endfunction()
