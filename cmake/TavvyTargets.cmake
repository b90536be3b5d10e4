# Shared compile settings and helpers for the targets of the code base.

add_library(tavvy_warnings INTERFACE)
target_compile_options(tavvy_warnings INTERFACE -Wall -Wextra)
if(TAVVY_WERROR)
  target_compile_options(tavvy_warnings INTERFACE -Werror)
endif()

if(TAVVY_SANITIZE)
  string(REPLACE "," ";" _tavvy_san_list "${TAVVY_SANITIZE}")
  foreach(_s IN LISTS _tavvy_san_list)
    add_compile_options(-fsanitize=${_s})
    add_link_options(-fsanitize=${_s})
  endforeach()
  add_compile_options(-fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  # With the sanitizers' instrumentation g++ reports values "maybe used uninitialized" inside
  # the standard library (std::function in <regex>, for one) that are not. The plain build
  # keeps the warning, as an error where warnings are.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(tavvy_warnings INTERFACE -Wno-maybe-uninitialized)
  endif()
endif()

if(TAVVY_FUZZ)
  # Every library is instrumented, so that the fuzzers see the coverage of the code they call.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# tavvy_library(NAME DIR [DEPS ...]): a static library from every .cpp in DIR (not its subfolders).
function(tavvy_library name dir)
  file(GLOB _srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  add_library(${name} STATIC ${_srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARGN} PRIVATE tavvy_warnings)
endfunction()

# tavvy_test(NAME DIR [THREADS] [DEPS ...]): one GoogleTest program from every .cpp in DIR,
# registered with CTest. THREADS marks a program whose tests exercise more than one thread:
# it gets the CTest label "threads" and joins the target thread_tests, which CI builds and
# runs under ThreadSanitizer.
if(NOT TARGET thread_tests)
  add_custom_target(thread_tests)
endif()
function(tavvy_test name dir)
  cmake_parse_arguments(T "THREADS" "" "" ${ARGN})
  find_package(GTest REQUIRED)
  include(GoogleTest)
  file(GLOB _srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT _srcs)
    return()
  endif()
  add_executable(${name} ${_srcs})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${T_UNPARSED_ARGUMENTS} tavvy_testsupport GTest::gtest GTest::gmock
                        GTest::gtest_main tavvy_warnings)
  set(_labels unit)
  if(T_THREADS)
    set(_labels threads)
    add_dependencies(thread_tests ${name})
  endif()
  gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "TAVVY_SOURCE_DIR=${PROJECT_SOURCE_DIR}" LABELS "${_labels}")
endfunction()
