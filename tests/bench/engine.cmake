corvane_add_benchmark(NAME engine_bench
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/engine_bench.cpp
  LIBS corvane_script_text)
