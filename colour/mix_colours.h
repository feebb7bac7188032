// The nine colours the eye sees when two interlaced frames alternate, in the colour model's
// palette and mix: the one rule every mix colour, of the roles and of every cell, is made by.
#pragma once

#include <array>
#include <cstdint>
#include <utility>

#include "core/cell_colours.h"
#include "core/colour_model.h"
#include "core/converter_state.h"
#include "core/types.h"

namespace vantrel {

// Per channel (a + b) / 2 rounded down; no carry between the bytes.
constexpr TColor MixColours(TColor a, TColor b) {
  return MakeTColor((RedOf(a) + RedOf(b)) / 2u, (GreenOf(a) + GreenOf(b)) / 2u,
                    (BlueOf(a) + BlueOf(b)) / 2u);
}

// One channel as a screen alternating levels a and b shows it, faster than the eye follows
// (the Talbot-Plateau law): both decoded from sRGB to linear light, averaged, encoded again and
// rounded to the nearest level. Black and white give 188.
std::uint8_t LightMixLevel(std::uint8_t a, std::uint8_t b);
TColor LightMixColours(TColor a, TColor b);

// The mix of two colours by `rule`.
inline TColor MixColours(TColor a, TColor b, MixRule rule) {
  return rule == MixRule::Light ? LightMixColours(a, b) : MixColours(a, b);
}

// Roles shown by frame 1 and frame 2 for MixCode 1..9 (role 0 background, 1 bitmap 1,
// 2 sprite 1, 3 bitmap 2, 4 sprite 2).
inline constexpr std::array<std::pair<int, int>, 9> MixSlotRoles = {{
    {0, 0},
    {1, 0},
    {2, 0},
    {0, 3},
    {0, 4},
    {1, 3},
    {1, 4},
    {2, 3},
    {2, 4},
}};

// Colour of MixCode `code` (1..9) from the five role colours.
constexpr TColor MixSlotColour(int code, const std::array<TColor, RoleCount>& roleColours) {
  const auto [first, second] = MixSlotRoles[code - 1];
  return MixColours(roleColours[first], roleColours[second]);
}

// What one frame shows at a pixel, by the layer set there: background (0), bitmap (1) or
// sprite (2).
using FrameColours = std::array<TColor, 3>;

// The layer each frame shows for MixCode 1..9: MixSlotRoles with frame 2's roles 3 and 4 as
// its layers 1 and 2.
constexpr std::pair<int, int> MixSlotLayers(int code) {
  const auto [first, second] = MixSlotRoles[code - 1];
  return {first, second == 0 ? 0 : second - 2};
}

// The nine mixes of what two frames show, slot k the mix of frame 1's and frame 2's colour in
// the layers of MixCode k, by the model's mix: the one place the mix colours are made, for the
// roles and for every cell. Every function here that takes a model makes its colours in it;
// left out, it is the program's own (DefaultColourModel).
MixSlots BuildMixTable(const FrameColours& first, const FrameColours& second,
                       const ColourModel& model = DefaultColourModel);

// All nine slots at once, for callers that have no swatches to colour on the way.
MixSlots BuildMixTable(const std::array<TColor, RoleCount>& roleColours,
                       const ColourModel& model = DefaultColourModel);

// The model palette's colour of an index (its low four bits).
TColor PaletteColour(int index, const ColourModel& model = DefaultColourModel);

// The five role colours of a set of palette indices.
std::array<TColor, RoleCount> RoleColours(const ColourRoleSet& roles,
                                          const ColourModel& model = DefaultColourModel);

// The colours each frame shows in one cell: its own background and bitmap colour, and the
// sprite colour of the roles.
std::pair<FrameColours, FrameColours> CellFrameColours(
    const CellColourSet& cell, const ColourRoleSet& roles,
    const ColourModel& model = DefaultColourModel);

// The nine mixes of every cell.
void BuildCellMixTables(const CellColours& cells, const ColourRoleSet& roles, CellMixSlots& tables,
                        const ColourModel& model = DefaultColourModel);

// The roles of the state and, from them and the state's model, its nine mix colours; a cell
// table stays, its mixes following the new sprite colours. Throws std::logic_error for an index
// that is not a palette colour, changing nothing.
void SetColourRoles(ConverterState& state, const ColourRoleSet& roles);

// The state's colour model, and every mix colour (the roles', each cell's) made again in it.
void SetColourModel(ConverterState& state, const ColourModel& model);

// Colours per cell: the roles (the sprite colours, and the roles the cells were chosen from)
// and every cell's colours, with all the mixes. Throws std::logic_error for an index that is
// not a palette colour, changing nothing.
void SetCellColours(ConverterState& state, const ColourRoleSet& roles, const CellColours& cells);

// Back to the roles alone: every cell as the roles colour it.
void ClearCellColours(ConverterState& state);

}  // namespace vantrel
