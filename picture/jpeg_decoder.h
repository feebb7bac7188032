// Decoding a JPEG file into the whole-picture bitmap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/bitmap32.h"

namespace vantrel {

// The largest picture we agree to decode: 2^28 pixels, 1 GiB as 32-bit words. Headers
// promising more are refused before anything is allocated.
inline constexpr long long MaxPicturePixels = 1LL << 28;

// Decodes the JPEG file `fileName` at full size into `picture`, one PackedRGB word per
// pixel (the top byte is undefined). Colour files are decoded unquantised, greyscale
// files quantised to 236 grey levels with Floyd-Steinberg dither, CMYK and YCCK files
// converted to RGB; the inverse DCT is the floating-point one.
//
// Throws VantrelError, leaving `picture` as it was, with the message
//   "Cannot open file <fileName>"               the file cannot be opened for reading;
//   "JPEG error #<code>"                        libjpeg refused the file (its msg_code);
//   "Unsupported JPEG (<n> colour components)"  neither greyscale, colour nor CMYK;
//   "Picture too large (<w> x <h> pixels)"      more than MaxPicturePixels;
//   "Not enough memory to open <fileName>"      an allocation failed (ours or libjpeg's);
//   "Cannot open JPEG file <fileName>: more than 500 scans"   (kMaxJpegScans), a file that
//                                               would cost far more than its picture.
// A file that ends early is not an error: libjpeg completes it in grey, and the decode
// returns true (libjpeg's end-of-data warning). It returns false otherwise.
bool DecodeJpegFile(const std::string& fileName, Bitmap32& picture);

// The same for a JPEG file already in memory (`size` bytes at `bytes`); the same errors,
// with `name` standing for the file name in them. Never "Cannot open file".
bool DecodeJpegMemory(const std::uint8_t* bytes, std::size_t size, Bitmap32& picture,
                      const std::string& name = "the picture");

// The same decode at 1/`reduction` of the size (1, 2, 4 or 8), scaled by libjpeg while
// decoding: each side becomes ceil(side / reduction). At 1 this is DecodeJpegMemory.
bool DecodeJpegMemoryReduced(const std::uint8_t* bytes, std::size_t size, int reduction,
                             Bitmap32& picture, const std::string& name);

struct JpegSize {
  int width;
  int height;
};

// The picture's size from its header alone, with the decoder's errors for a header it
// refuses ("JPEG error #<code>", "Picture too large ...", "Not enough memory to open ...").
JpegSize ReadJpegSize(const std::uint8_t* bytes, std::size_t size, const std::string& name);

}  // namespace vantrel
