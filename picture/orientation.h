// Turning a picture upright as its EXIF orientation tag asks, the way photo viewers do.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/bitmap32.h"

namespace vantrel {

// EXIF orientation values: 1 upright, 2 mirrored left-right, 3 turned half round,
// 4 mirrored top-bottom, 5 mirrored along the main diagonal, 6 stored turned a quarter
// anticlockwise (shown turned clockwise), 7 mirrored along the other diagonal, 8 stored
// turned a quarter clockwise.
inline constexpr int kUpright = 1;

// The orientation in an EXIF block (a TIFF header and IFD0, optionally after the
// "Exif\0\0" prefix of a JPEG APP1 segment). 1 when there is no valid tag; never reads
// outside the `size` bytes.
int ExifOrientation(const std::uint8_t* exif, std::size_t size);

// The orientation in the first EXIF APP1 segment before a JPEG's first scan; 1 if none.
int JpegExifOrientation(const std::uint8_t* bytes, std::size_t size);

// Width and height of a width x height picture after turning it upright.
inline bool SwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

// Turns `picture` upright. Orientations 2 to 4 work in place; 5 to 8 need a second bitmap
// and may throw std::bad_alloc, leaving `picture` as it was. Values outside 2..8 do nothing.
void ApplyOrientation(Bitmap32& picture, int orientation);

}  // namespace vantrel
