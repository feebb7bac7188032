// Which decoder a file needs, told by its first bytes and never by its name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel {

enum class PictureFormat { kJpeg, kPng, kGif, kBmp, kTiff, kWebp, kHeif };

// The format whose signature the bytes begin with. Anything unrecognised (an empty file,
// a text file) counts as JPEG, so it meets the JPEG decoder's own refusal.
PictureFormat SniffFormat(const std::uint8_t* bytes, std::size_t size);

// "JPEG", "PNG", "GIF", "BMP", "TIFF", "WebP", "HEIF": the word used in messages.
const char* FormatName(PictureFormat format);

}  // namespace vantrel
