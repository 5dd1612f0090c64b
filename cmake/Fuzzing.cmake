# MDM_FUZZ (clang only): every target is built with coverage for libFuzzer plus ASan and
# UBSan, so the parsers the fuzz targets link are explored and checked where they live.
option(MDM_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(MDM_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "MDM_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# mdm_add_fuzz_target(name SOURCES ... LIBS ...): a libFuzzer binary and a ctest (label fuzz)
# that runs it for $MDM_FUZZ_SECONDS (default 20) from its seed corpus.
function(mdm_add_fuzz_target name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(work ${CMAKE_CURRENT_BINARY_DIR}/corpus/${name})
  set(seeds ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
  # New inputs go to the build tree's corpus; the committed seeds are only read.
  add_test(NAME ${name}
           COMMAND sh -c "mkdir -p '${work}' && exec \"$0\" -max_total_time=\${MDM_FUZZ_SECONDS:-20} -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 '${work}' '${seeds}'"
                   $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 1800)
endfunction()
