# The script image loader, with a seed corpus compiled from the script text fixtures.
set(image_corpus ${CMAKE_CURRENT_BINARY_DIR}/corpus/image)
file(GLOB image_fixtures ${CMAKE_SOURCE_DIR}/tools/corvane-image/fixtures/*.txt)
set(image_seeds)
foreach(f ${image_fixtures})
  get_filename_component(n ${f} NAME_WE)
  add_custom_command(OUTPUT ${image_corpus}/${n}.img
    COMMAND ${CMAKE_COMMAND} -E make_directory ${image_corpus}
    COMMAND corvane-image compile ${f} ${image_corpus}/${n}.img
    DEPENDS corvane-image ${f})
  list(APPEND image_seeds ${image_corpus}/${n}.img)
endforeach()
add_custom_target(image_corpus ALL DEPENDS ${image_seeds})
corvane_add_fuzzer(NAME image_fuzzer
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/image/image_fuzzer.cpp
  LIBS corvane_image
  CORPUS ${image_corpus})
