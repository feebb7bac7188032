// The nine colours the eye sees when two interlaced frames alternate.
#pragma once

#include <array>
#include <utility>

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

// All nine slots at once, for callers that have no swatches to colour on the way.
MixSlots BuildMixTable(const std::array<TColor, RoleCount>& roleColours);

// The five role colours of a set of palette indices.
std::array<TColor, RoleCount> RoleColours(const ColourRoleSet& roles);

// The roles of the state and, from them, its nine mix colours. Throws std::logic_error for
// an index that is not a palette colour, changing nothing.
void SetColourRoles(ConverterState& state, const ColourRoleSet& roles);

}  // namespace vantrel
