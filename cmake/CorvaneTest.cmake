# corvane_add_test(NAME name SOURCES ... LIBS ...)
# One GoogleTest executable registered with ctest as one test. Natively it runs directly; in a
# mingw build ctest runs it through the cross-compiling emulator (Wine).
function(corvane_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(NOT CORVANE_BUILD_TESTS)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  if(WIN32)
    set_target_properties(${T_NAME} PROPERTIES SUFFIX ".exe")
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES
    ENVIRONMENT "CORVANE_SOURCE_DIR=${CMAKE_SOURCE_DIR};CORVANE_BINARY_DIR=${CMAKE_BINARY_DIR}")
endfunction()
