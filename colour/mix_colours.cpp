// The nine mix colours built from the role colours, and the roles set into the state.
#include "colour/mix_colours.h"

#include <stdexcept>

#include "colour/palette.h"

namespace vantrel {

MixSlots BuildMixTable(const std::array<TColor, RoleCount>& roleColours) {
  MixSlots table{};
  for (int code = 1; code <= 9; ++code) table[code - 1] = MixSlotColour(code, roleColours);
  return table;
}

std::array<TColor, RoleCount> RoleColours(const ColourRoleSet& roles) {
  std::array<TColor, RoleCount> colours{};
  for (int role = 0; role < RoleCount; ++role) colours[role] = C64Palette[roles[role] & 0x0F];
  return colours;
}

void SetColourRoles(ConverterState& state, const ColourRoleSet& roles) {
  for (int role = 0; role < RoleCount; ++role) {
    if (roles[role] < 0 || roles[role] > 15) {
      throw std::logic_error("SetColourRoles: colour role outside the palette");
    }
  }
  state.ColourRoles = roles;
  state.MixTable = BuildMixTable(RoleColours(roles));
}

}  // namespace vantrel
