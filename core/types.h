// Colour words, picture geometry and the fixed-size planes shared by every stage.
#pragma once

#include <array>
#include <cstdint>

namespace vantrel {

// The window system's colour word: 0x00BBGGRR (red in the low byte).
using TColor = std::uint32_t;
// The picture's colour word: 0x00RRGGBB (in memory: blue, green, red, 0).
using PackedRGB = std::uint32_t;

inline constexpr int WindowWidth = 192;  // converted picture, in pixels
inline constexpr int WindowHeight = 200;
inline constexpr int PixelCount = WindowWidth * WindowHeight;  // 38400

// Swapping red and blue turns a TColor into a PackedRGB and back.
constexpr std::uint32_t SwapRedBlue(std::uint32_t c) {
  return ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}
constexpr PackedRGB ToPackedRGB(TColor c) { return SwapRedBlue(c); }
constexpr TColor ToTColor(PackedRGB p) { return SwapRedBlue(p); }

constexpr std::uint8_t RedOf(TColor c) { return c & 0xFF; }
constexpr std::uint8_t GreenOf(TColor c) { return (c >> 8) & 0xFF; }
constexpr std::uint8_t BlueOf(TColor c) { return (c >> 16) & 0xFF; }
constexpr TColor MakeTColor(unsigned r, unsigned g, unsigned b) { return r | (g << 8) | (b << 16); }
constexpr PackedRGB MakePackedRGB(unsigned r, unsigned g, unsigned b) {
  return (r << 16) | (g << 8) | b;
}

// One byte per picture pixel, index 192 * y + x.
using Plane = std::array<std::uint8_t, PixelCount>;

// The adjusted picture, then the picture with diffused error, finally the chosen mix colours.
struct ColourPlanes {
  Plane red{};
  Plane green{};
  Plane blue{};
};

// Which of the four layers each pixel sets; every byte is 0 or 1.
struct LayerPlanes {
  Plane Bitmap1Bits{};
  Plane Sprite1Bits{};
  Plane Bitmap2Bits{};
  Plane Sprite2Bits{};
};

// Mix codes the user painted over the conversion, pixel by pixel: 0 where nothing is painted.
struct Edits {
  std::array<std::uint8_t, PixelCount> codes{};

  bool Empty() const {
    for (const std::uint8_t code : codes) {
      if (code != 0) return false;
    }
    return true;
  }
  bool operator==(const Edits&) const = default;
};

// A picture in CIELAB sixteenths of a unit (L 0..1600, a and b about -1700..1700), row after
// row: what the low-flicker dithering works in.
struct LabPlanes16 {
  std::array<std::int16_t, PixelCount> L{}, a{}, b{};
};

// The unadjusted crop as PackedRGB words.
using WindowWords = std::array<PackedRGB, PixelCount>;

// The five palette indices the user picked, in role order.
struct ColourRoleSet {
  std::int32_t BackgroundColour = 0;
  std::int32_t Bitmap1Colour = 0;
  std::int32_t Sprite1Colour = 0;
  std::int32_t Bitmap2Colour = 0;
  std::int32_t Sprite2Colour = 0;

  std::int32_t& operator[](int role);
  std::int32_t operator[](int role) const;
  bool operator==(const ColourRoleSet&) const = default;
};

inline constexpr int RoleCount = 5;

// Mix colours of slots 1..9 (MixCode k lives at index k - 1).
using MixSlots = std::array<TColor, 9>;

inline constexpr std::size_t MemoryImageSize = 32768;
inline constexpr std::size_t BankSize = 16384;
inline constexpr std::size_t FileBufferSize = 35840;
using C64Memory = std::array<std::uint8_t, MemoryImageSize>;
using FileBytes = std::array<std::uint8_t, FileBufferSize>;

}  // namespace vantrel
