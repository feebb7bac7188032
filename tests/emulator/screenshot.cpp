// PNG screenshots decoded and mapped to the nearest C64 colour.
#include "screenshot.h"

#include <png.h>

#include <stdexcept>

#include "colour/palette.h"

namespace vantrel::emulator {

Screenshot ReadScreenshot(const std::string& fileName) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, fileName.c_str())) {
    throw std::runtime_error("cannot read " + fileName + ": " + image.message);
  }
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
    png_image_free(&image);
    throw std::runtime_error("cannot decode " + fileName + ": " + image.message);
  }

  Screenshot shot;
  shot.width = static_cast<int>(image.width);
  shot.height = static_cast<int>(image.height);
  shot.colours.assign(static_cast<std::size_t>(shot.width) * shot.height, -1);
  for (std::size_t i = 0; i < shot.colours.size(); ++i) {
    const TColor colour = MakeTColor(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
    for (int index = 0; index < 16; ++index) {
      if (C64Palette[index] == colour) {
        shot.colours[i] = index;
        break;
      }
    }
  }
  return shot;
}

}  // namespace vantrel::emulator
