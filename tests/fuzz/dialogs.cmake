# Dialog definitions: the form file reader (header, binary stream, the normalising round trip
# through the text form, reading into a form) and the text form parser with the rule parser.
corvane_add_fuzzer(NAME dialogs_form_fuzzer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialogs/form_fuzzer.cpp
  LIBS corvane_ui
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/dialogs/form_corpus)
corvane_add_fuzzer(NAME dialogs_text_fuzzer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialogs/text_fuzzer.cpp
  LIBS corvane_ui
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/dialogs/text_corpus)
