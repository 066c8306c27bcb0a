# Helpers for the layers' test executables (GoogleTest, run under Wine by the emulator).
include(GoogleTest)

# setrix_add_gtest(NAME <exe> SOURCES <...> LIBS <...> [RESOURCE_LOCK <lock>] [TIMEOUT <s>]
#                  [PROPERTIES <name value...>])
# Builds <exe>.exe beside the deliverables and registers each test case with CTest.
# RESOURCE_LOCK keeps tests of different executables that share machine-wide state
# (a registry key, a port) from running at the same time. PROPERTIES adds further test
# properties to every case (a fixture the cases require, their environment).
function(setrix_add_gtest)
  cmake_parse_arguments(T "" "NAME;RESOURCE_LOCK;TIMEOUT" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  if(SETRIX_NO_TESTS)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set(props TIMEOUT ${T_TIMEOUT})
  if(T_RESOURCE_LOCK)
    list(APPEND props RESOURCE_LOCK ${T_RESOURCE_LOCK})
  endif()
  list(APPEND props ${T_PROPERTIES})
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       TEST_PREFIX "${T_NAME}." PROPERTIES ${props})
endfunction()

# setrix_add_file_size_limited_test(NAME <test> TARGET <exe> FILTER <gtest filter> LIMIT <bytes>
#                                   [PROPERTIES <name value...>])
# Runs the chosen DISABLED_ cases of a test program with no file it writes allowed past
# LIMIT bytes (tests/support/file-size-limit.sh): the system's own file layer fails the
# write, as on a full disk. The cases are disabled so that the program's usual run, without
# the limit, leaves them out.
function(setrix_add_file_size_limited_test)
  cmake_parse_arguments(T "" "NAME;TARGET;FILTER;LIMIT" "PROPERTIES" ${ARGN})
  if(SETRIX_NO_TESTS OR NOT TARGET ${T_TARGET})
    return()
  endif()
  add_test(NAME ${T_NAME}
           COMMAND ${CMAKE_SOURCE_DIR}/tests/support/file-size-limit.sh ${T_LIMIT} $<TARGET_FILE:${T_TARGET}>
                   --gtest_also_run_disabled_tests --gtest_filter=${T_FILTER})
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT 120 ${T_PROPERTIES})
endfunction()
