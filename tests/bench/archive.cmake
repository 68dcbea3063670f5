# Extraction of a ~200 MB mixed LZMA2 archive: the archive library against 7zz, in one run.
corvane_add_benchmark(NAME archive_bench SOURCES archive_bench.cpp LIBS corvane_archive_core)
if(TARGET archive_bench)
  target_compile_definitions(archive_bench PRIVATE
    ARCHIVE_BENCH_DATA="${CMAKE_BINARY_DIR}/archive_bench_data")
endif()

# Hostile archives made by the test writer, through the exported operations as the client calls
# them; scripts/measure-archive times each and takes its peak memory.
add_executable(archive_hostile archive_hostile.cpp
  ${CMAKE_SOURCE_DIR}/archive/exports.cpp
  ${CMAKE_SOURCE_DIR}/archive/test_support.cpp
  ${CMAKE_SOURCE_DIR}/archive/testing/archive_writer.cpp)
target_link_libraries(archive_hostile PRIVATE corvane_archive_core)
target_compile_definitions(archive_hostile PRIVATE ARCHIVE_FIXTURES_DIR="")
