include(GoogleTest)

# mdm_add_unit_test(name SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s]): a GoogleTest binary
# run directly. ctest lists each of its cases as "<name>.<Suite>.<Case>", so every case is
# reported on its own and the cases run in parallel; `ctest -R <name>` still selects them all.
function(mdm_add_unit_test name)
  cmake_parse_arguments(A "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 120)
  endif()
  if(NOT A_LABELS)
    set(A_LABELS unit)
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest GTest::gtest_main)
  # Listed when ctest runs, not at build time: a build never runs a test binary.
  gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_MODE PRE_TEST
                       DISCOVERY_TIMEOUT 60
                       PROPERTIES LABELS "${A_LABELS}" TIMEOUT ${A_TIMEOUT})
endfunction()

# mdm_add_integration_test(name SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s] [WHOLE]): a
# GoogleTest binary run inside tools/sandbox, with the test support library (and its main)
# linked in. Each case is listed and run on its own, in a sandbox of its own (starting one
# takes about 0.2 s); WHOLE, and every benchmark (label bench), runs the binary as one test,
# under its own name.
function(mdm_add_integration_test name)
  cmake_parse_arguments(A "WHOLE" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  if(NOT A_LABELS)
    set(A_LABELS integration)
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} mdm_test_main GTest::gtest)
  set(sandbox ${PROJECT_SOURCE_DIR}/tools/sandbox --build ${PROJECT_BINARY_DIR} --)
  if(A_WHOLE OR "bench" IN_LIST A_LABELS)
    add_test(NAME ${name} COMMAND ${sandbox} $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES LABELS "${A_LABELS}" TIMEOUT ${A_TIMEOUT})
  else()
    # The discovery and every case run through the sandbox, as the emulator of the binary.
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${sandbox}")
    gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_MODE PRE_TEST
                         DISCOVERY_TIMEOUT 60
                         PROPERTIES LABELS "${A_LABELS}" TIMEOUT ${A_TIMEOUT})
  endif()
endfunction()
