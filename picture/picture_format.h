// Which decoder a file needs, told by its first bytes and never by its name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

enum class PictureFormat { kJpeg, kPng, kGif, kBmp, kTiff, kWebp, kHeif };

// The format whose signature the bytes begin with. Anything unrecognised (an empty file,
// a text file) counts as JPEG, so it meets the JPEG decoder's own refusal.
PictureFormat SniffFormat(const std::uint8_t* bytes, std::size_t size);

// "JPEG", "PNG", "GIF", "BMP", "TIFF", "WebP", "HEIF": the word used in messages.
const char* FormatName(PictureFormat format);

// The format whose files are commonly named with `extension` ("jpg", "TIFF", "avif": no dot,
// case ignored); nothing for any other. Only names are judged by this: files are read by
// their content.
std::optional<PictureFormat> FormatOfExtension(std::string_view extension);

}  // namespace vantrel
