// The palettes a conversion can be made in: the program's own sixteen colours (Pepto's
// measurement, C64Palette) and the other C64 palettes VICE ships, each with the name a user
// types, the caption a window lists and VICE's file of the same colours.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string_view>

#include "core/colour_model.h"
#include "core/types.h"

namespace vantrel {

struct PaletteData {
  std::string_view name;      // "colodore", as --palette takes it
  std::string_view caption;   // "Colodore"
  std::string_view viceFile;  // "colodore.vpl", VICE's C64 palette file (-VICIIpalette)
  std::array<TColor, 16> colours;
};

// Every palette, in PaletteId order.
std::span<const PaletteData> AllPalettes();
const PaletteData& PaletteOf(PaletteId id);
inline const std::array<TColor, 16>& PaletteColours(PaletteId id) { return PaletteOf(id).colours; }
// The palettes' names in PaletteId order, for the option table and the project files.
const std::array<std::string_view, PaletteCount>& PaletteNames();
// The palette a user's word names; nothing for any other word.
std::optional<PaletteId> PaletteNamed(std::string_view name);

// The mix rules' words, in MixRule order: the command line's and the window's.
inline constexpr std::array<std::string_view, MixRuleCount> MixRuleNames = {"average", "light"};
inline constexpr std::array<std::string_view, MixRuleCount> MixRuleCaptions = {
    "Average of the Bytes", "As a Screen Shows It"};

}  // namespace vantrel
