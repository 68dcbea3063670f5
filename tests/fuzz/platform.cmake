# The simulated machine's parsers of outside input: the .reg text of a machine's registry.
corvane_add_fuzzer(NAME fuzz_reg_text
  SOURCES ${CMAKE_SOURCE_DIR}/platform/sim/reg_tree_fuzz.cpp
  LIBS corvane_platform
  CORPUS ${CMAKE_SOURCE_DIR}/platform/sim/testdata/reg_corpus)
