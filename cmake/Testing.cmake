# mdm_add_unit_test(name SOURCES ... LIBS ...): a GoogleTest binary run directly.
function(mdm_add_unit_test name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS unit TIMEOUT 120)
endfunction()

# mdm_add_integration_test(name SOURCES ... LIBS ... [LABELS ...]): a GoogleTest binary
# run inside tools/sandbox, with the test support library (and its main) linked in.
function(mdm_add_integration_test name)
  cmake_parse_arguments(A "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  if(NOT A_LABELS)
    set(A_LABELS integration)
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} mdm_test_main GTest::gtest)
  add_test(NAME ${name}
           COMMAND ${PROJECT_SOURCE_DIR}/tools/sandbox --build ${PROJECT_BINARY_DIR}
                   -- $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES LABELS "${A_LABELS}" TIMEOUT ${A_TIMEOUT})
endfunction()
