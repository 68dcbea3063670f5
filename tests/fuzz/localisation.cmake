# Localisation and content pages: the page reader and layout of the HTML viewer, and the
# language files (the engine message set, the translation lists, formatted text). The seeds are
# checked in.
corvane_add_fuzzer(NAME html_fuzzer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/html/html_fuzzer.cpp
  LIBS corvane_ui
  SEED_DIRS ${CMAKE_CURRENT_LIST_DIR}/html/seeds)
corvane_add_fuzzer(NAME language_fuzzer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/language/language_fuzzer.cpp
  LIBS corvane_localisation corvane_dialog_runtime corvane_image
  SEED_DIRS ${CMAKE_CURRENT_LIST_DIR}/language/seeds)
