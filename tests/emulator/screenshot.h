// A VICE screenshot read back as C64 colour numbers.
#pragma once

#include <string>
#include <vector>

namespace vantrel::emulator {

// 384 pixels wide with the default borders on every model: screen x of the 320 x 200 display
// is at 32 + x. The height and the row of screen line 0 depend on the model (ViceModel).
inline constexpr int ShotWidth = 384;
inline constexpr int ShotScreenLeft = 32;

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
