# Extraction of a ~200 MB mixed LZMA2 archive: the archive library against 7zz, in one run.
corvane_add_benchmark(NAME archive_bench SOURCES archive_bench.cpp LIBS corvane_archive_core)
if(TARGET archive_bench)
  target_compile_definitions(archive_bench PRIVATE
    ARCHIVE_BENCH_DATA="${CMAKE_BINARY_DIR}/archive_bench_data")
endif()
