// Tests of the mix table against the palette, the mix as light, and the palettes against VICE's.
#include "colour/mix_colours.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "colour/palette.h"
#include "colour/palettes.h"
#include "support/vice_palettes.h"

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

// Worked out by hand from the sRGB curve: black and white alternating give half of white's
// light, 1.055 * 0.5^(1 / 2.4) - 0.055 = 0.7354 of the scale, 187.5 levels, so 188 (the bytes'
// average is 127); 0 and 128: 128 is 0.2159 of white's light, half of it is 0.1079, encoded
// 0.3623, 92.4 levels. The light mix is never darker than the bytes' average, and a level
// mixed with itself is itself.
TEST(MixColours, LightMixesTheLightOfEachChannel) {
  struct Case {
    TColor a, b, light, average;
  } cases[] = {
      {0x000000, 0xFFFFFF, MakeTColor(188, 188, 188), 0x7F7F7F},
      {MakeTColor(0, 128, 0), MakeTColor(128, 0, 128), MakeTColor(92, 92, 92),
       MakeTColor(64, 64, 64)},
      // Red and light red, and dark and light grey, of the program's palette.
      {C64Palette[2], C64Palette[10], MakeTColor(132, 83, 70), MakeTColor(129, 79, 66)},
      {C64Palette[11], C64Palette[15], MakeTColor(117, 117, 117), MakeTColor(108, 108, 108)},
      // Near black the curve is a straight line: light and bytes nearly agree.
      {MakeTColor(10, 1, 0), MakeTColor(20, 3, 0), MakeTColor(16, 2, 0), MakeTColor(15, 2, 0)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MixColours(c.a, c.b, MixRule::Light), c.light) << std::hex << c.a << " + " << c.b;
    EXPECT_EQ(MixColours(c.b, c.a, MixRule::Light), c.light) << "mixing is symmetric";
    EXPECT_EQ(MixColours(c.a, c.b, MixRule::Average), c.average);
  }
  for (int a = 0; a < 256; ++a) {
    EXPECT_EQ(LightMixLevel(a, a), a);
    for (int b = a + 1; b < 256; ++b) {
      ASSERT_GE(LightMixLevel(a, b), (a + b) / 2) << a << " + " << b;
    }
  }
}

// Every palette holds the colours of VICE's file of its name; the program's own are VICE's
// pepto-pal.vpl.
TEST(Palettes, HoldTheColoursOfVicesPaletteFiles) {
  EXPECT_EQ(PaletteColours(PaletteId::Pepto), C64Palette);
  if (!std::filesystem::exists(testsupport::VicePaletteFolder)) {
    GTEST_SKIP() << "VICE's palette files are not installed";
  }
  ASSERT_EQ(AllPalettes().size(), static_cast<std::size_t>(PaletteCount));
  for (int id = 0; id < PaletteCount; ++id) {
    const PaletteData& palette = PaletteOf(static_cast<PaletteId>(id));
    SCOPED_TRACE(palette.viceFile);
    const auto vice = testsupport::ReadVicePalette(std::string(palette.viceFile));
    ASSERT_TRUE(vice.has_value()) << "no such file in VICE's palettes";
    EXPECT_EQ(palette.colours, *vice);
    EXPECT_EQ(PaletteNamed(palette.name), static_cast<PaletteId>(id));
  }
  EXPECT_FALSE(PaletteNamed("Colodore").has_value()) << "names are typed as VICE spells them";
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
