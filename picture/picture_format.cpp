#include "picture/picture_format.h"

#include <cstring>

namespace vantrel {
namespace {

bool StartsWith(const std::uint8_t* bytes, std::size_t size, std::size_t at, const char* text,
                std::size_t length) {
  return size >= at + length && std::memcmp(bytes + at, text, length) == 0;
}

// ISO base media files whose brand libheif decodes: HEIC and AVIF stills and sequences.
bool IsHeif(const std::uint8_t* bytes, std::size_t size) {
  if (!StartsWith(bytes, size, 4, "ftyp", 4) || size < 12) return false;
  static const char* const kBrands[] = {"heic", "heix", "heim", "heis", "hevc",
                                        "hevx", "mif1", "msf1", "avif", "avis"};
  for (const char* brand : kBrands) {
    if (std::memcmp(bytes + 8, brand, 4) == 0) return true;
  }
  return false;
}

}  // namespace

PictureFormat SniffFormat(const std::uint8_t* bytes, std::size_t size) {
  if (StartsWith(bytes, size, 0, "\x89PNG\r\n\x1a\n", 8)) return PictureFormat::kPng;
  if (StartsWith(bytes, size, 0, "GIF87a", 6) || StartsWith(bytes, size, 0, "GIF89a", 6)) {
    return PictureFormat::kGif;
  }
  if (StartsWith(bytes, size, 0, "BM", 2) && size >= 26) return PictureFormat::kBmp;
  if (StartsWith(bytes, size, 0, "II*\0", 4) || StartsWith(bytes, size, 0, "MM\0*", 4)) {
    return PictureFormat::kTiff;
  }
  if (StartsWith(bytes, size, 0, "RIFF", 4) && StartsWith(bytes, size, 8, "WEBP", 4)) {
    return PictureFormat::kWebp;
  }
  if (IsHeif(bytes, size)) return PictureFormat::kHeif;
  return PictureFormat::kJpeg;
}

const char* FormatName(PictureFormat format) {
  switch (format) {
    case PictureFormat::kJpeg:
      return "JPEG";
    case PictureFormat::kPng:
      return "PNG";
    case PictureFormat::kGif:
      return "GIF";
    case PictureFormat::kBmp:
      return "BMP";
    case PictureFormat::kTiff:
      return "TIFF";
    case PictureFormat::kWebp:
      return "WebP";
    case PictureFormat::kHeif:
      return "HEIF";
  }
  return "picture";
}

}  // namespace vantrel
