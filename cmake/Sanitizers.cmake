# Sanitizers apply to the whole build so that every library and test runs instrumented.
if(SANITIZERS)
  list(JOIN SANITIZERS "," sanitizer_list)
  add_compile_options(-fsanitize=${sanitizer_list} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${sanitizer_list})
endif()

if(BUILD_FUZZERS)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "BUILD_FUZZERS needs clang (libFuzzer)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
