// Greyscale and CMYK rows rewritten in place as PackedRGB words.
#include "picture/jpeg_pixels.h"

namespace vantrel {
namespace {

// x / 255 rounded to nearest for 0 <= x <= 255 * 255.
constexpr std::uint32_t DivideBy255(std::uint32_t x) { return (x + 127) / 255; }

}  // namespace

void ExpandGreyIndices(std::uint32_t* row, int width, const std::uint8_t* greyMap) noexcept {
  const auto* indices = reinterpret_cast<const std::uint8_t*>(row);
  // Right to left: word i covers bytes 4i..4i+3, so it never overwrites an index still
  // to be read (those are at bytes below i).
  for (int i = width - 1; i >= 0; --i) {
    const std::uint32_t level = greyMap[indices[i]];
    row[i] = level * 0x010101u;
  }
}

void CmykToPackedRgb(std::uint32_t* row, int width, bool inverted) noexcept {
  const auto* inks = reinterpret_cast<const std::uint8_t*>(row);
  for (int i = 0; i < width; ++i) {
    std::uint32_t c = inks[4 * i];
    std::uint32_t m = inks[4 * i + 1];
    std::uint32_t y = inks[4 * i + 2];
    std::uint32_t k = inks[4 * i + 3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    row[i] = (DivideBy255(c * k) << 16) | (DivideBy255(m * k) << 8) | DivideBy255(y * k);
  }
}

}  // namespace vantrel
