# Helpers shared by every library directory.
#
#   norv_library(NAME [DEPS lib...])
#     A static library from every *.cpp / *.c directly in the calling directory. It is
#     linked whole into the control module. DEPS are other norv libraries or system
#     libraries it links.
#   norv_test(NAME [DEPS lib...])
#     One GoogleTest program from every *.cpp in the directory's tests/ folder,
#     registered with CTest under NAME. Test data may sit in tests/data.
#   norv_fuzz_target(NAME SOURCE file DEPS lib... CORPUS dir)
#     A libFuzzer target (with NORV_FUZZ and clang) and, always, a replay program that
#     runs the same entry point over every file of the seed corpus as a CTest test.
#   norv_benchmark(NAME SOURCES file... DEPS lib...)
#     A Google Benchmark program (release builds).

function(norv_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/include
                                             ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  set_property(GLOBAL APPEND PROPERTY NORV_LIBRARIES ${name})
endfunction()

function(norv_test name)
  if(NOT NORV_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
  add_executable(${name} ${srcs})
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    NORV_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/tests/data"
    NORV_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_test(NAME ${name} COMMAND ${name})
endfunction()

function(norv_fuzz_target name)
  cmake_parse_arguments(ARG "" "SOURCE;CORPUS" "DEPS" ${ARGN})
  add_executable(${name}_replay ${ARG_SOURCE} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
  target_link_libraries(${name}_replay PRIVATE ${ARG_DEPS})
  if(NORV_TESTS)
    add_test(NAME ${name}_replay COMMAND ${name}_replay ${ARG_CORPUS})
  endif()
  if(NORV_FUZZ)
    add_executable(${name} ${ARG_SOURCE})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  endif()
endfunction()

function(norv_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark)
endfunction()
