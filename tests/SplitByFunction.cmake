# Run at build time: lists a QtTest program's test functions and writes one
# CTest test for each, so that a long program's parts can run side by side.
# Inputs: TEST_NAME, TEST_FILE, OUT, WORK_DIR, ENV (a ;-list), and FIXTURE,
# a fixture the tests require, and TIMEOUT in seconds (both optional).
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ${TEST_FILE} -functions
  OUTPUT_VARIABLE listed RESULT_VARIABLE failed ERROR_QUIET)
if(failed)
  message(FATAL_ERROR "${TEST_FILE} -functions failed")
endif()
string(REGEX MATCHALL "[A-Za-z0-9_]+\\(\\)" functions "${listed}")
if(NOT TIMEOUT)
  set(TIMEOUT 300)
endif()
set(script "")
foreach(function ${functions})
  string(REPLACE "()" "" function "${function}")
  string(APPEND script "add_test([=[${TEST_NAME}:${function}]=] [=[${TEST_FILE}]=] [=[${function}]=])\n")
  string(APPEND script "set_tests_properties([=[${TEST_NAME}:${function}]=] PROPERTIES ENVIRONMENT [=[${ENV}]=] WORKING_DIRECTORY [=[${WORK_DIR}]=] TIMEOUT ${TIMEOUT})\n")
  if(FIXTURE)
    string(APPEND script "set_tests_properties([=[${TEST_NAME}:${function}]=] PROPERTIES FIXTURES_REQUIRED ${FIXTURE} LABELS ${FIXTURE})\n")
  endif()
endforeach()
file(WRITE ${OUT} "${script}")
