// The sixteen fixed colours of the C64, indexed by the VIC-II colour code.
#pragma once

#include <array>
#include <string_view>

#include "core/types.h"

namespace vantrel {

inline constexpr std::array<TColor, 16> C64Palette = {
    0x000000, 0xFFFFFF, 0x2B3768, 0xB2A470, 0x863D6F, 0x438D58, 0x792835, 0x6FC7B8,
    0x254F6F, 0x003943, 0x59679A, 0x444444, 0x6C6C6C, 0x84D29A, 0xB55E6C, 0x959595,
};

// Names as a user reads them, lower case with hyphens ("light-red").
inline constexpr std::array<std::string_view, 16> C64ColourNames = {
    "black", "white",       "red",        "cyan",       "purple",    "green",
    "blue",  "yellow",      "orange",     "brown",      "light-red", "dark-grey",
    "grey",  "light-green", "light-blue", "light-grey",
};

// The roles' colours when the program starts and after "Default".
inline constexpr ColourRoleSet DefaultColourRoles{0, 2, 3, 7, 10};

}  // namespace vantrel
