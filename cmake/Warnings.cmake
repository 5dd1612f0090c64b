add_compile_options(-Wall -Wextra)
if(MDM_SANITIZE)
  # No recovery: undefined behaviour stops the program, so the test that started it fails.
  add_compile_options(-fsanitize=${MDM_SANITIZE} -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${MDM_SANITIZE})
  # GCC's flow analysis misreads libstdc++'s std::regex once ASan instruments it.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wno-maybe-uninitialized>)
  endif()
endif()

include(Fuzzing)

# Generated C bindings are not ours to fix; keep the build output clean.
function(mdm_quiet_generated target)
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:C>:-Wno-unused-parameter>)
endfunction()
