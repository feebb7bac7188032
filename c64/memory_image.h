// The picture as the C64 shows it: two 16 KiB VIC-II banks, one per interlaced frame. Each
// bank holds two identical screens of colour bytes, 80 sprite blocks and a hires bitmap; the
// 192 x 200 picture covers character columns 8..31 of the 320 x 200 screen.
#pragma once

#include <cstddef>

#include "core/cell_colours.h"
#include "core/types.h"

namespace vantrel {

// Where each bank starts in the image (frame 1 is shown from $4000, frame 2 from $c000).
inline constexpr std::size_t FirstFrameBank = 0x0000;
inline constexpr std::size_t SecondFrameBank = 0x4000;

// Offsets inside a bank.
inline constexpr std::size_t Screen0Offset = 0x0000;
inline constexpr std::size_t Screen1Offset = 0x0400;
inline constexpr std::size_t SpriteBlocksOffset = 0x0800;  // block 32, the first one used
inline constexpr std::size_t BitmapOffset = 0x2000;

inline constexpr int ScreenColumns = 40;
inline constexpr int ScreenRows = 25;
inline constexpr int PictureFirstColumn = 8;  // character columns 8..31 hold the picture
inline constexpr int PictureLastColumn = 31;

// Where pixel (x, y) of the picture lies in a bank: the byte of the hires bitmap, and the
// byte of the sprite block, that hold it (bit 7 - x % 8 of either).
std::size_t BitmapByteOffset(int x, int y);
std::size_t SpriteByteOffset(int x, int y);

// Packs the four layer-bit planes into the bitmaps and sprite blocks of both banks. Every
// other byte of the image becomes zero, the colour bytes included; FillScreenColours follows.
void BuildMemoryImage(const LayerPlanes& layerBits, C64Memory& image);

// Writes the colour bytes of both screens of both banks from the background and bitmap
// colours: bitmap colour in the high nibble, background in the low, in columns 8..31 only.
void FillScreenColours(const ColourRoleSet& roles, C64Memory& image);

// The same with colours per cell: picture cell (column c, row r) is screen byte r * 40 + c + 8
// of both screens, frame 1's colours in the first bank and frame 2's in the second.
void FillScreenColours(const CellColours& cells, C64Memory& image);

}  // namespace vantrel
