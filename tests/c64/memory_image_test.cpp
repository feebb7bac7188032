// Where every layer bit and colour byte lands in the two video banks.
#include "c64/memory_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace vantrel {
namespace {

// The roles a picture starts with in the window.
constexpr ColourRoleSet DefaultColourRoles{0, 2, 3, 7, 10};

enum class Layer { Bitmap1, Sprite1, Bitmap2, Sprite2 };

Plane& PlaneOf(LayerPlanes& bits, Layer layer) {
  switch (layer) {
    case Layer::Bitmap1:
      return bits.Bitmap1Bits;
    case Layer::Sprite1:
      return bits.Sprite1Bits;
    case Layer::Bitmap2:
      return bits.Bitmap2Bits;
    case Layer::Sprite2:
      return bits.Sprite2Bits;
  }
  return bits.Bitmap1Bits;
}

int CountNonZero(const C64Memory& image) {
  int count = 0;
  for (const std::uint8_t byte : image) count += byte != 0;
  return count;
}

struct PixelCase {
  const char* name;
  Layer layer;
  int x, y;
  std::size_t offset;  // in the whole image
  int bit;
};
void PrintTo(const PixelCase& c, std::ostream* out) { *out << c.name; }

class SinglePixel : public ::testing::TestWithParam<PixelCase> {};

TEST_P(SinglePixel, SetsExactlyOneBit) {
  const PixelCase& c = GetParam();
  LayerPlanes bits;
  PlaneOf(bits, c.layer)[c.y * WindowWidth + c.x] = 1;
  C64Memory image;
  image.fill(0xA5);  // the build must clear what it does not write

  BuildMemoryImage(bits, image);

  EXPECT_EQ(image[c.offset], 1 << c.bit);
  EXPECT_EQ(CountNonZero(image), 1);
}

INSTANTIATE_TEST_SUITE_P(
    MemoryImage, SinglePixel,
    ::testing::Values(PixelCase{"TopLeftBitmap", Layer::Bitmap1, 0, 0, 0x2040, 7},
                      PixelCase{"TopLeftSprite", Layer::Sprite1, 0, 0, 0x0800, 7},
                      PixelCase{"BottomRightBitmap", Layer::Bitmap1, 191, 199, 0x3EFF, 0},
                      PixelCase{"BottomRightSprite", Layer::Sprite1, 191, 199, 0x1BE0, 0},
                      PixelCase{"Line188IsRow8Line20", Layer::Sprite1, 0, 188, 0x183C, 7},
                      PixelCase{"Line189IsRow9Line0", Layer::Sprite1, 0, 189, 0x1A00, 7},
                      PixelCase{"Line20IsRow0Line20", Layer::Sprite1, 0, 20, 0x083C, 7},
                      PixelCase{"Line21IsRow1Line0", Layer::Sprite1, 0, 21, 0x0A00, 7},
                      PixelCase{"Column24StartsSecondSprite", Layer::Sprite1, 24, 0, 0x0840, 7},
                      PixelCase{"Column24InBitmapCell11", Layer::Bitmap1, 24, 0, 0x2058, 7},
                      PixelCase{"Column23EndsFirstSprite", Layer::Sprite1, 23, 0, 0x0802, 0},
                      PixelCase{"Column8SecondSpriteByte", Layer::Sprite1, 8, 0, 0x0801, 7},
                      PixelCase{"Line7LastOfCell", Layer::Bitmap1, 0, 7, 0x2047, 7},
                      PixelCase{"Line8NextCellRow", Layer::Bitmap1, 0, 8, 0x2180, 7},
                      PixelCase{"Frame2TopLeftBitmap", Layer::Bitmap2, 0, 0, 0x6040, 7},
                      PixelCase{"Frame2TopLeftSprite", Layer::Sprite2, 0, 0, 0x4800, 7},
                      PixelCase{"Frame2BottomRightBitmap", Layer::Bitmap2, 191, 199, 0x7EFF, 0},
                      PixelCase{"Frame2BottomRightSprite", Layer::Sprite2, 191, 199, 0x5BE0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MemoryImage, OnlyPlaneBytesOfExactlyOneSetBits) {
  for (const std::uint8_t value : {2, 255, 0x81, 0x11}) {
    LayerPlanes bits;
    for (Plane* plane :
         {&bits.Bitmap1Bits, &bits.Sprite1Bits, &bits.Bitmap2Bits, &bits.Sprite2Bits}) {
      plane->fill(value);
    }
    C64Memory image;
    BuildMemoryImage(bits, image);
    EXPECT_EQ(CountNonZero(image), 0) << "plane bytes of " << int{value};
  }
}

// Reference addresses straight from the bank layout: pixel (x, y) is bit 7 - x mod 8 of the
// byte at these bank offsets.
std::size_t BitmapByte(int x, int y) { return 0x2000 + (y / 8) * 320 + (x / 8 + 8) * 8 + y % 8; }
std::size_t SpriteByte(int x, int y) {
  return 0x0800 + 512 * (y / 21) + 64 * (x / 24) + 3 * (y % 21) + (x % 24) / 8;
}

TEST(MemoryImage, EveryPixelOfEveryPlaneLandsOnItsBit) {
  LayerPlanes bits;
  std::mt19937 random(2005);
  for (Plane* plane :
       {&bits.Bitmap1Bits, &bits.Sprite1Bits, &bits.Bitmap2Bits, &bits.Sprite2Bits}) {
    for (std::uint8_t& byte : *plane) byte = random() % 2;
  }
  C64Memory image;
  BuildMemoryImage(bits, image);

  C64Memory expected{};
  const struct {
    const Plane& plane;
    std::size_t bank;
    std::size_t (*byteOf)(int, int);
  } layers[] = {{bits.Bitmap1Bits, FirstFrameBank, BitmapByte},
                {bits.Sprite1Bits, FirstFrameBank, SpriteByte},
                {bits.Bitmap2Bits, SecondFrameBank, BitmapByte},
                {bits.Sprite2Bits, SecondFrameBank, SpriteByte}};
  for (const auto& layer : layers) {
    for (int y = 0; y < WindowHeight; ++y) {
      for (int x = 0; x < WindowWidth; ++x) {
        if (layer.plane[y * WindowWidth + x] == 1) {
          expected[layer.bank + layer.byteOf(x, y)] |= 0x80 >> (x % 8);
        }
      }
    }
  }
  for (std::size_t i = 0; i < image.size(); ++i) {
    ASSERT_EQ(image[i], expected[i]) << "image offset " << i;
  }
}

// Byte ranges of a bank that stay zero whatever the layer bits and colours.
std::vector<std::size_t> AlwaysZeroBankOffsets() {
  std::vector<std::size_t> offsets;
  const auto range = [&](std::size_t first, std::size_t last) {
    for (std::size_t i = first; i <= last; ++i) offsets.push_back(i);
  };
  range(0x03E8, 0x03FF);  // after screen 0, its sprite pointers
  range(0x07E8, 0x07FF);  // after screen 1, its sprite pointers
  range(0x1C00, 0x1FFF);
  range(0x3F40, 0x3FFF);
  for (int block = 0; block < 80; ++block) offsets.push_back(0x0800 + 64 * block + 63);
  for (int m = 0; m < 8; ++m) range(0x0800 + 512 * 9 + 64 * m + 33, 0x0800 + 512 * 9 + 64 * m + 62);
  for (int row = 0; row < 25; ++row) {
    for (int column : {0, 7, 32, 39}) {
      range(0x2000 + row * 320 + column * 8, 0x2000 + row * 320 + column * 8 + 7);
      offsets.push_back(row * 40 + column);
      offsets.push_back(0x0400 + row * 40 + column);
    }
  }
  return offsets;
}

TEST(MemoryImage, UnusedAreasStayZeroWithEveryBitSet) {
  LayerPlanes bits;
  for (Plane* plane :
       {&bits.Bitmap1Bits, &bits.Sprite1Bits, &bits.Bitmap2Bits, &bits.Sprite2Bits}) {
    plane->fill(1);
  }
  C64Memory image;
  BuildMemoryImage(bits, image);
  FillScreenColours(ColourRoleSet{15, 15, 15, 15, 15}, image);

  for (const std::size_t bank : {FirstFrameBank, SecondFrameBank}) {
    for (const std::size_t offset : AlwaysZeroBankOffsets()) {
      ASSERT_EQ(image[bank + offset], 0) << "bank " << bank << " offset " << offset;
    }
    // ... while the picture's own bytes are all set.
    EXPECT_EQ(image[bank + 0x2000 + 8 * 8], 0xFF);
    EXPECT_EQ(image[bank + 0x2000 + 24 * 320 + 31 * 8 + 7], 0xFF);
    EXPECT_EQ(image[bank + 0x0800 + 512 * 9 + 64 * 7 + 32], 0xFF);  // row 9, line 10
    EXPECT_EQ(image[bank + 0x0800 + 512 * 8 + 64 * 7 + 62], 0xFF);  // row 8, line 20
  }
}

struct ColourCase {
  const char* name;
  ColourRoleSet roles;
  std::uint8_t frame1;
  std::uint8_t frame2;
};
void PrintTo(const ColourCase& c, std::ostream* out) { *out << c.name; }

class ScreenColours : public ::testing::TestWithParam<ColourCase> {};

TEST_P(ScreenColours, FillColumns8To31OfBothScreens) {
  const ColourCase& c = GetParam();
  C64Memory image;
  image.fill(0x5A);
  FillScreenColours(c.roles, image);
  // Every cell holding the roles' colours writes the same bytes.
  C64Memory byCells;
  byCells.fill(0x5A);
  FillScreenColours(UniformCellColours(c.roles), byCells);
  EXPECT_EQ(byCells, image);

  for (const auto& [bank, colour] :
       {std::pair{FirstFrameBank, c.frame1}, std::pair{SecondFrameBank, c.frame2}}) {
    for (const std::size_t screen : {Screen0Offset, Screen1Offset}) {
      for (int row = 0; row < 25; ++row) {
        for (int column = 0; column < 40; ++column) {
          const bool picture = column >= 8 && column <= 31;
          ASSERT_EQ(image[bank + screen + row * 40 + column], picture ? colour : 0)
              << "bank " << bank << " screen " << screen << " row " << row << " column " << column;
        }
      }
    }
    for (std::size_t offset = 0x03E8; offset < 0x0400; ++offset) {
      ASSERT_EQ(image[bank + offset], 0);
      ASSERT_EQ(image[bank + 0x0400 + offset], 0);
    }
    // Only the screens are rewritten; sprites and bitmap keep what they hold.
    EXPECT_EQ(image[bank + 0x0800], 0x5A);
    EXPECT_EQ(image[bank + 0x3FFF], 0x5A);
  }
}

INSTANTIATE_TEST_SUITE_P(
    MemoryImage, ScreenColours,
    ::testing::Values(ColourCase{"Defaults", DefaultColourRoles, 0x20, 0x70},
                      ColourCase{"BlueBackgroundWhiteBitmap", {6, 1, 5, 14, 9}, 0x16, 0xE6},
                      ColourCase{"Extremes", {15, 0, 3, 15, 0}, 0x0F, 0xFF}),
    [](const auto& info) { return std::string(info.param.name); });

// Each cell its own colours: cell (column c, row r) holds background 1 = c mod 16, bitmap 1 =
// r mod 16, background 2 = (c + r) mod 16, bitmap 2 = 15 - c mod 16, and its byte (bitmap
// colour in the high nibble) goes to screen column c + 8 of row r in both screens of its bank.
TEST(MemoryImage, ColoursPerCellFillEachCellsOwnByte) {
  CellColours cells;
  for (int r = 0; r < 25; ++r) {
    for (int c = 0; c < 24; ++c) {
      cells[r * 24 + c] = {static_cast<std::uint8_t>(c % 16), static_cast<std::uint8_t>(r % 16),
                           static_cast<std::uint8_t>((c + r) % 16),
                           static_cast<std::uint8_t>(15 - c % 16)};
    }
  }
  C64Memory image;
  image.fill(0x5A);
  FillScreenColours(cells, image);
  for (const std::size_t screen : {Screen0Offset, Screen1Offset}) {
    for (int row = 0; row < 25; ++row) {
      for (int column = 0; column < 40; ++column) {
        const int c = column - 8;
        const bool picture = c >= 0 && c < 24;
        const std::size_t at = screen + row * 40 + column;
        ASSERT_EQ(image[FirstFrameBank + at], picture ? (row % 16) << 4 | c % 16 : 0) << at;
        ASSERT_EQ(image[SecondFrameBank + at], picture ? (15 - c % 16) << 4 | (c + row) % 16 : 0)
            << at;
      }
    }
  }
  // A few by hand: cell (5, 2) at screen byte 2 * 40 + 13, the last cell (23, 24) at 991.
  EXPECT_EQ(image[FirstFrameBank + 93], 0x25);
  EXPECT_EQ(image[SecondFrameBank + 93], 0xA7);
  EXPECT_EQ(image[FirstFrameBank + 0x0400 + 93], 0x25);
  EXPECT_EQ(image[FirstFrameBank + 991], 0x87);
  EXPECT_EQ(image[SecondFrameBank + 0x0400 + 991], 0x8F);
  for (std::size_t offset = 0x03E8; offset < 0x0400; ++offset) {
    ASSERT_EQ(image[offset], 0);
    ASSERT_EQ(image[SecondFrameBank + 0x0400 + offset], 0);
  }
  EXPECT_EQ(image[FirstFrameBank + 0x0800], 0x5A);
  EXPECT_EQ(image[SecondFrameBank + 0x3FFF], 0x5A);
}

TEST(MemoryImage, NoConversionYetGivesOnlyColourBytes) {
  const LayerPlanes bits{};
  C64Memory image;
  image.fill(0xFF);
  BuildMemoryImage(bits, image);
  FillScreenColours(DefaultColourRoles, image);

  int first = 0;
  int second = 0;
  for (std::size_t i = 0; i < image.size(); ++i) {
    if (image[i] == 0) continue;
    const bool inFirst = i < SecondFrameBank;
    ASSERT_EQ(image[i], inFirst ? 0x20 : 0x70) << "offset " << i;
    (inFirst ? first : second)++;
  }
  EXPECT_EQ(first, 2 * 25 * 24);
  EXPECT_EQ(second, 2 * 25 * 24);
}

}  // namespace
}  // namespace vantrel
