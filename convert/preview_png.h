// The preview as a PNG file: what the eye sees of the converted picture.
#pragma once

#include <cstdint>
#include <vector>

#include "core/bitmap32.h"

namespace vantrel {

// Encodes columns 0..191 of rows 0..199 of `preview` (PackedRGB words) as a 192 x 200 PNG,
// 8 bits per channel, RGB, without time stamp, so the same preview gives the same bytes.
// Throws VantrelError when libpng fails and std::invalid_argument for a smaller bitmap.
std::vector<std::uint8_t> EncodePreviewPng(const Bitmap32& preview);

}  // namespace vantrel
