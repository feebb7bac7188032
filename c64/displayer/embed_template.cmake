# cmake -DINPUT=displayer.prg -DOUTPUT=displayer_template.cpp -P embed_template.cmake
# Writes the assembled displayer as the C++ definition of DisplayerTemplate; refuses any
# size but 3000 bytes, the table's fixed length.
set(expected_size 3000)

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
if(NOT size EQUAL expected_size)
  message(FATAL_ERROR "${INPUT} holds ${size} bytes; DisplayerTemplate must be ${expected_size}")
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

file(WRITE "${OUTPUT}.tmp"
"// Generated from c64/displayer/displayer.asm by embed_template.cmake; do not edit.
#include \"c64/displayer_template.h\"

namespace vantrel {

const std::array<std::uint8_t, DisplayerTemplateSize> DisplayerTemplate = {
${bytes}};

}  // namespace vantrel
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
