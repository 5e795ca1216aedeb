enable_testing()

# Longest any one test program may run before ctest stops it as hung.
set(PROJECT_TEST_TIMEOUT 300)

# compile_as_test_code(TARGET): the tests' own code is built unoptimised
# (line tables kept for backtraces); it compiles in half the time, and the
# product code it tests keeps the preset's optimisation.
function(compile_as_test_code target)
  target_compile_options(${target} PRIVATE $<$<CONFIG:RelWithDebInfo>:-O0>)
endfunction()

# add_project_test(NAME [DESKTOP] SOURCES... LIBS ...): one GoogleTest
# program, run as one test. Under the Windows presets it runs under Wine.
# DESKTOP: the program uses what the tests of one Wine prefix share (the
# display and its focus, the prefix's registry, the wizard's built-in
# loopback ports); such programs run one at a time, beside the others.
function(add_project_test name)
  cmake_parse_arguments(ARG "DESKTOP" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  compile_as_test_code(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} testing_support gtest_dep)
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${PROJECT_TEST_TIMEOUT})
  if(ARG_DESKTOP)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK desktop)
  endif()
  if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    # Wine can exit 0 without running a 32-bit program at all: only
    # GoogleTest's own verdict counts.
    set_tests_properties(${name} PROPERTIES
      PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [0-9]+ tests?\\."
      FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
  endif()
endfunction()
