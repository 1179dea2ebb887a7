# Helpers shared by every library directory.
#
#   norv_library(NAME [DEPS lib...])
#     A static library from every *.cpp / *.c directly in the calling directory. It is
#     linked whole into the control module. DEPS are other norv libraries or system
#     libraries it links. The directory itself is a PRIVATE include path: its headers are
#     the library's own. NAME_internal is an INTERFACE target with include/ (the installed
#     headers) and the directory's internal/ folder (headers other libraries may use); the
#     library links it PUBLIC, so depending on a library is what grants its internal headers.
#   norv_test(NAME [OPTIMISED] [DEPS lib...])
#     One GoogleTest program from every *.cpp in the directory's tests/ folder, linked with
#     the test kit (norv_testkit) and registered with CTest under NAME. It sees the private
#     headers of the norv libraries in DEPS. Test data may sit in tests/data. OPTIMISED: its
#     test code keeps -O1 in the sanitizer tree (see norv_test_code).
#   norv_fuzz_target(NAME SOURCE file DEPS lib... CORPUS dir)
#     A libFuzzer target (with NORV_FUZZ and clang) and, always, a replay program that
#     runs the same entry point over every file of the seed corpus as a CTest test.
#     Every target is listed with its corpus in <build>/fuzz_targets.txt for scripts/fuzz.sh.
#   norv_benchmark(NAME SOURCES file... DEPS lib...)
#     A Google Benchmark program (release builds).
#   Fuzz targets and benchmarks, like tests, see the private headers of their norv DEPS.

function(norv_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  # The internal interface: public headers plus the library's internal/ headers.
  add_library(${name}_internal INTERFACE)
  target_include_directories(${name}_internal INTERFACE ${PROJECT_SOURCE_DIR}/include)
  if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/internal)
    target_include_directories(${name}_internal INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/internal)
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${name}_internal ${ARG_DEPS})
  if(NORV_FUZZ)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
  set_property(GLOBAL APPEND PROPERTY NORV_LIBRARIES ${name})
endfunction()

# White-box programs (tests, fuzz targets, benchmarks) also see the private headers of the
# norv libraries they name.
function(norv_white_box target)
  foreach(lib IN LISTS ARGN)
    if(TARGET ${lib}_internal)
      get_target_property(dir ${lib} SOURCE_DIR)
      target_include_directories(${target} PRIVATE ${dir})
    endif()
  endforeach()
endfunction()

# The compile settings of test code (test programs, not the libraries they test). In the
# sanitizer tree test code is compiled without optimisation: at -O1 the sanitizers' passes over
# GoogleTest's large test bodies take about three times as long as at -O0, while the libraries,
# where the tests spend their time, keep -O1. A program whose tests spend their time in models
# of their own passes OPTIMISED and keeps -O1 (for the morphology and logic tests' models that
# costs less than the slower run at -O0). Every other test program uses one precompiled header
# (GoogleTest and the standard headers most tests include), made once by norv_test_pch.
set(NORV_TEST_PCH <gtest/gtest.h> <algorithm> <cmath> <cstring> <random> <string> <vector>)
function(norv_test_code target)
  cmake_parse_arguments(ARG "OPTIMISED" "" "" ${ARGN})
  # A precompiled header only serves sources compiled with its code model and optimisation:
  # every test program is compiled as position-independent code (-fPIC, which the Qt programs
  # need anyway), like the header's owner.
  target_compile_options(${target} PRIVATE -fPIC)
  if(ARG_OPTIMISED)
    target_precompile_headers(${target} PRIVATE ${NORV_TEST_PCH})
    return()
  endif()
  if(NORV_SANITIZE)
    target_compile_options(${target} PRIVATE -O0)
  endif()
  if(NOT TARGET norv_test_pch)
    # The header's owner, without the definitions of any one program.
    file(WRITE ${CMAKE_BINARY_DIR}/norv_test_pch.cpp "")
    add_library(norv_test_pch OBJECT ${CMAKE_BINARY_DIR}/norv_test_pch.cpp)
    if(NORV_SANITIZE)
      target_compile_options(norv_test_pch PRIVATE -O0)
    endif()
    target_link_libraries(norv_test_pch PRIVATE GTest::gtest)
    target_precompile_headers(norv_test_pch PRIVATE ${NORV_TEST_PCH})
  endif()
  target_precompile_headers(${target} REUSE_FROM norv_test_pch)
endfunction()

function(norv_test name)
  if(NOT NORV_TESTS)
    return()
  endif()
  # LAUNCHER: a command that runs the test program (its arguments after it), e.g. a display.
  cmake_parse_arguments(ARG "OPTIMISED" "" "DEPS;LAUNCHER" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
  add_executable(${name} ${srcs})
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} norv_testkit GTest::gtest GTest::gtest_main)
  if(ARG_OPTIMISED)
    norv_test_code(${name} OPTIMISED)
  else()
    norv_test_code(${name})
  endif()
  norv_white_box(${name} ${ARG_DEPS})
  target_compile_definitions(${name} PRIVATE
    NORV_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/tests/data"
    NORV_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(ARG_LAUNCHER)
    add_test(NAME ${name} COMMAND ${ARG_LAUNCHER} $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
endfunction()

function(norv_fuzz_target name)
  cmake_parse_arguments(ARG "" "SOURCE;CORPUS" "DEPS" ${ARGN})
  set_property(GLOBAL APPEND PROPERTY NORV_FUZZ_TARGETS "${name} ${ARG_CORPUS}")
  if(NORV_FUZZ)
    # The entry point is compiled once, instrumented for coverage; the fuzzer and the replay
    # program link the same object (only the fuzzer links libFuzzer's main).
    add_library(${name}_entry OBJECT ${ARG_SOURCE})
    target_compile_options(${name}_entry PRIVATE -fsanitize=fuzzer-no-link)
    target_link_libraries(${name}_entry PRIVATE ${ARG_DEPS})
    norv_white_box(${name}_entry ${ARG_DEPS})
    add_executable(${name} $<TARGET_OBJECTS:${name}_entry>)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE ${ARG_DEPS})
    set(entry $<TARGET_OBJECTS:${name}_entry>)
  else()
    set(entry ${ARG_SOURCE})
  endif()
  # The replay programs' main is compiled once for all of them.
  if(NOT TARGET norv_replay_main)
    add_library(norv_replay_main OBJECT ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
  endif()
  add_executable(${name}_replay ${entry} $<TARGET_OBJECTS:norv_replay_main>)
  target_link_libraries(${name}_replay PRIVATE ${ARG_DEPS})
  norv_white_box(${name}_replay ${ARG_DEPS})
  if(NORV_TESTS)
    add_test(NAME ${name}_replay COMMAND ${name}_replay ${ARG_CORPUS})
  endif()
endfunction()

function(norv_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark)
  norv_white_box(${name} ${ARG_DEPS})
endfunction()
