# Helpers shared by the folders' CMakeLists.

function(quorla_add_subdir dir)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${CMAKE_SOURCE_DIR}/${dir} ${CMAKE_BINARY_DIR}/${dir})
  endif()
endfunction()

# quorla_add_layer(NAME name LIBS libs...): a platform layer from the .cpp files of its folder.
function(quorla_add_layer)
  cmake_parse_arguments(L "" "NAME" "LIBS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT srcs)
    add_library(quorla_platform_${L_NAME} INTERFACE)
    target_include_directories(quorla_platform_${L_NAME} INTERFACE ${CMAKE_SOURCE_DIR})
    target_link_libraries(quorla_platform_${L_NAME} INTERFACE ${L_LIBS})
    return()
  endif()
  file(GLOB_RECURSE hdrs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(quorla_platform_${L_NAME} STATIC ${srcs} ${hdrs})
  target_include_directories(quorla_platform_${L_NAME} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(quorla_platform_${L_NAME} PUBLIC ${L_LIBS})
endfunction()

# quorla_add_test(NAME name [SOURCES ...] LIBS libs... [ENV k=v ...]):
# a GoogleTest binary from the given sources (default: the .cpp files of the folder), run by CTest.
function(quorla_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  if(NOT T_SOURCES)
    file(GLOB T_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  find_package(GTest REQUIRED)
  add_executable(${T_NAME} ${T_SOURCES})
  target_include_directories(${T_NAME} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
  set(env "QT_QPA_PLATFORM=offscreen;QUORLA_SOURCE_DIR=${CMAKE_SOURCE_DIR};QUORLA_BUILD_DIR=${CMAKE_BINARY_DIR};${T_ENV}")
  target_sources(${T_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/test_env_defaults.cpp)
  string(REPLACE ";" "|" env_line "${env}")
  target_compile_definitions(${T_NAME} PRIVATE "QUORLA_TEST_ENV=\"${env_line}\"")
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  elseif(QUORLA_SANITIZE)
    # A test's own limit (one that catches a hang) is set for the plain build; the sanitizers
    # and the leak check at exit make a run several times slower.
    math(EXPR T_TIMEOUT "${T_TIMEOUT} * 3")
  endif()
  # A binary that ends early (a procedure under test ending the process) prints no summary:
  # only GoogleTest's own closing line counts as a pass. The exit status is then not looked at, so
  # a sanitizer's report (a leak is found after the summary) fails the test by its text, and so
  # does a warning while the application ends (the test main counts them).
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT}
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\]"
    FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\];ERROR: AddressSanitizer;ERROR: LeakSanitizer;runtime error:;while the application ended"
    ENVIRONMENT "${env}")
endfunction()
