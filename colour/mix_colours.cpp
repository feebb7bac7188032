// The nine mix colours built from the role colours in a colour model, and the roles and the
// model set into the state.
#include "colour/mix_colours.h"

#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>

#include "colour/palettes.h"
#include "core/srgb.h"

namespace vantrel {

namespace {

// Every pair of levels mixed as light, made once: 64 KiB.
using LightTable = std::array<std::array<std::uint8_t, 256>, 256>;

const LightTable& LightLevels() {
  static const auto table = [] {
    auto levels = std::make_unique<LightTable>();
    std::array<double, 256> linear{};
    for (int v = 0; v < 256; ++v) linear[v] = SrgbDecode(v / 255.0);
    for (int a = 0; a < 256; ++a) {
      for (int b = 0; b < 256; ++b) {
        const double mixed = SrgbEncode((linear[a] + linear[b]) / 2);
        (*levels)[a][b] = static_cast<std::uint8_t>(std::lround(255 * mixed));
      }
    }
    return levels;
  }();
  return *table;
}

}  // namespace

std::uint8_t LightMixLevel(std::uint8_t a, std::uint8_t b) { return LightLevels()[a][b]; }

TColor LightMixColours(TColor a, TColor b) {
  const LightTable& levels = LightLevels();
  return MakeTColor(levels[RedOf(a)][RedOf(b)], levels[GreenOf(a)][GreenOf(b)],
                    levels[BlueOf(a)][BlueOf(b)]);
}

MixSlots BuildMixTable(const FrameColours& first, const FrameColours& second,
                       const ColourModel& model) {
  MixSlots table{};
  for (int code = 1; code <= 9; ++code) {
    const auto [one, two] = MixSlotLayers(code);
    table[code - 1] = MixColours(first[one], second[two], model.mix);
  }
  return table;
}

MixSlots BuildMixTable(const std::array<TColor, RoleCount>& roleColours, const ColourModel& model) {
  return BuildMixTable(FrameColours{roleColours[0], roleColours[1], roleColours[2]},
                       FrameColours{roleColours[0], roleColours[3], roleColours[4]}, model);
}

TColor PaletteColour(int index, const ColourModel& model) {
  return PaletteColours(model.palette)[index & 0x0F];
}

std::array<TColor, RoleCount> RoleColours(const ColourRoleSet& roles, const ColourModel& model) {
  std::array<TColor, RoleCount> colours{};
  for (int role = 0; role < RoleCount; ++role) colours[role] = PaletteColour(roles[role], model);
  return colours;
}

std::pair<FrameColours, FrameColours> CellFrameColours(const CellColourSet& cell,
                                                       const ColourRoleSet& roles,
                                                       const ColourModel& model) {
  return {{PaletteColour(cell.Background1Colour, model), PaletteColour(cell.Bitmap1Colour, model),
           PaletteColour(roles.Sprite1Colour, model)},
          {PaletteColour(cell.Background2Colour, model), PaletteColour(cell.Bitmap2Colour, model),
           PaletteColour(roles.Sprite2Colour, model)}};
}

void BuildCellMixTables(const CellColours& cells, const ColourRoleSet& roles, CellMixSlots& tables,
                        const ColourModel& model) {
  for (int cell = 0; cell < CellCount; ++cell) {
    const auto [first, second] = CellFrameColours(cells[cell], roles, model);
    tables[cell] = BuildMixTable(first, second, model);
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
  state.MixTable = BuildMixTable(RoleColours(roles, state.Model), state.Model);
  if (state.CellTable) {
    BuildCellMixTables(*state.CellTable, roles, state.CellMixTables, state.Model);
  }
}

void SetColourModel(ConverterState& state, const ColourModel& model) {
  state.Model = model;
  SetColourRoles(state, state.ColourRoles);
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
