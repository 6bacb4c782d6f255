# GoogleTest in both trees. On Windows the test programs run under Wine: the scripts
# start one persistent wineserver for the prefix and a display, and every test gets
# the Chinese locale so the ANSI code page is 936, as on the product's target systems.
include(GoogleTest)
if(ZEL_WINDOWS)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()

# One value only: gtest_discover_tests splits a list-valued property. The scripts
# that run ctest export WINEDEBUG and the prefix; the code page must hold even when
# a test is run by hand.
set(ZEL_TEST_ENV "LC_ALL=zh_CN.UTF-8")

# zel_add_test(target [TIMEOUT seconds]): discover and register a GoogleTest program.
function(zel_add_test target)
  cmake_parse_arguments(ARG "" "TIMEOUT" "" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "${ZEL_TEST_ENV}" TIMEOUT ${ARG_TIMEOUT})
endfunction()
