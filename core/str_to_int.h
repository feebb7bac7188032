// Integer text as the edit boxes read and write it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

// The integer in `text`, or `fallback` when the text is not one. Leading blanks are
// skipped; a decimal number may carry one sign; a hexadecimal number (no sign) starts
// with $, x or 0x. The value must fit a signed 32-bit integer; anything after the
// number, trailing blanks included, makes the text invalid.
std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback);

inline std::string IntToStr(std::int32_t value) { return std::to_string(value); }

}  // namespace vantrel
