# Test registration shared by all configurations.
#
# CTest counts: one CTest test per test program (or scripted check), and the
# test presets write CTest's JUnit report, from which the test command reads
# its counts. Windows programs run through CMAKE_CROSSCOMPILING_EMULATOR
# (Wine, see MorvWine.cmake) and need the fixture that starts Wine's server.
if(MORV_WINE)
  set(GTEST_SRC /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${GTEST_SRC} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(MORV_GTEST_LIBS gmock gtest)
  set(MORV_TEST_ENV ${MORV_WINE_ENV})
else()
  find_package(GTest REQUIRED)
  set(MORV_GTEST_LIBS GTest::gmock GTest::gtest)
  set(MORV_TEST_ENV "ASAN_OPTIONS=detect_leaks=1" "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endif()

# morv_program_path(<out> <path>): a path of the build machine as the test
# programs see it (the Z: drive under Wine). Takes generator expressions.
function(morv_program_path out path)
  if(MORV_WINE)
    morv_wine_path(path "${path}")
  endif()
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

# morv_test_fixtures(<test>...): what every test of the configuration
# needs before it runs (under Wine, the fixture that starts its server).
function(morv_test_fixtures)
  if(MORV_WINE)
    set_tests_properties(${ARGN} PROPERTIES FIXTURES_REQUIRED wine)
  endif()
endfunction()

# morv_add_gtest(NAME <name> SOURCES <files...> [LIBS <targets...>]
#                [DEPENDS <targets...>] [ENVIRONMENT <VAR=value...>])
#
# A GoogleTest program and its CTest test.
function(morv_add_gtest)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;DEPENDS;ENVIRONMENT" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} ${MORV_GTEST_LIBS})
  if(NOT CMAKE_CROSSCOMPILING)
    find_package(Threads REQUIRED)
    target_link_libraries(${T_NAME} PRIVATE Threads::Threads)
  endif()
  morv_strict(${T_NAME})
  morv_instrument(${T_NAME})
  if(T_DEPENDS)
    add_dependencies(${T_NAME} ${T_DEPENDS})
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${MORV_TEST_ENV};${T_ENVIRONMENT}")
  morv_test_fixtures(${T_NAME})
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
  morv_instrument(${F_NAME})
  set(corpus ${CMAKE_BINARY_DIR}/corpus/${F_NAME})
  add_test(NAME ${F_NAME}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1
      ${CMAKE_COMMAND} -DFUZZER=$<TARGET_FILE:${F_NAME}> -DSEEDS=${F_SEEDS} -DCORPUS=${corpus}
      -DSECONDS=${F_SECONDS} -P ${PROJECT_SOURCE_DIR}/cmake/RunFuzzer.cmake)
  set_tests_properties(${F_NAME} PROPERTIES TIMEOUT 600)
endfunction()
