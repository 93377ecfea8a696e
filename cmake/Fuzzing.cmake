# OMBRIX_BUILD_FUZZERS builds the libFuzzer targets in fuzz/ (clang only; off by
# default so that the gcc builds of CI are unaffected). Every object is compiled
# with coverage instrumentation for the fuzzer.
option(OMBRIX_BUILD_FUZZERS "Build the libFuzzer targets (needs clang)" OFF)

if(OMBRIX_BUILD_FUZZERS)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "OMBRIX_BUILD_FUZZERS needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
