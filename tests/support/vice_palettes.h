// VICE's C64 palette files, as Debian's vice package installs them, for comparing the palettes
// the program carries with them.
#pragma once

#include <array>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

#include "core/types.h"

namespace vantrel::testsupport {

inline const std::filesystem::path VicePaletteFolder = "/usr/share/vice/C64";

// The sixteen colours of VICE's palette file `name` ("colodore.vpl"): every line that is not a
// comment holds red, green and blue in hexadecimal (any column after them is no colour).
// Nothing when the file is not installed; std::runtime_error for one that is not sixteen colours.
inline std::optional<std::array<TColor, 16>> ReadVicePalette(const std::string& name) {
  std::ifstream file(VicePaletteFolder / name);
  if (!file) return std::nullopt;
  std::array<TColor, 16> colours{};
  int count = 0;
  for (std::string line; std::getline(file, line);) {
    std::istringstream fields(line.substr(0, line.find('#')));
    unsigned red = 0, green = 0, blue = 0;
    if (!(fields >> std::hex >> red >> green >> blue)) continue;
    if (count == 16 || red > 255 || green > 255 || blue > 255) {
      throw std::runtime_error(name + " is not a palette of sixteen colours");
    }
    colours[count++] = MakeTColor(red, green, blue);
  }
  if (count != 16) throw std::runtime_error(name + " is not a palette of sixteen colours");
  return colours;
}

}  // namespace vantrel::testsupport
