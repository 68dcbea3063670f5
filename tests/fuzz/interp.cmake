# The expression language and variable expansion, each from its checked-in seeds.
foreach(target expression expand)
  corvane_add_fuzzer(NAME interp_${target}_fuzzer
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/interp/${target}_fuzzer.cpp
    LIBS corvane_interp
    SEED_DIRS ${CMAKE_CURRENT_LIST_DIR}/interp/${target}_corpus)
endforeach()
