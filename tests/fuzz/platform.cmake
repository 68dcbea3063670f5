# The simulated machine's parsers of outside input: the .reg text of a machine's registry. The
# seeds are the checked-in .reg texts and the registries corvane-sim gives a fresh machine: the
# default (64-bit Windows 10) and a 32-bit Windows 7 one.
set(reg_machine_seeds)
foreach(machine "win10-x64|windows.version = 10.0.19045"
                "win7-x86|windows.version = 6.1.7601|windows.64bit = false|user = Jürgen Groß")
  string(FIND "${machine}" "|" bar)
  string(SUBSTRING "${machine}" 0 ${bar} name)
  math(EXPR bar "${bar} + 1")
  string(SUBSTRING "${machine}" ${bar} -1 description)
  set(seed ${CORVANE_FUZZ_CORPORA}/reg_text/machine-${name}.reg)
  add_custom_command(OUTPUT ${seed}
    COMMAND ${CMAKE_COMMAND} -DSIM=$<TARGET_FILE:corvane-sim>
      -DWORK=${CMAKE_CURRENT_BINARY_DIR}/reg_machines/${name} "-DDESCRIPTION=${description}"
      -DOUTPUT=${seed} -P ${CMAKE_CURRENT_LIST_DIR}/platform/machine_registry.cmake
    DEPENDS corvane-sim ${CMAKE_CURRENT_LIST_DIR}/platform/machine_registry.cmake
    COMMENT "Making the registry of a fresh ${name} machine"
    VERBATIM)
  list(APPEND reg_machine_seeds ${seed})
endforeach()
corvane_add_fuzzer(NAME reg_text_fuzzer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform/reg_text_fuzzer.cpp
  LIBS corvane_platform
  SEED_DIRS ${CMAKE_CURRENT_LIST_DIR}/platform/reg_text_corpus
  SEEDS ${reg_machine_seeds})

# The answers file of corvane-sim: message-box, folder and dialog statements.
corvane_add_fuzzer(NAME answers_fuzzer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform/answers_fuzzer.cpp
  LIBS corvane_platform
  SEED_DIRS ${CMAKE_CURRENT_LIST_DIR}/platform/answers_corpus)
