// The 6502 displayer at the start of every executable file: load address $0800, BASIC line
// 10 SYS 2062 and the program that moves the two banks into place and shows them. Built from
// c64/displayer/displayer.asm at build time, once for each target machine.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "c64/machine.h"

namespace vantrel {

inline constexpr std::size_t DisplayerTemplateSize = 3000;
using DisplayerBytes = std::array<std::uint8_t, DisplayerTemplateSize>;

// File bytes 0..2999 of an executable before the image and the sprite colours go in: the
// PAL displayer, then those timed for the other machines. All keep the entry at $080e, the
// sprite-colour operands at $0a10 and $0e10 and end below the image at $1200.
extern const DisplayerBytes DisplayerTemplate;
extern const DisplayerBytes NtscDisplayerTemplate;
extern const DisplayerBytes OldNtscDisplayerTemplate;
extern const DisplayerBytes DreanDisplayerTemplate;
extern const DisplayerBytes AnyDisplayerTemplate;

const DisplayerBytes& DisplayerTemplateFor(Machine machine);

}  // namespace vantrel
