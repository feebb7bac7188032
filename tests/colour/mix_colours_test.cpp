// Tests of the mix table against the palette.
#include "colour/mix_colours.h"

#include <gtest/gtest.h>

#include "colour/palette.h"

namespace vantrel {
namespace {

TEST(MixColours, RoundsEachChannelDownWithoutCarry) {
  struct Case {
    TColor a, b, expected;
  } cases[] = {
      {MakeTColor(1, 0, 0), MakeTColor(2, 0, 0), MakeTColor(1, 0, 0)},
      {MakeTColor(0, 255, 0), MakeTColor(0, 254, 0), MakeTColor(0, 254, 0)},
      {MakeTColor(0, 0, 104), MakeTColor(0, 0, 154), MakeTColor(0, 0, 129)},
      // A carry out of red or green must not leak into the next byte.
      {MakeTColor(255, 255, 255), MakeTColor(255, 255, 255), 0xFFFFFF},
      {MakeTColor(1, 1, 1), MakeTColor(0, 0, 0), 0x000000},
      {0x000000, 0xFFFFFF, 0x7F7F7F},
      {C64Palette[2], C64Palette[10], MakeTColor(129, 79, 66)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MixColours(c.a, c.b), c.expected) << std::hex << c.a << " + " << c.b;
    EXPECT_EQ(MixColours(c.b, c.a), c.expected) << "mixing is symmetric";
  }
  for (TColor colour : C64Palette) EXPECT_EQ(MixColours(colour, colour), colour);
}

TEST(MixColours, DefaultRolesGiveTheDocumentedTable) {
  const MixSlots expected = {0x000000, 0x151B34, 0x595238, 0x37635C, 0x2C334D,
                             0x4D7F90, 0x424F81, 0x90B594, 0x858585};
  EXPECT_EQ(BuildMixTable(RoleColours(DefaultColourRoles)), expected);
}

TEST(MixColours, SlotsFollowTheirTwoRoles) {
  // Bitmap 1 and bitmap 2 both white: slot 6 is white; slot 1 is always the background.
  const ColourRoleSet roles{6, 1, 3, 1, 10};
  const MixSlots table = BuildMixTable(RoleColours(roles));
  EXPECT_EQ(table[6 - 1], 0xFFFFFFu);
  EXPECT_EQ(table[1 - 1], C64Palette[6]);

  // Changing sprite 2 alone can only change slots 5, 7 and 9.
  ColourRoleSet changed = roles;
  changed.Sprite2Colour = 8;
  const MixSlots after = BuildMixTable(RoleColours(changed));
  for (int code = 1; code <= 9; ++code) {
    const bool involvesSprite2 = code == 5 || code == 7 || code == 9;
    EXPECT_EQ(after[code - 1] != table[code - 1], involvesSprite2) << "slot " << code;
  }
}

}  // namespace
}  // namespace vantrel
