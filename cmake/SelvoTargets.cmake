# Helpers that give every target of the tree the same flags and the same test rule:
# a unit test lives beside the code it tests as <name>_test.cc and is declared in
# the CMakeLists.txt of that folder with selvo_test().

set(SELVO_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
    -Woverloaded-virtual -Wimplicit-fallthrough)
if(SELVO_WERROR)
  list(APPEND SELVO_WARNINGS -Werror)
endif()

if(SELVO_FUZZ)
  # Libraries get coverage instrumentation; only the fuzz targets link libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link)
  if(NOT SELVO_SANITIZE)
    set(SELVO_SANITIZE "address;undefined")
  endif()
endif()

if(SELVO_SANITIZE)
  string(REPLACE ";" "," _selvo_san "${SELVO_SANITIZE}")
  add_compile_options(-fsanitize=${_selvo_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_selvo_san})
endif()

# selvo_library(<name> SOURCES ... [DEPS ...] [PRIVATE_DEPS ...])
function(selvo_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${SELVO_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()

# selvo_executable(<name> SOURCES ... [DEPS ...]): lands in build/bin.
function(selvo_executable name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${SELVO_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
endfunction()

# selvo_test(<name> SOURCES ... [DEPS ...] [LABELS ...] [TIMEOUT s] [NEEDS executable...])
# NEEDS names the executables an end-to-end test runs, so that they are built first.
# Test binaries land in build/tests; each GoogleTest case becomes one ctest test.
# Label "tsan" marks tests that the ThreadSanitizer run repeats; "e2e" marks tests
# that start processes and talk over loopback.
function(selvo_test name)
  if(NOT SELVO_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;DEPS;LABELS;NEEDS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_NEEDS)
    add_dependencies(${name} ${ARG_NEEDS})
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${SELVO_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gmock GTest::gtest_main)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  if("tsan" IN_LIST ARG_LABELS)
    set_property(GLOBAL APPEND PROPERTY SELVO_TSAN_TESTS ${name})
  endif()
  # Tests run from the source directory and find the executables through SELVO_BIN_DIR.
  set(environment "SELVO_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
  if(ARG_LABELS)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${environment}")
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${environment}")
  endif()
endfunction()

# selvo_benchmark(<name> SOURCES ... [DEPS ...]): a Google Benchmark program in build/benchmarks.
function(selvo_benchmark name)
  if(NOT SELVO_BENCHMARKS)
    return()
  endif()
  find_package(benchmark REQUIRED)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/benchmarks)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${SELVO_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark_main)
endfunction()

# selvo_fuzzer(<name> SOURCES ... [DEPS ...]): a libFuzzer target, built with clang
# and the address and undefined-behaviour sanitizers when SELVO_FUZZ is on.
function(selvo_fuzzer name)
  if(NOT SELVO_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${SELVO_WARNINGS} -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  set_property(GLOBAL APPEND PROPERTY SELVO_FUZZERS ${name})
endfunction()

# Umbrella targets: "tsan-tests" builds the tests the ThreadSanitizer run repeats,
# "fuzzers" every fuzz target. Called once, after every folder was added.
function(selvo_umbrella_targets)
  get_property(tsan GLOBAL PROPERTY SELVO_TSAN_TESTS)
  add_custom_target(tsan-tests)
  if(tsan)
    add_dependencies(tsan-tests ${tsan})
  endif()
  get_property(fuzzers GLOBAL PROPERTY SELVO_FUZZERS)
  add_custom_target(fuzzers)
  if(fuzzers)
    add_dependencies(fuzzers ${fuzzers})
  endif()
endfunction()
