# Extract 7Zip Archive's job against 7zz on the same archive (scripts/measure-extract).
if(CORVANE_PLATFORM STREQUAL "sim" AND TARGET corvane_install_commands)
  add_executable(extract_measure ${CMAKE_CURRENT_LIST_DIR}/extract_measure.cpp)
  target_link_libraries(extract_measure PRIVATE corvane_platform)
  corvane_link_handlers(extract_measure corvane_install_commands corvane_commands)
  add_dependencies(extract_measure zel)
endif()
