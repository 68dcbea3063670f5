# The archive reader over untrusted bytes: header parsing, every decoder, the LZMA and LZMA2
# streams on their own. The seeds are archives of every packer setting of the extraction
# fixtures (made by 7zz at build time on a small tree), their plain headers and raw LZMA and
# LZMA2 streams cut out of them, and the checked-in seeds.
set(archive_seeds_stamp ${CMAKE_CURRENT_BINARY_DIR}/archive_made_seeds.stamp)
# Two of the seeds stand for all of them, so that the seeds are made again when the corpus
# folder is gone.
add_custom_command(
  OUTPUT ${archive_seeds_stamp} ${CORVANE_FUZZ_CORPORA}/archive/lzma.archive
    ${CORVANE_FUZZ_CORPORA}/archive/plain-lzma2.lzma2
  COMMAND perl ${CMAKE_CURRENT_LIST_DIR}/archive/make_corpus.pl
    ${CMAKE_SOURCE_DIR}/archive/testdata/make_fixtures.pl
    ${CMAKE_CURRENT_BINARY_DIR}/archive_seed_work ${CORVANE_FUZZ_CORPORA}/archive
  COMMAND ${CMAKE_COMMAND} -E touch ${archive_seeds_stamp}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/archive/make_corpus.pl
    ${CMAKE_SOURCE_DIR}/archive/testdata/make_fixtures.pl
  COMMENT "Making the archive fuzz seeds with 7zz"
  VERBATIM)
corvane_add_fuzzer(NAME archive_fuzzer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/archive/archive_fuzzer.cpp
  LIBS corvane_archive_core
  SEED_DIRS ${CMAKE_CURRENT_LIST_DIR}/archive/corpus
  SEEDS ${archive_seeds_stamp} ${CORVANE_FUZZ_CORPORA}/archive/lzma.archive
    ${CORVANE_FUZZ_CORPORA}/archive/plain-lzma2.lzma2)
