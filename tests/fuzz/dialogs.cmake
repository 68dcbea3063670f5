# Dialog definitions: the form file reader (header, binary stream, the normalising round trip
# through the text form, reading into a form), the dialog runtime on whatever form loads, and the
# text form parser with the rule parser.
# The seeds are the sample dialogs of examples/dialogs: their form files, built with corvane-dfm,
# for the reader, and their texts and rule files for the parser; then the checked-in seeds.
file(GLOB dialog_texts CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/examples/dialogs/*.dfm.txt)
file(GLOB dialog_rules CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/examples/dialogs/*.dfm.zelf)
set(form_seeds)
set(runtime_seeds)
set(text_seeds)
foreach(f ${dialog_texts})
  get_filename_component(n ${f} NAME)
  string(REPLACE ".dfm.txt" "" n ${n})
  set(seed ${CORVANE_FUZZ_CORPORA}/dialogs_form/sample-${n}.dfm)
  add_custom_command(OUTPUT ${seed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CORVANE_FUZZ_CORPORA}/dialogs_form
    COMMAND corvane-dfm compile ${f} ${seed}
    DEPENDS corvane-dfm ${f}
    VERBATIM)
  list(APPEND form_seeds ${seed})
  set(runtime_seed ${CORVANE_FUZZ_CORPORA}/dialogs_runtime/sample-${n}.dfm)
  add_custom_command(OUTPUT ${runtime_seed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CORVANE_FUZZ_CORPORA}/dialogs_runtime
    COMMAND corvane-dfm compile ${f} ${runtime_seed}
    DEPENDS corvane-dfm ${f}
    VERBATIM)
  list(APPEND runtime_seeds ${runtime_seed})
endforeach()
foreach(f ${dialog_texts} ${dialog_rules})
  get_filename_component(n ${f} NAME)
  set(seed ${CORVANE_FUZZ_CORPORA}/dialogs_text/sample-${n})
  add_custom_command(OUTPUT ${seed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CORVANE_FUZZ_CORPORA}/dialogs_text
    COMMAND ${CMAKE_COMMAND} -E copy ${f} ${seed}
    DEPENDS ${f}
    VERBATIM)
  list(APPEND text_seeds ${seed})
endforeach()
corvane_add_fuzzer(NAME dialogs_form_fuzzer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialogs/form_fuzzer.cpp
  LIBS corvane_ui
  SEED_DIRS ${CMAKE_CURRENT_LIST_DIR}/dialogs/form_corpus
  SEEDS ${form_seeds})
corvane_add_fuzzer(NAME dialogs_text_fuzzer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialogs/text_fuzzer.cpp
  LIBS corvane_ui
  SEED_DIRS ${CMAKE_CURRENT_LIST_DIR}/dialogs/text_corpus
  SEEDS ${text_seeds})
corvane_add_fuzzer(NAME dialogs_runtime_fuzzer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialogs/runtime_fuzzer.cpp
  LIBS corvane_dialog_runtime
  SEED_DIRS ${CMAKE_CURRENT_LIST_DIR}/dialogs/form_corpus
  SEEDS ${runtime_seeds})
