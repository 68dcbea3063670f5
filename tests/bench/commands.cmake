if(TARGET corvane_commands)
  corvane_add_benchmark(NAME commands_bench
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/commands_bench.cpp
    LIBS corvane_commands corvane_platform)
endif()
