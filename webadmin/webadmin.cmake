# The administration library ahadmin_wrapper.dll built with a given mingw-w64 C++ compiler, for
# trees whose own compiler is not that one (the native build carries both for its simulated
# machine).
#   corvane_build_admin_library(COMPILER x86_64-w64-mingw32-g++-posix OUTPUT path/ahadmin_wrapper.dll)
set(CORVANE_ADMIN_LIBRARY_SOURCES
  ${CMAKE_SOURCE_DIR}/webadmin/config_session.cpp
  ${CMAKE_SOURCE_DIR}/webadmin/exports.cpp)
set(CORVANE_ADMIN_LIBRARY_DEF ${CMAKE_SOURCE_DIR}/webadmin/ahadmin_wrapper.def)

function(corvane_build_admin_library)
  cmake_parse_arguments(A "" "COMPILER;OUTPUT" "" ${ARGN})
  get_filename_component(dir ${A_OUTPUT} DIRECTORY)
  add_custom_command(OUTPUT ${A_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${A_COMPILER} -std=c++20 -Os -s -shared -ffunction-sections -fdata-sections -Wl,--gc-sections -Wall -Werror -DWIN32_LEAN_AND_MEAN
            -D_WIN32_WINNT=0x0601 -I${CMAKE_SOURCE_DIR} ${CORVANE_ADMIN_LIBRARY_SOURCES}
            ${CORVANE_ADMIN_LIBRARY_DEF} -static -static-libgcc -static-libstdc++
            -lole32 -loleaut32 -o ${A_OUTPUT}
    DEPENDS ${CORVANE_ADMIN_LIBRARY_SOURCES} ${CORVANE_ADMIN_LIBRARY_DEF}
            ${CMAKE_SOURCE_DIR}/webadmin/admin_api.h ${CMAKE_SOURCE_DIR}/webadmin/app_host.h
            ${CMAKE_SOURCE_DIR}/webadmin/config_session.h
    COMMENT "Building ${A_OUTPUT}")
endfunction()
