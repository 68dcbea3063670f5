# Start-up pre-loads one form per enabled "Display Dialog" command.
corvane_add_benchmark(NAME dialogs_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialogs/load_bench.cpp
  LIBS corvane_ui)
