# The HTTP client's download rate and memory against the loopback server (scripts/measure-download).
if(CORVANE_PLATFORM STREQUAL "sim" AND TARGET corvane-loopback-server)
  add_executable(download_measure ${CMAKE_CURRENT_LIST_DIR}/download_measure.cpp)
  target_link_libraries(download_measure PRIVATE corvane_http corvane_platform)
endif()
