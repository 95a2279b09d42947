# The sanitizer tree: clang at -O1 with address and undefined-behaviour sanitizers, every undefined
# behaviour fatal, and the coverage instrumentation libFuzzer needs, so that the fuzz programs link
# against the same code the test suites run.
if(QUORVALE_SANITIZE AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "QUORVALE_SANITIZE needs clang (CMAKE_CXX_COMPILER=clang++-14): the fuzz programs need libFuzzer")
endif()
set(QUORVALE_SANITIZE_FLAGS -fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=undefined,float-cast-overflow)

# Shared compile settings for every target of the project.
function(quorvale_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wno-unused-parameter)
  if(QUORVALE_SANITIZE)
    target_compile_options(${target} PRIVATE ${QUORVALE_SANITIZE_FLAGS} -fsanitize=fuzzer-no-link -fno-omit-frame-pointer -O1)
    target_link_options(${target} PRIVATE ${QUORVALE_SANITIZE_FLAGS})
  endif()
endfunction()

# A libFuzzer program bin/fuzzer_<name> for the fuzz target registered as `name` (tests/fuzz/targets);
# built in the sanitizer tree only, where scripts/test runs every bin/fuzzer_* program.
function(quorvale_add_fuzzer name)
  if(NOT QUORVALE_SANITIZE)
    return()
  endif()
  add_executable(fuzzer_${name} ${PROJECT_SOURCE_DIR}/tests/fuzz/FuzzerMain.cpp)
  target_compile_definitions(fuzzer_${name} PRIVATE QUORVALE_FUZZ_TARGET="${name}")
  target_link_libraries(fuzzer_${name} PRIVATE QuorvaleFuzzTargets)
  quorvale_set_warnings(fuzzer_${name})
  target_link_options(fuzzer_${name} PRIVATE -fsanitize=fuzzer)
endfunction()

# A shared library made of every source file below the given folders.
function(quorvale_add_library target)
  cmake_parse_arguments(ARG "" "OUTPUT_DIR" "DIRS;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  set(sources)
  foreach(dir ${ARG_DIRS})
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
    list(APPEND sources ${found})
  endforeach()
  add_library(${target} SHARED ${sources})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
  quorvale_set_warnings(${target})
  if(ARG_OUTPUT_DIR)
    set_target_properties(${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIR})
  endif()
endfunction()

# A GoogleTest executable made of every test source in one folder, registered with CTest.
function(quorvale_add_test_suite target dir)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  quorvale_set_warnings(${target})
  add_test(NAME ${target} COMMAND ${target} --gtest_brief=1)
  set_tests_properties(${target} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QUORVALE_PLUGIN_DIR=${QUORVALE_PLUGIN_DIR};QUORVALE_MEMORY_LIMIT=4G")
endfunction()
