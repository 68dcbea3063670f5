# The archive reader over untrusted bytes: header parsing, every decoder, the LZMA and LZMA2
# streams on their own.
corvane_add_fuzzer(NAME archive_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/archive/archive_fuzz.cpp
  LIBS corvane_archive_core
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/archive/corpus)
