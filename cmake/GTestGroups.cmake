# CTest registration of GoogleTest programs.
#
# lark_gtest_groups(<target> [PROPERTIES <test properties>...])
#   After each build of <target>, lists its tests and registers one CTest per test suite (per
#   suite and parameter value for value-parameterized suites), named "<target>:<suite>[/<param>]",
#   that runs the cases of that group in one process. A suite's shared fixtures (a server started
#   by its first case, a QApplication) then start once per group instead of once per case.
#
# A group passes when each of its cases passed or skipped itself. Every run writes a GoogleTest XML
# report per CTest into <build>/Testing/gtest/, which scripts/gtest-summary counts case by case,
# skipped cases included. (No SKIP_REGULAR_EXPRESSION: gtest's "0 tests" line also follows a group
# whose only case failed, and the expression would report that failure as a skip.)

set(LARK_GTEST_GROUPS_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/GTestGroupsDiscover.cmake)
set(LARK_GTEST_REPORTS ${CMAKE_BINARY_DIR}/Testing/gtest)

function(lark_gtest_groups target)
  cmake_parse_arguments(ARG "" "" "PROPERTIES" ${ARGN})
  set(base "${CMAKE_CURRENT_BINARY_DIR}/${target}_groups")
  add_custom_command(
    TARGET ${target} POST_BUILD
    BYPRODUCTS "${base}_tests.cmake"
    COMMAND "${CMAKE_COMMAND}"
            -D "TEST_TARGET=${target}"
            -D "TEST_EXECUTABLE=$<TARGET_FILE:${target}>"
            -D "TEST_WORKING_DIR=${CMAKE_CURRENT_BINARY_DIR}"
            -D "TEST_PROPERTIES=${ARG_PROPERTIES}"
            -D "TEST_REPORTS=${LARK_GTEST_REPORTS}"
            -D "CTEST_FILE=${base}_tests.cmake"
            -P "${LARK_GTEST_GROUPS_SCRIPT}"
    VERBATIM)
  file(WRITE "${base}_include.cmake"
    "if(EXISTS \"${base}_tests.cmake\")\n"
    "  include(\"${base}_tests.cmake\")\n"
    "else()\n"
    "  add_test(${target}_NOT_BUILT ${target}_NOT_BUILT)\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${base}_include.cmake")
endfunction()
