# cmake -DINPUT=depacker.prg -DOUTPUT=depacker_template.cpp -P embed_depacker.cmake
# Writes the assembled depacker (its load address first) as the C++ table behind
# DepackerTemplate().
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
if(size LESS 16)
  message(FATAL_ERROR "${INPUT} holds only ${size} bytes")
endif()

# Twelve bytes a line.
set(bytes "")
foreach(start RANGE 0 ${hex_length} 24)
  string(SUBSTRING "${hex}" ${start} 24 line)
  if(line STREQUAL "")
    break()
  endif()
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1, " line "${line}")
  string(STRIP "${line}" line)
  string(APPEND bytes "    ${line}\n")
endforeach()

file(WRITE "${OUTPUT}.tmp"
"// Generated from c64/depacker/depacker.asm by embed_depacker.cmake; do not edit.
#include \"c64/packed_executable.h\"

namespace vantrel {
namespace {

constexpr std::uint8_t Depacker[${size}] = {
${bytes}};

}  // namespace

std::span<const std::uint8_t> DepackerTemplate() { return Depacker; }

}  // namespace vantrel
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
