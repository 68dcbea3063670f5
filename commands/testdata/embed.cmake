# cmake -DINPUT=file -DOUTPUT=file.cpp -DNAME=symbol -P embed.cmake
# Writes the bytes of INPUT as a C++ array `NAME` with its size `NAME_size`.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE ${OUTPUT} "#include <cstddef>\nextern const unsigned char ${NAME}[] = {${bytes}};\nextern const size_t ${NAME}_size = ${size};\n")
