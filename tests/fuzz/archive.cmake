# The archive reader over untrusted bytes: header parsing, every decoder, the LZMA and LZMA2
# streams on their own.
corvane_add_fuzzer(NAME archive_fuzzer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/archive/archive_fuzzer.cpp
  LIBS corvane_archive_core
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/archive/corpus)
