# The script image loader, with a seed corpus compiled from the script text fixtures.
file(GLOB image_fixtures CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/corvane-image/fixtures/*.txt)
set(image_seeds)
foreach(f ${image_fixtures})
  get_filename_component(n ${f} NAME_WE)
  set(seed ${CORVANE_FUZZ_CORPORA}/image/${n}.img)
  add_custom_command(OUTPUT ${seed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CORVANE_FUZZ_CORPORA}/image
    COMMAND corvane-image compile ${f} ${seed}
    DEPENDS corvane-image ${f}
    VERBATIM)
  list(APPEND image_seeds ${seed})
endforeach()
corvane_add_fuzzer(NAME image_fuzzer
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/image/image_fuzzer.cpp
  LIBS corvane_image
  SEEDS ${image_seeds})
