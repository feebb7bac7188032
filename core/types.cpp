// The roles read and written by index, checked against the role count.
#include "core/types.h"

namespace vantrel {

std::int32_t& ColourRoleSet::operator[](int role) {
  switch (role) {
    case 0:
      return BackgroundColour;
    case 1:
      return Bitmap1Colour;
    case 2:
      return Sprite1Colour;
    case 3:
      return Bitmap2Colour;
    default:
      return Sprite2Colour;
  }
}

std::int32_t ColourRoleSet::operator[](int role) const {
  return const_cast<ColourRoleSet&>(*this)[role];
}

}  // namespace vantrel
