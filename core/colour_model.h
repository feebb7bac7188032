// What the colours of a conversion are: which measurement of the C64's sixteen colours, and how
// the eye mixes the two frames' colours at a pixel. The palettes' values and the mix rules are in
// colour/ (palettes.h, mix_colours.h).
#pragma once

#include <cstdint>

namespace vantrel {

// The palettes, in the order the front ends list them. Pepto's are the program's own sixteen
// colours (C64Palette); the others are those of the C64 palette files VICE ships.
enum class PaletteId : std::uint8_t {
  Pepto,
  Colodore,
  CommunityColors,
  Vice,
  C64hq,
  Deekay,
  Ptoing,
  Pixcen,
  Cjam,
  Godot,
  Frodo,
  Ccs64,
  Pc64,
};
inline constexpr int PaletteCount = 13;

// How the two frames' colours of a pixel mix: Average, each sRGB byte (a + b) / 2 rounded down;
// Light, as a screen alternating them shows them, the mean of their light.
enum class MixRule : std::uint8_t { Average, Light };
inline constexpr int MixRuleCount = 2;

struct ColourModel {
  PaletteId palette = PaletteId::Pepto;
  MixRule mix = MixRule::Average;

  bool operator==(const ColourModel&) const = default;
};

// The program's own colours, mixed as their bytes' average.
inline constexpr ColourModel DefaultColourModel{};

}  // namespace vantrel
