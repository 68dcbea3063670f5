corvane_add_benchmark(NAME interp_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/interp_bench.cpp
  LIBS corvane_interp_testing)
