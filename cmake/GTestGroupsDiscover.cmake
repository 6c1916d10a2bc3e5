# Run after a build of a GoogleTest program (see GTestGroups.cmake): lists its tests and writes
# CTEST_FILE with one CTest per group of cases.
#
# Input: TEST_TARGET, TEST_EXECUTABLE, TEST_WORKING_DIR, TEST_PROPERTIES, TEST_REPORTS, CTEST_FILE.
cmake_minimum_required(VERSION 3.25)

execute_process(
  COMMAND "${TEST_EXECUTABLE}" --gtest_list_tests
  WORKING_DIRECTORY "${TEST_WORKING_DIR}"
  TIMEOUT 120
  OUTPUT_VARIABLE listing
  ERROR_VARIABLE errors
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE "${CTEST_FILE}")
  message(FATAL_ERROR "Listing the tests of ${TEST_EXECUTABLE} failed (${result}):\n${listing}\n${errors}")
endif()

# Groups in the order of the listing; for each, the ';'-free list of its cases joined by ':'.
set(groups "")
string(REPLACE ";" "\\;" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(suite "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE " *#.*$" "" line "${line}")
  if(line STREQUAL "")
    continue()
  endif()
  if(NOT line MATCHES "^  ")
    string(REGEX REPLACE "\\.$" "" suite "${line}")
    continue()
  endif()
  string(STRIP "${line}" name)
  if(name MATCHES "^DISABLED_" OR suite MATCHES "(^|/)DISABLED_")
    continue()
  endif()
  set(group "${suite}")
  if(name MATCHES "/([^/]+)$")
    string(APPEND group "/${CMAKE_MATCH_1}")
  endif()
  string(MAKE_C_IDENTIFIER "${group}" key)
  if(NOT DEFINED cases_${key})
    list(APPEND groups "${group}")
    set(cases_${key} "${suite}.${name}")
  else()
    string(APPEND cases_${key} ":${suite}.${name}")
  endif()
endforeach()

set(properties "")
foreach(element IN LISTS TEST_PROPERTIES)
  string(APPEND properties " [==[${element}]==]")
endforeach()

set(content "# Made by GTestGroupsDiscover.cmake from the test list of ${TEST_TARGET}.\n")
foreach(group IN LISTS groups)
  string(MAKE_C_IDENTIFIER "${group}" key)
  set(name "${TEST_TARGET}:${group}")
  string(APPEND content
    "add_test([==[${name}]==] [==[${TEST_EXECUTABLE}]==] [==[--gtest_filter=${cases_${key}}]==]"
    " [==[--gtest_output=xml:${TEST_REPORTS}/${TEST_TARGET}.${key}.xml]==])\n"
    "set_tests_properties([==[${name}]==] PROPERTIES WORKING_DIRECTORY [==[${TEST_WORKING_DIR}]==]${properties})\n")
endforeach()
file(WRITE "${CTEST_FILE}" "${content}")
