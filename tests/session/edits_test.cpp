// Pixel edits lie over the conversion: they show at once, stay when the picture is converted
// again, go into every output, and taking them away gives the conversion back.
#include <gtest/gtest.h>

#include "c64/saved_picture.h"
#include "colour/mix_colours.h"
#include "colour/palette.h"
#include "convert/conversion.h"
#include "session/session.h"

namespace vantrel {
namespace {

struct Paint {
  int x, y, code;
};

TEST(Edits, LieOverTheConversionAndStayWhenItIsMadeAgain) {
  Session session;
  session.ConvertFile(VANTREL_TEST_DATA "/astronaut.jpg", {});
  const LayerPlanes converted = session.Layers();
  const Paint paints[] = {{0, 0, 5}, {10, 10, 9}, {191, 199, 1}, {100, 57, 3}, {100, 58, 8}};
  for (const Paint& p : paints) session.PaintPixel(p.x, p.y, p.code);

  const auto expectPainted = [&](const char* when) {
    SCOPED_TRACE(when);
    for (const Paint& p : paints) {
      EXPECT_EQ(session.MixCodeAt(p.x, p.y), p.code) << p.x << "," << p.y;
      EXPECT_EQ(session.Preview().ScanLine(p.y)[p.x],
                ToPackedRGB(session.MixColours()[p.code - 1]));
    }
  };
  expectPainted("painted");
  // Nothing else moved.
  int different = 0;
  for (int i = 0; i < PixelCount; ++i) {
    different += MixCodeShown(session.Layers(), i) != MixCodeShown(converted, i);
  }
  EXPECT_LE(different, 5);

  // Converted again with other colours and dithering: the paint stays on top.
  session.SetColourRoles({6, 1, 14, 3, 5});
  expectPainted("new colours");
  session.Reconvert({10, 0, -10, Dithering::None});
  expectPainted("converted again");
  const LayerPlanes under = session.State().ConvertedLayers;

  // In the files too: the data file read back shows the paint.
  const auto data = session.Output(OutputKind::Data);
  const SavedPicture saved = ReadSavedPicture({data.begin(), data.end()}, "data");
  for (const Paint& p : paints) {
    EXPECT_EQ(MixCodeShown(saved.layers, p.y * WindowWidth + p.x), p.code);
  }

  // Taking the paint away gives the conversion back, exactly.
  session.SetEdits({});
  EXPECT_EQ(session.Layers().Bitmap1Bits, under.Bitmap1Bits);
  EXPECT_EQ(session.Layers().Sprite1Bits, under.Sprite1Bits);
  EXPECT_EQ(session.Layers().Bitmap2Bits, under.Bitmap2Bits);
  EXPECT_EQ(session.Layers().Sprite2Bits, under.Sprite2Bits);
  Session fresh;
  ConversionSettings settings;
  settings.roles = {6, 1, 14, 3, 5};
  settings.adjustment = {10, 0, -10, Dithering::None};
  fresh.ConvertFile(VANTREL_TEST_DATA "/astronaut.jpg", settings);
  EXPECT_TRUE(std::equal(session.Preview().Words(), session.Preview().Words() + 256 * 200,
                         fresh.Preview().Words()));

  EXPECT_THROW(session.PaintPixel(192, 0, 1), std::logic_error);
  EXPECT_THROW(session.PaintPixel(0, 0, 10), std::logic_error);
}

// Each frame alone shows one role's palette colour per pixel (its cell's own background and
// bitmap colour, with colours per cell) in the palette chosen; alternating, the two make the
// preview's mix colour by the mix chosen, paint included. A painted pixel shows the colours of
// its code in its cell.
TEST(Edits, TheTwoFramesMixIntoThePreview) {
  CellColours cells;
  for (int i = 0; i < CellCount; ++i) {
    cells[i] = {static_cast<std::uint8_t>(i % 16), static_cast<std::uint8_t>((i / 3) % 16),
                static_cast<std::uint8_t>((i / 7) % 16), static_cast<std::uint8_t>((i + 5) % 16)};
  }
  const struct {
    bool perCell;
    ColourModel model;
  } cases[] = {
      {false, DefaultColourModel},
      {true, DefaultColourModel},
      {false, {PaletteId::Colodore, MixRule::Average}},
      {false, {PaletteId::Vice, MixRule::Light}},
      {true, {PaletteId::Deekay, MixRule::Light}},
  };
  for (const auto& [perCell, model] : cases) {
    SCOPED_TRACE(perCell ? "colours per cell" : "roles");
    SCOPED_TRACE(std::string(PaletteOf(model.palette).name) + ", " +
                 std::string(MixRuleNames[static_cast<int>(model.mix)]));
    Session session;
    ConversionSettings settings;
    settings.roles = {0, 2, 7, 6, 1};  // five different colours, so every role is told apart
    settings.model = model;
    if (perCell) settings.cells = cells;
    session.ConvertFile(VANTREL_TEST_DATA "/astronaut.jpg", settings);
    EXPECT_EQ(session.CellTable().has_value(), perCell);
    for (int code = 1; code <= 9; ++code) session.PaintPixel(code * 3, 5, code);
    const std::vector<PackedRGB> frame1 = session.FramePicture(1);
    const std::vector<PackedRGB> frame2 = session.FramePicture(2);
    ASSERT_EQ(frame1.size(), static_cast<std::size_t>(PixelCount));
    int differing = 0;
    for (int y = 0; y < WindowHeight; ++y) {
      for (int x = 0; x < WindowWidth; ++x) {
        const int i = y * WindowWidth + x;
        const TColor mix = MixColours(ToTColor(frame1[i]), ToTColor(frame2[i]), model.mix);
        ASSERT_EQ(mix, ToTColor(session.Preview().ScanLine(y)[x])) << x << "," << y;
        ASSERT_EQ(mix, session.CellMixColours(x, y)[session.MixCodeAt(x, y) - 1]);
        differing += frame1[i] != frame2[i];
      }
    }
    EXPECT_GT(differing, 1000) << "the frames are not the same picture";
    for (int code = 1; code <= 9; ++code) {
      const auto [first, second] = MixSlotRoles[code - 1];
      const int x = code * 3, i = 5 * WindowWidth + x;
      const CellColourSet own = perCell ? cells[x / 8] : CellColoursOfRoles(settings.roles);
      const int frame1Colours[5] = {own.Background1Colour, own.Bitmap1Colour, 7, 0, 0};
      const int frame2Colours[5] = {own.Background2Colour, 0, 0, own.Bitmap2Colour, 1};
      const std::array<TColor, 16>& palette = PaletteColours(model.palette);
      EXPECT_EQ(frame1[i], ToPackedRGB(palette[frame1Colours[first]])) << code;
      EXPECT_EQ(frame2[i], ToPackedRGB(palette[frame2Colours[second]])) << code;
    }
    EXPECT_THROW(session.FramePicture(3), std::logic_error);
  }
}

// Asked for colours per cell, a conversion searches them from the roles and saves them in its
// screens; a palette pick then goes back to the roles for every cell.
TEST(Edits, ColoursPerCellAskedForAreFoundSavedAndGivenUpForRoles) {
  Session session;
  ConversionSettings settings;
  settings.perCell = ColourGoal::Faithful;
  settings.adjustment.dithering = Dithering::None;
  session.ConvertFile(VANTREL_TEST_DATA "/astronaut.jpg", settings);
  ASSERT_TRUE(session.CellTable().has_value());
  const CellColours cells = *session.CellTable();
  // Without colours given, the search started from the roles Auto Colors finds for the goal:
  // the background and bitmap roles shown beside the cells are theirs.
  Session global;
  global.OpenFile(VANTREL_TEST_DATA "/astronaut.jpg");
  global.ReadSourceWindow(0, 0);
  global.Reconvert({0, 0, 0, Dithering::None});
  const std::optional<ColourRoleSet> found =
      global.FindColourRoles(Dithering::None, ColourGoal::Faithful);
  ASSERT_TRUE(found);
  EXPECT_EQ(session.Roles().BackgroundColour, found->BackgroundColour);
  EXPECT_EQ(session.Roles().Bitmap1Colour, found->Bitmap1Colour);
  const auto data = session.Output(OutputKind::Data);
  const SavedPicture read = ReadSavedPicture({data.begin(), data.end()}, "data");
  EXPECT_EQ(read.cells, cells);
  session.SetColourRoles(DefaultColourRoles);
  EXPECT_FALSE(session.CellTable().has_value());
  EXPECT_EQ(session.CellMixColours(100, 100), session.MixColours());
}
}  // namespace
}  // namespace vantrel
