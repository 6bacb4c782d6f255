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

# zel_add_server_tests(target NAME name [SERVICE dir] [NGINX dir]): discover and register
# a Windows test program whose tests talk to the reference update service (built in
# the host tree: ZEL_SERVICE_BIN) and/or a private nginx on loopback. The fixture tests
# <name>_service_start/_stop and <name>_nginx_start/_stop run each server with its
# state (port file, logs, served files) in the folder given; a server that does not
# start fails the tests. The tests run one at a time: they share the servers' fault
# script and logs.
function(zel_add_server_tests target)
  cmake_parse_arguments(ARG "" "NAME;SERVICE;NGINX" "" ${ARGN})
  set(fixture ${ARG_NAME}_servers)
  set(service_fixture sh ${CMAKE_SOURCE_DIR}/tests/protocol/service-fixture.sh)
  set(nginx_fixture sh ${CMAKE_SOURCE_DIR}/tests/protocol/nginx-fixture.sh)
  set(service_start ${service_fixture} start ${ZEL_SERVICE_BIN} ${ARG_SERVICE})
  set(service_stop ${service_fixture} stop ${ARG_SERVICE})
  set(nginx_start ${nginx_fixture} start ${ARG_NGINX})
  set(nginx_stop ${nginx_fixture} stop ${ARG_NGINX})
  foreach(server SERVICE NGINX)
    if(NOT ARG_${server})
      continue()
    endif()
    string(TOLOWER ${server} server)
    add_test(NAME ${ARG_NAME}_${server}_start COMMAND ${${server}_start})
    add_test(NAME ${ARG_NAME}_${server}_stop COMMAND ${${server}_stop})
    set_tests_properties(${ARG_NAME}_${server}_start PROPERTIES FIXTURES_SETUP ${fixture} TIMEOUT 30 LABELS servers)
    set_tests_properties(${ARG_NAME}_${server}_stop PROPERTIES FIXTURES_CLEANUP ${fixture} TIMEOUT 30 LABELS servers)
  endforeach()
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES FIXTURES_REQUIRED ${fixture} RESOURCE_LOCK ${fixture} TIMEOUT 120 ENVIRONMENT "${ZEL_TEST_ENV}"
               LABELS servers)
endfunction()
