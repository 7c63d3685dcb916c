# Writes the module at INPUT as a C++ byte array to OUTPUT, so the music is
# carried inside the program. A missing module gives an empty array: the
# loader then refuses it and the intro runs silent.
if(EXISTS "${INPUT}")
  file(READ "${INPUT}" hex HEX)
else()
  set(hex "")
endif()
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){20})" "\\1\n  " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from data/song.xm by the build; do not edit.\n"
  "extern const unsigned char embedded_module[];\n"
  "extern const unsigned int embedded_module_size;\n"
  "const unsigned char embedded_module[] = {\n  ${bytes}0x00};\n"
  "const unsigned int embedded_module_size = ${size};\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
