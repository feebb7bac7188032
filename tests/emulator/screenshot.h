// A VICE screenshot read back as C64 colour numbers.
#pragma once

#include <string>
#include <vector>

namespace vantrel::emulator {

// 384 x 272 with the default borders: screen pixel (x, y) of the 320 x 200 display is at
// (32 + x, 35 + y).
inline constexpr int ShotWidth = 384;
inline constexpr int ShotHeight = 272;
inline constexpr int ShotScreenLeft = 32;
inline constexpr int ShotScreenTop = 35;

struct Screenshot {
  int width = 0;
  int height = 0;
  // C64 colour number of every pixel, row-major; -1 where the colour is none of the sixteen.
  std::vector<int> colours;

  int At(int x, int y) const { return colours[y * width + x]; }
};

// Reads a PNG and maps each pixel to the C64Palette entry of exactly that colour. Throws
// std::runtime_error when the file cannot be read.
Screenshot ReadScreenshot(const std::string& fileName);

}  // namespace vantrel::emulator
