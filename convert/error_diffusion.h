// The error-diffusion pass of the conversion: finds every pixel's mix colour and, when
// dithering, spreads the error (7/3/5/1 sixteenths) over the pixels right, below-left,
// below and below-right of it.
#pragma once

#include <array>
#include <cstdint>

#include "convert/simd_level.h"
#include "core/progress.h"
#include "core/types.h"

namespace vantrel {

// MixCode of every pixel, as the diffusion found it.
using MixCodes = std::array<std::uint8_t, PixelCount>;

// Walks the pixels in row order, reporting each row at its start. For each pixel finds the
// nearest mix colour of its working colour (already holding the error earlier pixels passed
// on) and stores the code. With `dither`, the error e = (working - mix) / 16 per channel,
// truncated toward zero, goes as 7e, 3e, 5e and e to the indices i + 1, i + 191, i + 192 and
// i + 193 of the same plane, each addition clamped to 0..255 on its own; the planes are one
// run of bytes, so shares wrap at the side edges, and those past the last pixel are dropped.
// Without it WorkPlanes stay as they are.
//
// Every share goes to a later pixel, so each pixel's colour is final at its turn and the
// classification that follows would find the same code again.
void DiffuseErrors(ColourPlanes& work, const MixSlots& mixTable, bool dither, MixCodes& codes,
                   ProgressSink* progress, SimdLevel level = FastestSimdLevel());

}  // namespace vantrel
