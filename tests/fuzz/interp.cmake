# The expression language and variable expansion. The seed corpora are copied into the build tree,
# where scripts/fuzz keeps what it finds.
foreach(target expression expand)
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/corpus/interp_${target})
  file(COPY ${CMAKE_CURRENT_LIST_DIR}/interp/${target}_corpus/ DESTINATION ${corpus})
  corvane_add_fuzzer(NAME interp_${target}_fuzzer
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/interp/${target}_fuzzer.cpp
    LIBS corvane_interp
    CORPUS ${corpus})
endforeach()
