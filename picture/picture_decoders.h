// The decoders of the formats besides JPEG, each in its own file over one library.
//
// Each decodes the first picture of a file held in memory, in its stored orientation, into
// a new bitmap of PackedRGB words that it swaps into `picture` only when the whole decode
// succeeded. Transparent pixels are composited over black. They throw VantrelError with a
// message naming the file; std::bad_alloc passes through for the caller to report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/bitmap32.h"
#include "core/error.h"
#include "picture/picture_format.h"

namespace vantrel {

struct EncodedPicture {
  const std::uint8_t* bytes;
  std::size_t size;
  const std::string& name;  // for messages
  long long maxPixels;      // larger pictures are refused before anything is allocated
};

// Each returns the EXIF orientation stored with the picture (1 when none applies).
int DecodePng(const EncodedPicture& file, Bitmap32& picture);
int DecodeGif(const EncodedPicture& file, Bitmap32& picture);
int DecodeBmp(const EncodedPicture& file, Bitmap32& picture);
int DecodeTiff(const EncodedPicture& file, Bitmap32& picture);
int DecodeWebp(const EncodedPicture& file, Bitmap32& picture);
// libheif turns the picture upright itself, so this always returns 1.
int DecodeHeif(const EncodedPicture& file, Bitmap32& picture);

// Whether this build decodes pictures of `format`: every format on the desktop; JPEG and PNG
// only in the page, which leaves the others to the browser's decoders.
bool DecodedHere(PictureFormat format);

// The decoder of `format` (any but JPEG, which has its own).
int DecodePicture(PictureFormat format, const EncodedPicture& file, Bitmap32& picture);

// "Cannot open <format> file <name>: <detail>".
[[noreturn]] void ThrowUnreadable(PictureFormat format, const std::string& name,
                                  const std::string& detail);

// Refuses an empty picture or one of more than maxPixels, before it is allocated.
void CheckDeclaredSize(PictureFormat format, const EncodedPicture& file, long long width,
                       long long height);

// A word with alpha in its top byte and red, green, blue below (0xAARRGGBB), composited
// over black: each channel times alpha / 255, rounded.
constexpr std::uint32_t OverBlack(std::uint32_t argb) {
  const std::uint32_t alpha = argb >> 24;
  if (alpha == 255) return argb & 0xFFFFFFu;
  auto scale = [alpha](std::uint32_t channel) { return (channel * alpha + 127) / 255; };
  return scale((argb >> 16) & 0xFF) << 16 | scale((argb >> 8) & 0xFF) << 8 | scale(argb & 0xFF);
}

// `width` pixels of bytes red, green, blue, alpha into a row of PackedRGB words, over black.
inline void RgbaRowOverBlack(const std::uint8_t* rgba, std::uint32_t* row, int width) {
  for (int x = 0; x < width; ++x, rgba += 4) {
    row[x] = OverBlack(std::uint32_t{rgba[3]} << 24 | std::uint32_t{rgba[0]} << 16 |
                       std::uint32_t{rgba[1]} << 8 | rgba[2]);
  }
}

}  // namespace vantrel
