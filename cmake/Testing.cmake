# Unit tests (GoogleTest, registered with CTest), benchmarks (Google Benchmark) and fuzz targets.
if(BUILD_TESTING)
  enable_testing()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()
if(BUILD_BENCHMARKS)
  find_package(benchmark REQUIRED)
endif()

# add_unit_test(NAME SOURCES ... LIBRARIES ...): one test program of one folder.
function(add_unit_test name)
  if(NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()

# add_dual_unit_test(NAME SOURCES ... LIBRARIES ... DUAL_LIBRARIES ...): the same tests compiled
# into each build; the test names carry the build as a prefix ("first." or "second.").
function(add_dual_unit_test name)
  if(NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;DUAL_LIBRARIES" ${ARGN})
  add_dual_executable(${name} SOURCES ${ARG_SOURCES}
    LIBRARIES ${ARG_LIBRARIES} GTest::gmock GTest::gtest_main DUAL_LIBRARIES ${ARG_DUAL_LIBRARIES})
  foreach(build ${TWO_BUILDS})
    gtest_discover_tests(${name}_${build} TEST_PREFIX "${build}." DISCOVERY_TIMEOUT 60)
  endforeach()
endfunction()

# add_benchmark(NAME SOURCES ... LIBRARIES ...): a Google Benchmark program.
function(add_benchmark name)
  if(NOT BUILD_BENCHMARKS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} benchmark::benchmark_main)
endfunction()

# add_fuzz_target(NAME SOURCES ... LIBRARIES ...): a libFuzzer program; CI runs each for a while.
function(add_fuzz_target name)
  if(NOT BUILD_FUZZERS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY FUZZ_TARGETS "$<TARGET_FILE:${name}>")
endfunction()

# Writes fuzz-targets.txt into the build folder: one fuzz program path a line.
function(write_fuzz_target_list)
  get_property(targets GLOBAL PROPERTY FUZZ_TARGETS)
  list(JOIN targets "\n" content)
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/fuzz-targets.txt CONTENT "${content}\n")
endfunction()
