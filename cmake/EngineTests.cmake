# How the tests reach CTest: every GoogleTest case by its name, discovered from
# the built binary (a Windows one through the cross-compiling emulator, so under
# Wine), each test labelled with this folder's preset and the test's level, so
# that `ctest -L unit` or `-L windows` picks them out.
include(GoogleTest)
set(ENGINE_PRESET "" CACHE STRING "The preset this build folder was configured by, a label of its tests")

# engine_tests(TARGET LEVEL CASES|SUITES [PROPERTY-TEXT])
# CASES: one test per case. SUITES: one per suite, for cases that share what a
# suite sets up; the suites are listed by the binary itself, so a new one runs
# too. PROPERTY-TEXT: further test properties, as CMake text. A Windows binary
# is asked when CTest reads the tests, so that building needs no Wine.
# The test code itself builds unoptimized whatever the preset (it took twice as
# long to build optimized); the product code it drives keeps the preset's flags.
function(engine_tests target level mode)
  target_compile_options(${target} PRIVATE -O0)
  set(list ${target}_TESTS)
  if(mode STREQUAL CASES AND CMAKE_CROSSCOMPILING)
    gtest_discover_tests(${target} TEST_LIST ${list} DISCOVERY_TIMEOUT 120 DISCOVERY_MODE PRE_TEST)
  elseif(mode STREQUAL CASES)
    gtest_discover_tests(${target} TEST_LIST ${list} DISCOVERY_TIMEOUT 120)
  else()
    set(file ${CMAKE_CURRENT_BINARY_DIR}/${target}_suites.cmake)
    file(GENERATE OUTPUT ${file} CONTENT "set(EXE [[$<TARGET_FILE:${target}>]])
set(EMULATOR [[${CMAKE_CROSSCOMPILING_EMULATOR}]])\nset(LIST ${list})
include([[${PROJECT_SOURCE_DIR}/cmake/GTestSuites.cmake]])\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
  endif()
  engine_test_labels(${list} ${level} "${ARGN}")
endfunction()

# Labels (and further properties) for the tests named by the variable |list|
# once discovery has set it, when CTest reads the tests.
function(engine_test_labels list level)
  set(file ${CMAKE_CURRENT_BINARY_DIR}/${list}_labels.cmake)
  file(WRITE ${file} "if(${list})\n  set_tests_properties(\${${list}} PROPERTIES LABELS "
    "[[${ENGINE_PRESET};${level}]] ${ARGN})\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
endfunction()
