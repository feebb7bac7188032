// Small pattern JPEGs of any size for tests, written through the sample helpers.
#pragma once

#include <string>

#include "picture/jpeg_samples.h"

namespace testsupport {

// A deterministic, photo-like pattern: smooth gradients with some texture.
inline void PatternPixel(int x, int y, std::uint8_t* rgb) {
  rgb[0] = static_cast<std::uint8_t>((x * 3 + y) & 0xFF);
  rgb[1] = static_cast<std::uint8_t>((y * 2 + (x ^ y)) & 0xFF);
  rgb[2] = static_cast<std::uint8_t>((x * y / 7 + 40) & 0xFF);
}

inline void WriteJpeg(const std::string& path, int width, int height, bool greyscale = false) {
  jpeg_samples::RawImage image(width, height, greyscale ? 1 : 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t rgb[3];
      PatternPixel(x, y, rgb);
      if (greyscale) {
        image.Pixel(x, y)[0] = rgb[1];
      } else {
        std::copy(rgb, rgb + 3, image.Pixel(x, y));
      }
    }
  }
  jpeg_samples::WriteOptions options;
  options.quality = 92;
  options.input = greyscale ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_samples::WriteJpeg(path, image, options);
}

}  // namespace testsupport
