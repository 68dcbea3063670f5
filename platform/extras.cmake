# Extra file services beyond the four of the platform bundle: INI reading, file versions, short
# paths and temporary files. Interfaces in platform/, the
# implementation of this build in sim/ or win32/.
add_library(corvane_platform_extras STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/profile.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/version_info.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/${CORVANE_PLATFORM}/${CORVANE_PLATFORM}_extras.cpp
)
target_link_libraries(corvane_platform_extras PUBLIC corvane_platform_core corvane_platform)
