// The in-place row conversions for greyscale and CMYK output.
#include "picture/jpeg_pixels.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vantrel {
namespace {

struct InkCase {
  std::array<std::uint8_t, 4> cmyk;
  bool inverted;
  std::uint32_t rgb;
};

TEST(CmykToPackedRgb, RoundsEachChannel) {
  const std::vector<InkCase> cases = {
      // Adobe-style inverted inks: R = C * K / 255.
      {{255, 255, 255, 255}, true, 0xFFFFFF},
      {{0, 0, 0, 255}, true, 0x000000},
      {{255, 255, 255, 0}, true, 0x000000},
      {{128, 64, 255, 200}, true, 0x6432C8},  // 100.4, 50.2, 200
      {{1, 1, 1, 128}, true, 0x010101},       // 0.502 rounds up
      {{1, 1, 1, 127}, true, 0x000000},       // 0.498 rounds down
      {{255, 0, 0, 255}, true, 0xFF0000},     // channel order: C -> red, M -> green, Y -> blue
      {{0, 255, 0, 255}, true, 0x00FF00},
      {{0, 0, 255, 255}, true, 0x0000FF},
      // Plain inks: R = (255 - C) * (255 - K) / 255.
      {{0, 0, 0, 0}, false, 0xFFFFFF},
      {{255, 255, 255, 255}, false, 0x000000},
      {{0, 0, 0, 255}, false, 0x000000},
      {{128, 127, 0, 128}, false, 0x3F407F},  // 63.25, 63.75, 127
      {{1, 0, 255, 1}, false, 0xFDFE00},      // 253.0, 254, 0
      {{255, 0, 0, 0}, false, 0x00FFFF},
  };
  for (const InkCase& c : cases) {
    std::uint32_t word;
    std::memcpy(&word, c.cmyk.data(), 4);  // libjpeg's byte order: C, M, Y, K
    CmykToPackedRgb(&word, 1, c.inverted);
    EXPECT_EQ(word, c.rgb) << "C " << int{c.cmyk[0]} << " M " << int{c.cmyk[1]} << " Y "
                           << int{c.cmyk[2]} << " K " << int{c.cmyk[3]}
                           << (c.inverted ? " inverted" : " plain");
  }
}

TEST(CmykToPackedRgb, ConvertsEveryWordOfTheRow) {
  std::array<std::uint8_t, 12> inks = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255};
  std::array<std::uint32_t, 3> row;
  std::memcpy(row.data(), inks.data(), inks.size());
  CmykToPackedRgb(row.data(), 3, true);
  EXPECT_EQ(row, (std::array<std::uint32_t, 3>{0xFF0000, 0x00FF00, 0x0000FF}));
}

// The indices sit in the first bytes of the row they expand into; expanding must not
// overwrite an index before it is read.
TEST(ExpandGreyIndices, ExpandsInPlaceThroughTheMap) {
  std::array<std::uint8_t, 256> map;
  for (int i = 0; i < 256; ++i) map[i] = static_cast<std::uint8_t>(255 - i);
  constexpr int kWidth = 9;
  const std::array<std::uint8_t, kWidth> indices = {0, 1, 2, 3, 4, 100, 235, 254, 255};
  std::array<std::uint32_t, kWidth> row;
  row.fill(0xDEADBEEFu);
  std::memcpy(row.data(), indices.data(), kWidth);
  ExpandGreyIndices(row.data(), kWidth, map.data());
  for (int i = 0; i < kWidth; ++i) {
    const std::uint32_t level = map[indices[i]];
    EXPECT_EQ(row[i], level * 0x010101u) << "pixel " << i;
  }
}

}  // namespace
}  // namespace vantrel
