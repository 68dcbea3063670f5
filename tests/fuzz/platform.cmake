# The simulated machine's parsers of outside input: the .reg text of a machine's registry.
corvane_add_fuzzer(NAME reg_text_fuzzer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform/reg_text_fuzzer.cpp
  LIBS corvane_platform
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/platform/reg_text_corpus)
