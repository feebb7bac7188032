// Reading the EXIF orientation and turning a bitmap upright.
#include "picture/orientation.h"

#include <algorithm>
#include <cstring>

namespace vantrel {
namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kShortType = 3;

class TiffBytes {
 public:
  TiffBytes(const std::uint8_t* bytes, std::size_t size, bool littleEndian)
      : bytes_(bytes), size_(size), little_(littleEndian) {}
  bool Has(std::size_t at, std::size_t length) const { return at <= size_ && length <= size_ - at; }
  std::uint32_t U16(std::size_t at) const {
    return little_ ? bytes_[at] | bytes_[at + 1] << 8 : bytes_[at] << 8 | bytes_[at + 1];
  }
  std::uint32_t U32(std::size_t at) const {
    return little_ ? U16(at) | U16(at + 2) << 16 : U16(at) << 16 | U16(at + 2);
  }

 private:
  const std::uint8_t* bytes_;
  std::size_t size_;
  bool little_;
};

// Copies picture into `upright` for orientations 5..8, where rows become columns. The
// source index of output (x, y) is base + x * dx + y * dy; tiles keep both sides in cache.
void Transpose(const Bitmap32& picture, int orientation, Bitmap32& upright) {
  const long long w = picture.Width();
  const long long h = picture.Height();
  long long base = 0, dx = 0, dy = 0;
  switch (orientation) {
    case 5:
      base = 0, dx = w, dy = 1;
      break;
    case 6:
      base = (h - 1) * w, dx = -w, dy = 1;
      break;
    case 7:
      base = (h - 1) * w + w - 1, dx = -w, dy = -1;
      break;
    default:  // 8
      base = w - 1, dx = w, dy = -1;
      break;
  }
  const std::uint32_t* source = picture.Words();
  constexpr int kTile = 64;
  const int outWidth = upright.Width();
  const int outHeight = upright.Height();
  for (int ty = 0; ty < outHeight; ty += kTile) {
    for (int tx = 0; tx < outWidth; tx += kTile) {
      const int yEnd = std::min(outHeight, ty + kTile);
      const int xEnd = std::min(outWidth, tx + kTile);
      for (int y = ty; y < yEnd; ++y) {
        std::uint32_t* row = upright.ScanLine(y);
        const long long start = base + y * dy;
        for (int x = tx; x < xEnd; ++x) row[x] = source[start + x * dx];
      }
    }
  }
}

}  // namespace

int ExifOrientation(const std::uint8_t* exif, std::size_t size) {
  if (size >= 6 && std::memcmp(exif, "Exif\0\0", 6) == 0) {
    exif += 6;
    size -= 6;
  }
  if (size < 8) return kUpright;
  bool little;
  if (exif[0] == 'I' && exif[1] == 'I') {
    little = true;
  } else if (exif[0] == 'M' && exif[1] == 'M') {
    little = false;
  } else {
    return kUpright;
  }
  const TiffBytes tiff(exif, size, little);
  if (tiff.U16(2) != 42) return kUpright;
  const std::size_t directory = tiff.U32(4);
  if (!tiff.Has(directory, 2)) return kUpright;
  const std::size_t entries = tiff.U16(directory);
  for (std::size_t i = 0; i < entries; ++i) {
    const std::size_t entry = directory + 2 + 12 * i;
    if (!tiff.Has(entry, 12)) break;
    if (tiff.U16(entry) != kOrientationTag) continue;
    if (tiff.U16(entry + 2) != kShortType || tiff.U32(entry + 4) < 1) return kUpright;
    const std::uint32_t value = tiff.U16(entry + 8);
    return value >= 1 && value <= 8 ? static_cast<int>(value) : kUpright;
  }
  return kUpright;
}

int JpegExifOrientation(const std::uint8_t* bytes, std::size_t size) {
  if (size < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return kUpright;
  std::size_t at = 2;
  while (at + 4 <= size) {
    if (bytes[at] != 0xFF) return kUpright;
    const std::uint8_t marker = bytes[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0xDA || marker == 0xD9) return kUpright;  // first scan or end of image
    const std::size_t length = std::size_t{bytes[at + 2]} << 8 | bytes[at + 3];
    if (length < 2) return kUpright;
    const std::size_t available = std::min(length - 2, size - (at + 4));
    if (marker == 0xE1 && available >= 6 && std::memcmp(bytes + at + 4, "Exif\0\0", 6) == 0) {
      return ExifOrientation(bytes + at + 4, available);
    }
    at += 2 + length;
  }
  return kUpright;
}

void ApplyOrientation(Bitmap32& picture, int orientation) {
  const int w = picture.Width();
  const int h = picture.Height();
  switch (orientation) {
    case 2:
      for (int y = 0; y < h; ++y) std::reverse(picture.ScanLine(y), picture.ScanLine(y) + w);
      return;
    case 3:
      std::reverse(picture.Words(), picture.Words() + static_cast<std::size_t>(w) * h);
      return;
    case 4:
      for (int y = 0; y < h / 2; ++y) {
        std::swap_ranges(picture.ScanLine(y), picture.ScanLine(y) + w, picture.ScanLine(h - 1 - y));
      }
      return;
    case 5:
    case 6:
    case 7:
    case 8: {
      Bitmap32 upright(h, w);
      Transpose(picture, orientation, upright);
      picture.Swap(upright);
      return;
    }
    default:
      return;
  }
}

}  // namespace vantrel
