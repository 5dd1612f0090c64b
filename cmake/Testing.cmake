include(GoogleTest)

# The arguments both kinds of test take: SOURCES, LIBS, LABELS, TIMEOUT and the flag WHOLE,
# parsed into A_* with the kind's default label and timeout.
macro(_mdm_test_arguments default_label default_timeout)
  cmake_parse_arguments(A "WHOLE" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT ${default_timeout})
  endif()
  if(NOT A_LABELS)
    set(A_LABELS ${default_label})
  endif()
endmacro()

# Lists the cases of the test binary `name` for ctest when ctest runs (a build never runs a
# test binary), as "<name>.<Suite>.<Case>", each with the labels and timeout given.
function(_mdm_discover_cases name labels timeout)
  gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_MODE PRE_TEST
                       DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${labels}" TIMEOUT ${timeout})
endfunction()

# mdm_add_unit_test(name SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s]): a GoogleTest binary
# run directly. Each case is reported on its own and the cases run in parallel;
# `ctest -R <name>` still selects them all.
function(mdm_add_unit_test name)
  _mdm_test_arguments(unit 120 ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest GTest::gtest_main)
  _mdm_discover_cases(${name} "${A_LABELS}" ${A_TIMEOUT})
endfunction()

# mdm_add_integration_test(name SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s] [WHOLE]): a
# GoogleTest binary run inside tools/sandbox, with the test support library (and its main)
# linked in. Each case is listed and run on its own, in a sandbox of its own (starting one
# takes about 0.2 s); WHOLE, and every benchmark (label bench), runs the binary as one test,
# under its own name.
function(mdm_add_integration_test name)
  _mdm_test_arguments(integration 300 ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} mdm_test_main GTest::gtest)
  set(sandbox ${PROJECT_SOURCE_DIR}/tools/sandbox --build ${PROJECT_BINARY_DIR} --)
  if(A_WHOLE OR "bench" IN_LIST A_LABELS)
    add_test(NAME ${name} COMMAND ${sandbox} $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES LABELS "${A_LABELS}" TIMEOUT ${A_TIMEOUT})
  else()
    # The listing and every case run through the sandbox, as the binary's emulator.
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${sandbox}")
    _mdm_discover_cases(${name} "${A_LABELS}" ${A_TIMEOUT})
  endif()
endfunction()
