if(TARGET corvane_commands AND TARGET corvane_interp_testing)
  corvane_add_benchmark(NAME system_info_bench
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/system_info_bench.cpp
    LIBS corvane_interp_testing corvane_platform)
  corvane_link_handlers(system_info_bench corvane_commands)
endif()
