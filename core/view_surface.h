// The drawing surface of the source view: 192 x 200 pixels of 8 bits per channel.
// Drawing a bitmap clips it to the surface; pixels it does not cover keep their value.
#pragma once

#include <array>
#include <cstdint>

#include "core/bitmap32.h"
#include "core/types.h"

namespace vantrel {

class ViewSurface {
 public:
  // Copies the whole bitmap unscaled with its top-left corner at (x, y).
  void Draw(int x, int y, const Bitmap32& bitmap);

  TColor Pixel(int x, int y) const { return ToTColor(words_[Index(x, y)]); }
  void SetPixel(int x, int y, TColor colour) {
    words_[Index(x, y)] = ToPackedRGB(colour) & 0xFFFFFFu;
  }

  // PackedRGB words, row by row, for painting.
  const std::uint32_t* Words() const { return words_.data(); }

 private:
  static int Index(int x, int y) { return y * WindowWidth + x; }
  std::array<std::uint32_t, PixelCount> words_{};
};

}  // namespace vantrel
