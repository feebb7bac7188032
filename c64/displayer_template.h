// The 6502 displayer at the start of every executable file: load address $0800, BASIC line
// 10 SYS 2062 and the program that moves the two banks into place and shows them. Built from
// c64/displayer/displayer.asm at build time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vantrel {

inline constexpr std::size_t DisplayerTemplateSize = 3000;

// File bytes 0..2999 of an executable before the image and the sprite colours go in.
extern const std::array<std::uint8_t, DisplayerTemplateSize> DisplayerTemplate;

}  // namespace vantrel
