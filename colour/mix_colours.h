// The nine colours the eye sees when two interlaced frames alternate.
#pragma once

#include <array>
#include <utility>

#include "core/cell_colours.h"
#include "core/converter_state.h"
#include "core/types.h"

namespace vantrel {

// Per channel (a + b) / 2 rounded down; no carry between the bytes.
constexpr TColor MixColours(TColor a, TColor b) {
  return MakeTColor((RedOf(a) + RedOf(b)) / 2u, (GreenOf(a) + GreenOf(b)) / 2u,
                    (BlueOf(a) + BlueOf(b)) / 2u);
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
// the layers of MixCode k: the one place the mix colours are made, for the roles and for every
// cell.
MixSlots BuildMixTable(const FrameColours& first, const FrameColours& second);

// All nine slots at once, for callers that have no swatches to colour on the way.
MixSlots BuildMixTable(const std::array<TColor, RoleCount>& roleColours);

// The palette's colour of an index (its low four bits).
TColor PaletteColour(int index);

// The five role colours of a set of palette indices.
std::array<TColor, RoleCount> RoleColours(const ColourRoleSet& roles);

// The colours each frame shows in one cell: its own background and bitmap colour, and the
// sprite colour of the roles.
std::pair<FrameColours, FrameColours> CellFrameColours(const CellColourSet& cell,
                                                       const ColourRoleSet& roles);

// The nine mixes of every cell.
void BuildCellMixTables(const CellColours& cells, const ColourRoleSet& roles, CellMixSlots& tables);

// The roles of the state and, from them, its nine mix colours; a cell table stays, its mixes
// following the new sprite colours. Throws std::logic_error for an index that is not a
// palette colour, changing nothing.
void SetColourRoles(ConverterState& state, const ColourRoleSet& roles);

// Colours per cell: the roles (the sprite colours, and the roles the cells were chosen from)
// and every cell's colours, with all the mixes. Throws std::logic_error for an index that is
// not a palette colour, changing nothing.
void SetCellColours(ConverterState& state, const ColourRoleSet& roles, const CellColours& cells);

// Back to the roles alone: every cell as the roles colour it.
void ClearCellColours(ConverterState& state);

}  // namespace vantrel
