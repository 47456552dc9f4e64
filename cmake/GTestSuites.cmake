# Included by CTest as it reads the tests, with EXE, LIST and EMULATOR (may be
# empty) set: asks the GoogleTest binary for its cases and adds one test per
# suite, named SUITE.*, and the list of them in the variable named by LIST.
execute_process(COMMAND ${EMULATOR} ${EXE} --gtest_list_tests
  OUTPUT_VARIABLE listing RESULT_VARIABLE status TIMEOUT 120)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${EXE} --gtest_list_tests failed (${status}):\n${listing}")
endif()
# A suite's line is the only one that doesn't begin with blanks.
string(REGEX MATCHALL "(^|\n)[A-Za-z_][A-Za-z0-9_/]*\\." suites "${listing}")
set(${LIST} "")
foreach(suite IN LISTS suites)
  string(STRIP "${suite}" suite)
  add_test("${suite}*" ${EMULATOR} ${EXE} "--gtest_filter=${suite}*")
  list(APPEND ${LIST} "${suite}*")
endforeach()
