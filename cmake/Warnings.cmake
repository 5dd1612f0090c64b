# Warnings for every target; MDM_WERROR (on in CI) turns them into errors.
option(MDM_WERROR "Treat compiler warnings as errors" OFF)
add_compile_options(-Wall -Wextra -Wshadow -Wformat=2 -Wcast-qual -Wnull-dereference
                    $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)
if(MDM_WERROR)
  add_compile_options(-Werror)
endif()

# The standard library's own checks (bounds of operator[], front() of an empty container...)
# in debug and sanitizer builds, where a failed check stops the test that hit it.
if(CMAKE_BUILD_TYPE STREQUAL "Debug" OR MDM_SANITIZE)
  add_compile_definitions(_GLIBCXX_ASSERTIONS)
endif()

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
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:C>:-Wno-unused-parameter
                                           -Wno-cast-qual -Wno-shadow -Wno-null-dereference>)
endfunction()
