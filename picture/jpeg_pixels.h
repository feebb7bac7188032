// Rewrites decoded rows in place as PackedRGB words (0x00RRGGBB), for the outputs
// libjpeg cannot deliver as 32-bit words itself: quantised greyscale and CMYK.
#pragma once

#include <cstdint>

namespace vantrel {

// The first `width` bytes of `row` are palette indices; turns them into the grey levels
// greyMap gives (libjpeg's colour map of a one-component quantiser).
void ExpandGreyIndices(std::uint32_t* row, int width, const std::uint8_t* greyMap) noexcept;

// Each word of `row` holds one C, M, Y, K byte quadruple in memory order; turns it into
// RGB. Adobe-style files store the inks inverted (0 = full ink), so for them
// R = C * K / 255, otherwise R = (255 - C) * (255 - K) / 255, both rounded.
void CmykToPackedRgb(std::uint32_t* row, int width, bool inverted) noexcept;

}  // namespace vantrel
