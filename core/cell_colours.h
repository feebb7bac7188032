// Colours per cell: in hires bitmap mode each 8 x 8 cell takes its background and bitmap colour
// from its own screen byte, in each frame. The roles are the case where every cell holds
// (BackgroundColour, Bitmap1Colour) in frame 1 and (BackgroundColour, Bitmap2Colour) in
// frame 2; the sprite colours stay one per frame (the roles' Sprite1Colour and Sprite2Colour).
#pragma once

#include <array>
#include <cstdint>

#include "core/types.h"

namespace vantrel {

inline constexpr int CellSize = 8;
inline constexpr int CellColumns = WindowWidth / CellSize;  // 24
inline constexpr int CellRows = WindowHeight / CellSize;    // 25
inline constexpr int CellCount = CellColumns * CellRows;    // 600

// The cell of picture pixel (x, y), row after row.
constexpr int CellOf(int x, int y) { return (y / CellSize) * CellColumns + x / CellSize; }

// The four palette indices (0..15) of one cell: its background and bitmap colour in each frame.
struct CellColourSet {
  std::uint8_t Background1Colour = 0;
  std::uint8_t Bitmap1Colour = 0;
  std::uint8_t Background2Colour = 0;
  std::uint8_t Bitmap2Colour = 0;

  bool operator==(const CellColourSet&) const = default;
};

// Every picture cell's colours, row after row (index CellOf).
using CellColours = std::array<CellColourSet, CellCount>;

// The cells as the roles colour them.
constexpr CellColourSet CellColoursOfRoles(const ColourRoleSet& roles) {
  return {static_cast<std::uint8_t>(roles.BackgroundColour & 0x0F),
          static_cast<std::uint8_t>(roles.Bitmap1Colour & 0x0F),
          static_cast<std::uint8_t>(roles.BackgroundColour & 0x0F),
          static_cast<std::uint8_t>(roles.Bitmap2Colour & 0x0F)};
}
inline CellColours UniformCellColours(const ColourRoleSet& roles) {
  CellColours cells;
  cells.fill(CellColoursOfRoles(roles));
  return cells;
}

// The nine mix colours of every cell, slot 1 first (as MixSlots).
using CellMixSlots = std::array<MixSlots, CellCount>;

}  // namespace vantrel
