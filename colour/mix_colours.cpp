// The nine mix colours built from the role colours, and the roles set into the state.
#include "colour/mix_colours.h"

#include <stdexcept>
#include <string>

#include "colour/palette.h"

namespace vantrel {

MixSlots BuildMixTable(const FrameColours& first, const FrameColours& second) {
  MixSlots table{};
  for (int code = 1; code <= 9; ++code) {
    const auto [one, two] = MixSlotLayers(code);
    table[code - 1] = MixColours(first[one], second[two]);
  }
  return table;
}

MixSlots BuildMixTable(const std::array<TColor, RoleCount>& roleColours) {
  return BuildMixTable(FrameColours{roleColours[0], roleColours[1], roleColours[2]},
                       FrameColours{roleColours[0], roleColours[3], roleColours[4]});
}

TColor PaletteColour(int index) { return C64Palette[index & 0x0F]; }

std::array<TColor, RoleCount> RoleColours(const ColourRoleSet& roles) {
  std::array<TColor, RoleCount> colours{};
  for (int role = 0; role < RoleCount; ++role) colours[role] = PaletteColour(roles[role]);
  return colours;
}

std::pair<FrameColours, FrameColours> CellFrameColours(const CellColourSet& cell,
                                                       const ColourRoleSet& roles) {
  return {{PaletteColour(cell.Background1Colour), PaletteColour(cell.Bitmap1Colour),
           PaletteColour(roles.Sprite1Colour)},
          {PaletteColour(cell.Background2Colour), PaletteColour(cell.Bitmap2Colour),
           PaletteColour(roles.Sprite2Colour)}};
}

void BuildCellMixTables(const CellColours& cells, const ColourRoleSet& roles,
                        CellMixSlots& tables) {
  for (int cell = 0; cell < CellCount; ++cell) {
    const auto [first, second] = CellFrameColours(cells[cell], roles);
    tables[cell] = BuildMixTable(first, second);
  }
}

namespace {

void CheckRoles(const ColourRoleSet& roles, const char* caller) {
  for (int role = 0; role < RoleCount; ++role) {
    if (roles[role] < 0 || roles[role] > 15) {
      throw std::logic_error(std::string(caller) + ": colour role outside the palette");
    }
  }
}

}  // namespace

void SetColourRoles(ConverterState& state, const ColourRoleSet& roles) {
  CheckRoles(roles, "SetColourRoles");
  state.ColourRoles = roles;
  state.MixTable = BuildMixTable(RoleColours(roles));
  if (state.CellTable) BuildCellMixTables(*state.CellTable, roles, state.CellMixTables);
}

void SetCellColours(ConverterState& state, const ColourRoleSet& roles, const CellColours& cells) {
  CheckRoles(roles, "SetCellColours");
  for (const CellColourSet& cell : cells) {
    if (cell.Background1Colour > 15 || cell.Bitmap1Colour > 15 || cell.Background2Colour > 15 ||
        cell.Bitmap2Colour > 15) {
      throw std::logic_error("SetCellColours: cell colour outside the palette");
    }
  }
  state.CellTable = cells;
  SetColourRoles(state, roles);
}

void ClearCellColours(ConverterState& state) { state.CellTable.reset(); }

}  // namespace vantrel
