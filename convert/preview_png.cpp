// The preview encoded with libpng's simplified writer, without a gAMA chunk.
#include "convert/preview_png.h"

#include <png.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "core/error.h"
#include "core/types.h"

namespace vantrel {

namespace {

// The simplified writer always adds a gAMA chunk after the header (for colours it is told are
// not sRGB). The preview has never carried one, and its bytes stay as they were: the chunk
// (length 4, type, 4 bytes, CRC) is taken out again.
void DropGammaChunk(std::vector<std::uint8_t>& png) {
  constexpr std::size_t kAfterHeader = 8 + 25;
  constexpr std::size_t kGammaChunk = 16;
  if (png.size() >= kAfterHeader + kGammaChunk &&
      std::memcmp(png.data() + kAfterHeader, "\0\0\0\x04gAMA", 8) == 0) {
    png.erase(png.begin() + kAfterHeader, png.begin() + kAfterHeader + kGammaChunk);
  }
}

}  // namespace

// libpng's simplified API keeps its longjmp to itself and reports failure by its result.
std::vector<std::uint8_t> EncodePreviewPng(const Bitmap32& preview) {
  if (preview.Width() < WindowWidth || preview.Height() < WindowHeight) {
    throw std::invalid_argument("preview smaller than 192 x 200");
  }
  constexpr std::size_t kStride = WindowWidth * 3;
  std::vector<std::uint8_t> pixels(kStride * WindowHeight);
  for (int y = 0; y < WindowHeight; ++y) {
    const std::uint32_t* words = preview.ScanLine(y);
    std::uint8_t* row = pixels.data() + y * kStride;
    for (int x = 0; x < WindowWidth; ++x) {
      row[3 * x] = static_cast<std::uint8_t>(words[x] >> 16);
      row[3 * x + 1] = static_cast<std::uint8_t>(words[x] >> 8);
      row[3 * x + 2] = static_cast<std::uint8_t>(words[x]);
    }
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = WindowWidth;
  image.height = WindowHeight;
  image.format = PNG_FORMAT_RGB;
  // The colours are the program's own sixteen and their mixes: no colour space chunk.
  image.flags = PNG_IMAGE_FLAG_COLORSPACE_NOT_sRGB;
  // The first call measures, the second writes.
  png_alloc_size_t size = 0;
  if (png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), kStride, nullptr)) {
    std::vector<std::uint8_t> bytes(size);
    if (png_image_write_to_memory(&image, bytes.data(), &size, 0, pixels.data(), kStride,
                                  nullptr)) {
      bytes.resize(size);
      DropGammaChunk(bytes);
      return bytes;
    }
  }
  const std::string reason = image.message;
  png_image_free(&image);
  throw VantrelError(Message::kCannotEncodePng, reason);
}

}  // namespace vantrel
