# Run after a GoogleTest binary is built (cmake -P): asks it for its cases and
# writes a CTest script with one test per suite, named SUITE.*, and the list of
# them in the variable LIST. Takes EXE, OUT, LIST and EMULATOR (may be empty).
execute_process(COMMAND ${EMULATOR} ${EXE} --gtest_list_tests
  OUTPUT_VARIABLE listing RESULT_VARIABLE status TIMEOUT 120)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${EXE} --gtest_list_tests failed (${status}):\n${listing}")
endif()
# A suite's line is the only one that doesn't begin with blanks.
string(REGEX MATCHALL "(^|\n)[A-Za-z_][A-Za-z0-9_/]*\\." suites "${listing}")
set(script "")
set(names "")
foreach(suite IN LISTS suites)
  string(STRIP "${suite}" suite)
  string(APPEND script "add_test([[${suite}*]] ${EMULATOR} [[${EXE}]] [[--gtest_filter=${suite}*]])\n")
  list(APPEND names "${suite}*")
endforeach()
file(WRITE ${OUT} "${script}set(${LIST} [[${names}]])\n")
