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
  set(env "CORVANE_SOURCE_DIR=${CMAKE_SOURCE_DIR};CORVANE_BINARY_DIR=${CMAKE_BINARY_DIR}")
  if(CORVANE_SANITIZE)
    # libmsi keeps a few strings for the life of the process; only its own leaks are let through.
    list(APPEND env
      "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/support/lsan.supp:print_suppressions=0")
  endif()
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${env}")
endfunction()

# corvane_add_package(TARGET NAME WXS wxs-file OUTPUT msi-file): builds an installer database
# from a .wxs file with wixl (run in the .wxs file's folder, so its payload paths are relative to
# it) and makes TARGET depend on it.
function(corvane_add_package)
  cmake_parse_arguments(P "" "TARGET;WXS;OUTPUT" "" ${ARGN})
  if(NOT CORVANE_BUILD_TESTS OR NOT TARGET ${P_TARGET})
    return()
  endif()
  find_program(CORVANE_WIXL wixl REQUIRED)
  get_filename_component(wxs_dir ${P_WXS} DIRECTORY)
  file(GLOB_RECURSE payload CONFIGURE_DEPENDS ${wxs_dir}/payload/*)
  get_filename_component(out_name ${P_OUTPUT} NAME_WE)
  add_custom_command(OUTPUT ${P_OUTPUT}
    COMMAND ${CORVANE_WIXL} -o ${P_OUTPUT} ${P_WXS}
    WORKING_DIRECTORY ${wxs_dir}
    DEPENDS ${P_WXS} ${payload}
    COMMENT "Building installer package ${out_name}.msi")
  add_custom_target(${P_TARGET}_${out_name}_package DEPENDS ${P_OUTPUT})
  add_dependencies(${P_TARGET} ${P_TARGET}_${out_name}_package)
endfunction()

# corvane_use_picture_fixtures(TARGET): the picture fixtures of tests/fixtures/pictures, made
# once per build tree by ImageMagick (the real program of /usr/bin, never a stand-in that changes
# transparency), in the folder that CORVANE_PICTURE_FIXTURES names to the target.
function(corvane_use_picture_fixtures target)
  if(NOT TARGET ${target})
    return()
  endif()
  set(dir ${CMAKE_BINARY_DIR}/picture-fixtures)
  if(NOT TARGET corvane_picture_fixtures)
    find_program(CORVANE_CONVERT NAMES convert-im6.q16 convert PATHS /usr/bin NO_DEFAULT_PATH
      REQUIRED)
    set(script ${CMAKE_SOURCE_DIR}/tests/fixtures/pictures/make_pictures.pl)
    add_custom_command(OUTPUT ${dir}/stamp
      COMMAND perl ${script} ${CORVANE_CONVERT} ${dir}
      COMMAND ${CMAKE_COMMAND} -E touch ${dir}/stamp
      DEPENDS ${script}
      COMMENT "Making the picture fixtures with ImageMagick"
      VERBATIM)
    add_custom_target(corvane_picture_fixtures DEPENDS ${dir}/stamp)
  endif()
  add_dependencies(${target} corvane_picture_fixtures)
  target_compile_definitions(${target} PRIVATE CORVANE_PICTURE_FIXTURES="${dir}")
endfunction()
