# Dialog pictures: our PNG reader (with the picture-property prefixes), the JPEG decoder of the
# simulation (libjpeg with our error handling and limits) and our bitmap reader. The seeds are
# the picture fixtures of the tests, made by ImageMagick at build time.
find_program(CORVANE_CONVERT NAMES convert-im6.q16 convert PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
set(picture_seeds_stamp ${CMAKE_CURRENT_BINARY_DIR}/picture_seeds.stamp)
set(picture_script ${CMAKE_SOURCE_DIR}/tests/fixtures/pictures/make_pictures.pl)
# One seed of each kind stands for all, so that a removed corpus folder is filled again.
set(picture_seed_files ${CORVANE_FUZZ_CORPORA}/pictures_png/png-rgba-8.png
  ${CORVANE_FUZZ_CORPORA}/pictures_jpeg/jpeg-colour.jpg
  ${CORVANE_FUZZ_CORPORA}/pictures_bitmap/bmp-24.bmp)
add_custom_command(
  OUTPUT ${picture_seeds_stamp} ${picture_seed_files}
  COMMAND perl ${picture_script} ${CORVANE_CONVERT} ${CMAKE_CURRENT_BINARY_DIR}/picture_seed_work
    ${CORVANE_FUZZ_CORPORA}/pictures_png ${CORVANE_FUZZ_CORPORA}/pictures_jpeg
    ${CORVANE_FUZZ_CORPORA}/pictures_bitmap
  COMMAND ${CMAKE_COMMAND} -E touch ${picture_seeds_stamp}
  DEPENDS ${picture_script}
  COMMENT "Making the picture fuzz seeds with ImageMagick"
  VERBATIM)
corvane_add_fuzzer(NAME pictures_png_fuzzer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pictures/png_fuzzer.cpp
  LIBS corvane_ui_pictures z
  SEEDS ${picture_seeds_stamp} ${picture_seed_files})
corvane_add_fuzzer(NAME pictures_jpeg_fuzzer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pictures/jpeg_fuzzer.cpp
  LIBS corvane_sim_pictures
  SEEDS ${picture_seeds_stamp} ${picture_seed_files})
corvane_add_fuzzer(NAME pictures_bitmap_fuzzer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pictures/bitmap_fuzzer.cpp
  LIBS corvane_platform_core
  SEEDS ${picture_seeds_stamp} ${picture_seed_files})
