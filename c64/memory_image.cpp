// Layer bits and roles packed into the two VIC-II banks, byte by byte.
#include "c64/memory_image.h"

#include <algorithm>
#include <cstdint>

namespace vantrel {
namespace {

inline constexpr int SpriteHeight = 21;
inline constexpr int SpriteWidth = 24;
inline constexpr int SpriteRowBytes = 512;  // eight blocks of 64 bytes
inline constexpr int SpriteBlockBytes = 64;
inline constexpr int BitmapCellRowBytes = 320;
inline constexpr std::size_t ScreensSize = 0x0800;  // both screens with their pointer areas

// Eight plane bytes, leftmost first, into one image byte, leftmost pixel in bit 7. Only a
// byte of exactly 1 sets its bit.
std::uint8_t PackEightPixels(const std::uint8_t* pixels) {
  std::uint8_t packed = 0;
  for (int i = 0; i < 8; ++i) {
    if (pixels[i] == 1) packed |= static_cast<std::uint8_t>(0x80 >> i);
  }
  return packed;
}

void PackBitmap(const Plane& bits, std::uint8_t* bank) {
  for (int y = 0; y < WindowHeight; ++y) {
    for (int x = 0; x < WindowWidth; x += 8) {
      bank[BitmapByteOffset(x, y)] = PackEightPixels(&bits[y * WindowWidth + x]);
    }
  }
}

void PackSprites(const Plane& bits, std::uint8_t* bank) {
  for (int y = 0; y < WindowHeight; ++y) {
    for (int x = 0; x < WindowWidth; x += 8) {
      bank[SpriteByteOffset(x, y)] = PackEightPixels(&bits[y * WindowWidth + x]);
    }
  }
}

// `colourByte(cell)`: the screen byte of picture cell `cell` (CellOf).
template <typename ColourByte>
void FillBankColours(ColourByte colourByte, std::uint8_t* bank) {
  std::fill_n(bank, ScreensSize, std::uint8_t{0});
  for (int row = 0; row < ScreenRows; ++row) {
    for (int column = PictureFirstColumn; column <= PictureLastColumn; ++column) {
      const std::uint8_t byte =
          colourByte(CellOf((column - PictureFirstColumn) * CellSize, row * CellSize));
      bank[Screen0Offset + row * ScreenColumns + column] = byte;
      bank[Screen1Offset + row * ScreenColumns + column] = byte;
    }
  }
}

}  // namespace

std::size_t BitmapByteOffset(int x, int y) {
  return BitmapOffset + (y / 8) * BitmapCellRowBytes + (x / 8 + PictureFirstColumn) * 8 + y % 8;
}

// Sprite row s covers picture lines 21s..21s+20 (the tenth row only 189..199, so its lines
// 11..20 stay zero); sprite m of a row covers columns 24m..24m+23.
std::size_t SpriteByteOffset(int x, int y) {
  return SpriteBlocksOffset + (y / SpriteHeight) * SpriteRowBytes +
         (x / SpriteWidth) * SpriteBlockBytes + 3 * (y % SpriteHeight) + (x % SpriteWidth) / 8;
}

void BuildMemoryImage(const LayerPlanes& layerBits, C64Memory& image) {
  image.fill(0);
  std::uint8_t* first = image.data() + FirstFrameBank;
  std::uint8_t* second = image.data() + SecondFrameBank;
  PackBitmap(layerBits.Bitmap1Bits, first);
  PackBitmap(layerBits.Bitmap2Bits, second);
  PackSprites(layerBits.Sprite1Bits, first);
  PackSprites(layerBits.Sprite2Bits, second);
}

void FillScreenColours(const ColourRoleSet& roles, C64Memory& image) {
  // Roles are colour numbers 0..15; the byte is what a byte store of the sum would keep.
  const auto colourByte = [&](std::int32_t bitmapColour) {
    return static_cast<std::uint8_t>(bitmapColour * 16 + roles.BackgroundColour);
  };
  const std::uint8_t first = colourByte(roles.Bitmap1Colour);
  const std::uint8_t second = colourByte(roles.Bitmap2Colour);
  FillBankColours([first](int) { return first; }, image.data() + FirstFrameBank);
  FillBankColours([second](int) { return second; }, image.data() + SecondFrameBank);
}

void FillScreenColours(const CellColours& cells, C64Memory& image) {
  const auto byte = [](int bitmap, int background) {
    return static_cast<std::uint8_t>((bitmap & 0x0F) << 4 | (background & 0x0F));
  };
  FillBankColours(
      [&](int cell) { return byte(cells[cell].Bitmap1Colour, cells[cell].Background1Colour); },
      image.data() + FirstFrameBank);
  FillBankColours(
      [&](int cell) { return byte(cells[cell].Bitmap2Colour, cells[cell].Background2Colour); },
      image.data() + SecondFrameBank);
}

}  // namespace vantrel
