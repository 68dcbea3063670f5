# Start-up pre-loads one form per enabled "Display Dialog" command.
corvane_add_benchmark(NAME dialogs_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialogs/load_bench.cpp
  LIBS corvane_ui)
# "Display Dialog" on the headless renderer: preparation, rules, computed texts, painting,
# freezing (target: under 200 us a display in the Release build).
corvane_add_benchmark(NAME display_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialogs/display_bench.cpp
  LIBS corvane_dialog_display corvane_platform)
# The HTML viewer: reading and laying out a page of 200 KB (target: under 10 ms, Release build).
corvane_add_benchmark(NAME html_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialogs/html_bench.cpp
  LIBS corvane_ui)
