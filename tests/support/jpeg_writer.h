// Writes small JPEG files for tests with libjpeg's compression side.
#pragma once

#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace testsupport {

struct Rgb {
  unsigned char r, g, b;
};

// A deterministic, photo-like pattern: smooth gradients with some texture.
inline Rgb PatternPixel(int x, int y) {
  return {static_cast<unsigned char>((x * 3 + y) & 0xFF), static_cast<unsigned char>((y * 2 + (x ^ y)) & 0xFF),
          static_cast<unsigned char>((x * y / 7 + 40) & 0xFF)};
}

inline void WriteJpeg(const std::string& path, int width, int height,
                      const std::function<Rgb(int, int)>& pixel = PatternPixel, bool greyscale = false,
                      int quality = 92) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) throw std::runtime_error("cannot write " + path);
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, file);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = greyscale ? 1 : 3;
  cinfo.in_color_space = greyscale ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<unsigned char> row(static_cast<std::size_t>(width) * cinfo.input_components);
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < width; ++x) {
      const Rgb p = pixel(x, y);
      if (greyscale) {
        row[x] = p.g;
      } else {
        row[3 * x] = p.r;
        row[3 * x + 1] = p.g;
        row[3 * x + 2] = p.b;
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::fclose(file);
}

}  // namespace testsupport
