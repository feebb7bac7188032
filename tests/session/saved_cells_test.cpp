// Saved pictures with colours per cell, through the session: screens another program wrote
// open as the C64 shows them and save again unchanged.
#include <gtest/gtest.h>

#include "c64/saved_picture.h"
#include "colour/mix_colours.h"
#include "colour/palette.h"
#include "session/session.h"
#include "support/random_layers.h"

namespace vantrel {
namespace {

using testsupport::RandomLayers;

std::vector<std::uint8_t> Data(Session& session) {
  const auto bytes = session.Output(OutputKind::Data);
  return {bytes.begin(), bytes.end()};
}

// A cell's colours changed in both screens of each bank open as colours per cell.
TEST(SavedPicture, ScreensWrittenElsewhereOpenWithTheirCellsColours) {
  Session session;
  session.TakeConversion(RandomLayers(7), DefaultColourRoles);
  std::vector<std::uint8_t> data = Data(session);
  // Cell (3, 2), screen byte 2 * 40 + 11: white on blue in frame 1, cyan on black in frame 2.
  for (const std::size_t screen : {0x0000, 0x0400}) {
    data[screen + 91] = 0x16;
    data[0x4000 + screen + 91] = 0x30;
  }
  const SavedPicture picture = ReadSavedPicture(data, "elsewhere");
  ASSERT_TRUE(picture.cells.has_value());
  CellColours expected = UniformCellColours(DefaultColourRoles);
  expected[2 * 24 + 3] = {6, 1, 0, 3};
  EXPECT_EQ(*picture.cells, expected);
  EXPECT_EQ(picture.roles, DefaultColourRoles);
  Session again;
  again.TakeConversion(picture.layers, picture.roles, picture.cells);
  EXPECT_EQ(Data(again), data);
  // The mix a pixel of that cell shows: its frame-1 colour with its frame-2 colour.
  for (int y = 16; y < 24; ++y) {
    for (int x = 24; x < 32; ++x) {
      const auto [first, second] = MixSlotLayers(again.MixCodeAt(x, y));
      const TColor one = C64Palette[first == 0 ? 6 : first == 1 ? 1 : 3];
      const TColor two = C64Palette[second == 0 ? 0 : second == 1 ? 3 : 10];
      ASSERT_EQ(again.Preview().ScanLine(y)[x], ToPackedRGB(MixColours(one, two)));
    }
  }
}

}  // namespace
}  // namespace vantrel
