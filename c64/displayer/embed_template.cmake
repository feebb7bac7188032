# cmake -DINPUTS=a.prg,b.prg -DNAMES=NameA,NameB -DOUTPUT=displayer_template.cpp -P ...
# Writes the assembled displayers as the C++ definitions of the named DisplayerBytes tables;
# refuses any size but 3000 bytes, the tables' fixed length.
set(expected_size 3000)
string(REPLACE "," ";" inputs "${INPUTS}")
string(REPLACE "," ";" names "${NAMES}")

set(tables "")
foreach(input name IN ZIP_LISTS inputs names)
  file(READ "${input}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  if(NOT size EQUAL expected_size)
    message(FATAL_ERROR "${input} holds ${size} bytes; ${name} must be ${expected_size}")
  endif()

  # Twelve bytes a line.
  set(bytes "")
  math(EXPR last_line "${hex_length} - 24")
  foreach(start RANGE 0 ${last_line} 24)
    string(SUBSTRING "${hex}" ${start} 24 line)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1, " line "${line}")
    string(STRIP "${line}" line)
    string(APPEND bytes "    ${line}\n")
  endforeach()
  string(APPEND tables "\nconst DisplayerBytes ${name} = {\n${bytes}};\n")
endforeach()

file(WRITE "${OUTPUT}.tmp"
"// Generated from c64/displayer/displayer.asm by embed_template.cmake; do not edit.
#include \"c64/displayer_template.h\"

namespace vantrel {
${tables}
}  // namespace vantrel
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
