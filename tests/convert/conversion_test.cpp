// Tests of the conversion pass against its reference rules.
#include "convert/conversion.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <random>
#include <stdexcept>
#include <vector>

#include "colour/mix_colours.h"
#include "colour/palette.h"
#include "convert/nearest_mix.h"
#include "support/converter_states.h"

namespace vantrel {
namespace {

constexpr int Index(int x, int y) { return y * WindowWidth + x; }

// Layer bits of each code as the C64 side expects them: Bitmap1, Sprite1, Bitmap2, Sprite2.
constexpr std::array<std::array<int, 4>, 10> kBitsOfCode = {{
    {-1, -1, -1, -1},  // no code 0
    {0, 0, 0, 0},
    {1, 0, 0, 0},
    {1, 1, 0, 0},
    {0, 0, 1, 0},
    {0, 0, 0, 1},
    {1, 0, 1, 0},
    {1, 0, 0, 1},
    {0, 1, 1, 0},
    {0, 1, 0, 1},
}};

std::array<int, 4> BitsAt(const LayerPlanes& layers, int i) {
  return {layers.Bitmap1Bits[i], layers.Sprite1Bits[i], layers.Bitmap2Bits[i],
          layers.Sprite2Bits[i]};
}

// The code whose layer bits a pixel carries, or 0 for a pattern no code has.
int CodeOfBits(const LayerPlanes& layers, int i) {
  for (int code = 1; code <= 9; ++code) {
    if (BitsAt(layers, i) == kBitsOfCode[code]) return code;
  }
  return 0;
}

// Records every progress report; at the first report of the classification it keeps a copy
// of WorkPlanes, which then hold the picture with the diffused error.
class RecordingProgress : public ProgressSink {
 public:
  explicit RecordingProgress(const ConverterState* state = nullptr) : state_(state) {}
  void SetProgress(int row) override {
    rows.push_back(row);
    if (rows.size() == 2 * WindowHeight + 1 && state_) afterDiffusion = state_->WorkPlanes;
  }
  std::vector<int> rows;
  ColourPlanes afterDiffusion;

 private:
  const ConverterState* state_;
};

std::unique_ptr<ConverterState> NewState(const MixSlots& table) {
  auto state = testsupport::NewConverterState();
  state->MixTable = table;
  state->PictureLoaded = true;
  return state;
}

void Fill(ConverterState& state, TColor colour) {
  for (int y = 0; y < WindowHeight; ++y) {
    for (int x = 0; x < WindowWidth; ++x) state.Image1.SetPixel(x, y, colour);
  }
}

ColourPlanes PlanesOf(const ViewSurface& image) {
  ColourPlanes planes;
  for (int y = 0; y < WindowHeight; ++y) {
    for (int x = 0; x < WindowWidth; ++x) {
      const TColor c = image.Pixel(x, y);
      planes.red[Index(x, y)] = RedOf(c);
      planes.green[Index(x, y)] = GreenOf(c);
      planes.blue[Index(x, y)] = BlueOf(c);
    }
  }
  return planes;
}

Plane& PlaneOf(ColourPlanes& planes, int channel) {
  return channel == 0 ? planes.red : channel == 1 ? planes.green : planes.blue;
}

// Converts with dithering and returns WorkPlanes as the diffusion left them.
ColourPlanes Diffused(ConverterState& state) {
  RecordingProgress progress(&state);
  ConvertPicture(state, Dithering::FloydSteinberg, &progress);
  return progress.afterDiffusion;
}

void ExpectPlanesEqual(const ColourPlanes& actual, const ColourPlanes& expected) {
  const char* names[] = {"red", "green", "blue"};
  for (int channel = 0; channel < 3; ++channel) {
    const Plane& a = PlaneOf(const_cast<ColourPlanes&>(actual), channel);
    const Plane& e = PlaneOf(const_cast<ColourPlanes&>(expected), channel);
    int shown = 0;
    for (int i = 0; i < PixelCount && shown < 8; ++i) {
      if (a[i] != e[i]) {
        ADD_FAILURE() << names[channel] << " at (" << i % WindowWidth << ", " << i / WindowWidth
                      << "): " << int(a[i]) << ", expected " << int(e[i]);
        ++shown;
      }
    }
  }
}

// A table whose nine slots are all one colour: every pixel's mix colour is that colour.
MixSlots Uniform(TColor colour) {
  MixSlots table;
  table.fill(colour);
  return table;
}

const MixSlots& DefaultTable() {
  static const MixSlots table = BuildMixTable(RoleColours(DefaultColourRoles));
  return table;
}

void FillRandom(ConverterState& state, std::uint32_t seed) {
  std::mt19937 rng(seed);
  for (int y = 0; y < WindowHeight; ++y) {
    for (int x = 0; x < WindowWidth; ++x) state.Image1.SetPixel(x, y, rng() & 0xFFFFFF);
  }
}

// Two conversions are the same when everything a conversion writes is the same.
void ExpectSameConversion(const ConverterState& actual, const ConverterState& expected) {
  const struct {
    const char* name;
    const Plane& actual;
    const Plane& expected;
  } planes[] = {
      {"red", actual.WorkPlanes.red, expected.WorkPlanes.red},
      {"green", actual.WorkPlanes.green, expected.WorkPlanes.green},
      {"blue", actual.WorkPlanes.blue, expected.WorkPlanes.blue},
      {"bitmap 1", actual.LayerBits.Bitmap1Bits, expected.LayerBits.Bitmap1Bits},
      {"sprite 1", actual.LayerBits.Sprite1Bits, expected.LayerBits.Sprite1Bits},
      {"bitmap 2", actual.LayerBits.Bitmap2Bits, expected.LayerBits.Bitmap2Bits},
      {"sprite 2", actual.LayerBits.Sprite2Bits, expected.LayerBits.Sprite2Bits},
  };
  for (const auto& plane : planes) EXPECT_EQ(plane.actual, plane.expected) << plane.name;
  EXPECT_EQ(actual.LastMixCode, expected.LastMixCode);
  EXPECT_TRUE(std::equal(actual.PreviewBitmap.Words(), actual.PreviewBitmap.Words() + 256 * 200,
                         expected.PreviewBitmap.Words()))
      << "preview";
}

// ---------------------------------------------------------------------------------------
// Error diffusion

constexpr TColor kGrey = MakeTColor(128, 128, 128);

struct ShareCase {
  int difference;         // pixel minus its mix colour, in one channel
  std::array<int, 4> to;  // what reaches right, below-left, below, below-right
};

TEST(ConversionDiffusionTest, ErrorIsDividedBySixteenBeforeTheWeights) {
  const ShareCase cases[] = {
      {15, {0, 0, 0, 0}},      {-15, {0, 0, 0, 0}},     {16, {7, 3, 5, 1}},
      {31, {7, 3, 5, 1}},      {-16, {-7, -3, -5, -1}}, {-17, {-7, -3, -5, -1}},
      {-31, {-7, -3, -5, -1}}, {32, {14, 6, 10, 2}},    {-47, {-14, -6, -10, -2}},
  };
  const int x = 50, y = 50;
  const int targets[] = {Index(x + 1, y), Index(x - 1, y + 1), Index(x, y + 1),
                         Index(x + 1, y + 1)};
  for (const ShareCase& c : cases) {
    for (int channel = 0; channel < 3; ++channel) {
      SCOPED_TRACE(testing::Message() << "difference " << c.difference << " channel " << channel);
      auto state = NewState(Uniform(kGrey));
      Fill(*state, kGrey);
      std::array<int, 3> v = {128, 128, 128};
      v[channel] += c.difference;
      state->Image1.SetPixel(x, y, MakeTColor(v[0], v[1], v[2]));
      ColourPlanes expected = PlanesOf(state->Image1);
      for (int k = 0; k < 4; ++k) PlaneOf(expected, channel)[targets[k]] += c.to[k];
      ExpectPlanesEqual(Diffused(*state), expected);
    }
  }
}

TEST(ConversionDiffusionTest, ChannelsSpreadIndependently) {
  auto state = NewState(Uniform(kGrey));
  Fill(*state, kGrey);
  state->Image1.SetPixel(20, 30, MakeTColor(128 + 16, 128 - 15, 128 - 32));
  ColourPlanes expected = PlanesOf(state->Image1);
  const int targets[] = {Index(21, 30), Index(19, 31), Index(20, 31), Index(21, 31)};
  const int redShares[] = {7, 3, 5, 1}, blueShares[] = {-14, -6, -10, -2};
  for (int k = 0; k < 4; ++k) {
    expected.red[targets[k]] += redShares[k];
    expected.blue[targets[k]] += blueShares[k];
  }
  ExpectPlanesEqual(Diffused(*state), expected);
}

// Red 200 against a mix red of 100 gives e = 6 and shares 42, 18, 30, 6; red 100 against 200
// the same negated. The neighbours sit on a blue-tinted background, and the table holds
// exactly the colours they end up with, so nothing spreads any further.
TEST(ConversionDiffusionTest, HundredsExample) {
  struct Case {
    int pixelRed, mixRed, backgroundRed;
    std::array<int, 4> neighbourRed;  // right, below-left, below, below-right
  };
  const Case cases[] = {{200, 100, 100, {142, 118, 130, 106}},
                        {100, 200, 200, {158, 182, 170, 194}}};
  const int x = 10, y = 5;
  const int targets[] = {Index(x + 1, y), Index(x - 1, y + 1), Index(x, y + 1),
                         Index(x + 1, y + 1)};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pixelRed);
    const TColor background = MakeTColor(c.backgroundRed, 0, 50);
    MixSlots table = Uniform(background);
    table[0] = MakeTColor(c.mixRed, 0, 0);
    for (int k = 0; k < 4; ++k) table[2 + k] = MakeTColor(c.neighbourRed[k], 0, 50);
    auto state = NewState(table);
    Fill(*state, background);
    state->Image1.SetPixel(x, y, MakeTColor(c.pixelRed, 0, 0));
    ColourPlanes expected = PlanesOf(state->Image1);
    for (int k = 0; k < 4; ++k) expected.red[targets[k]] = c.neighbourRed[k];
    ExpectPlanesEqual(Diffused(*state), expected);
    // The classification then finds the pixel's own mix colour and the neighbours' slots.
    EXPECT_EQ(CodeOfBits(state->LayerBits, Index(x, y)), 1);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(CodeOfBits(state->LayerBits, targets[k]), 3 + k);
  }
}

// (100, 199) starts at red 250, gets +10 from (99, 198) and then -10 from (100, 198): each
// addition is clamped on its own, so it ends at 245, not 250. The pixels left of it start at
// 255 so that what they receive is clamped away and they pass nothing on.
TEST(ConversionDiffusionTest, SharesAreClampedOneByOneInOrder) {
  const TColor black = 0, red255 = MakeTColor(255, 0, 0);
  const TColor greenAnchor = MakeTColor(0, 200, 0), red110 = MakeTColor(110, 0, 0);
  const MixSlots table = {black, greenAnchor, red110, red255, black, black, black, black, black};
  auto state = NewState(table);
  Fill(*state, black);
  state->Image1.SetPixel(99, 198, MakeTColor(175, 200, 0));  // e = 10 against greenAnchor
  state->Image1.SetPixel(98, 199, red255);
  state->Image1.SetPixel(99, 199, red255);
  state->Image1.SetPixel(100, 199, MakeTColor(250, 0, 0));
  ColourPlanes expected = PlanesOf(state->Image1);
  expected.red[Index(100, 198)] = 70;   // 7 x 10; then e = (70 - 110) / 16 = -2
  expected.red[Index(99, 199)] = 249;   // 255 + 50 clamped, then 3 x -2
  expected.red[Index(100, 199)] = 245;  // 250 + 10 clamped to 255, then 5 x -2
  ExpectPlanesEqual(Diffused(*state), expected);
}

// A pixel 16 above its mix colour in red (e = 1) at various places; the plane is one run of
// bytes, so shares wrap at the side edges, and those past the last pixel are dropped.
TEST(ConversionDiffusionTest, EdgesWrapAndSharesBelowThePictureAreDropped) {
  struct Share {
    int x, y, amount;
  };
  struct Case {
    const char* name;
    int x, y;
    std::vector<Share> shares;
  };
  const Case cases[] = {
      {"inside", 100, 100, {{101, 100, 7}, {99, 101, 3}, {100, 101, 5}, {101, 101, 1}}},
      {"last of a row", 191, 10, {{0, 11, 7}, {190, 11, 3}, {191, 11, 5}, {0, 12, 1}}},
      {"first of a row", 0, 20, {{1, 20, 7}, {191, 20, 3}, {0, 21, 5}, {1, 21, 1}}},
      {"(191, 198)", 191, 198, {{0, 199, 7}, {190, 199, 3}, {191, 199, 5}}},
      {"last row", 50, 199, {{51, 199, 7}}},
      {"first of the last row", 0, 199, {{1, 199, 7}, {191, 199, 3}}},
      {"last pixel", 191, 199, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto state = NewState(Uniform(kGrey));
    Fill(*state, kGrey);
    state->Image1.SetPixel(c.x, c.y, MakeTColor(128 + 16, 128, 128));
    ColourPlanes expected = PlanesOf(state->Image1);
    for (const Share& s : c.shares) expected.red[Index(s.x, s.y)] += s.amount;
    // Green and blue must stay untouched too: a share run past the red plane would land there.
    ExpectPlanesEqual(Diffused(*state), expected);
  }
}

TEST(ConversionDiffusionTest, ValuesClampAtBothEnds) {
  // Against a black-only table every red error is positive, against a white-only one
  // negative; the sums saturate at 255 or 0 and never wrap around. Green lies within 15 of
  // the mix colour and spreads nothing.
  struct Case {
    TColor mix, pixel;
    int bound, saturated;
  };
  const Case cases[] = {{0x000000, MakeTColor(250, 5, 0), 250, 255},
                        {0xFFFFFF, MakeTColor(5, 250, 255), 5, 0}};
  for (const Case& c : cases) {
    auto state = NewState(Uniform(c.mix));
    Fill(*state, c.pixel);
    const ColourPlanes diffused = Diffused(*state);
    int saturated = 0;
    for (int i = 0; i < PixelCount; ++i) {
      if (c.saturated == 255) {
        ASSERT_GE(diffused.red[i], c.bound) << i;
      } else {
        ASSERT_LE(diffused.red[i], c.bound) << i;
      }
      ASSERT_EQ(diffused.green[i], GreenOf(c.pixel)) << i;
      saturated += diffused.red[i] == c.saturated;
    }
    EXPECT_GT(saturated, PixelCount / 2);
  }
}

// ---------------------------------------------------------------------------------------
// Classification and results

TEST(ConversionTest, MixColoursPassThroughWithEveryCodesLayerBits) {
  for (const Dithering dither : {Dithering::FloydSteinberg, Dithering::None}) {
    SCOPED_TRACE(dither == Dithering::None ? "plain" : "dithering");
    auto state = NewState(DefaultTable());
    std::mt19937 rng(5);
    std::vector<int> codes(PixelCount);
    for (int y = 0; y < WindowHeight; ++y) {
      for (int x = 0; x < WindowWidth; ++x) {
        codes[Index(x, y)] = 1 + static_cast<int>(rng() % 9);
        state->Image1.SetPixel(x, y, DefaultTable()[codes[Index(x, y)] - 1]);
      }
    }
    codes[PixelCount - 1] = 7;
    state->Image1.SetPixel(191, 199, DefaultTable()[6]);
    const ColourPlanes input = PlanesOf(state->Image1);
    RecordingProgress progress(state.get());
    ConvertPicture(*state, dither, &progress);
    ExpectPlanesEqual(progress.afterDiffusion, input);  // every error is 0
    ExpectPlanesEqual(state->WorkPlanes, input);
    for (int i = 0; i < PixelCount; ++i) {
      ASSERT_EQ(BitsAt(state->LayerBits, i), kBitsOfCode[codes[i]]) << "code " << codes[i];
    }
    EXPECT_EQ(state->LastMixCode, 7);
  }
}

TEST(ConversionTest, WithoutDitheringEveryPixelIsPlainlyClassified) {
  auto state = NewState(DefaultTable());
  FillRandom(*state, 11);
  const ColourPlanes input = PlanesOf(state->Image1);
  RecordingProgress progress(state.get());
  ConvertPicture(*state, Dithering::None, &progress);
  ExpectPlanesEqual(progress.afterDiffusion, input);  // the diffusion pass changed nothing
  std::int32_t code = 0;
  for (int y = 0; y < WindowHeight; ++y) {
    for (int x = 0; x < WindowWidth; ++x) {
      const int i = Index(x, y);
      const TColor mix = NearestMix(DefaultTable(), ToPackedRGB(state->Image1.Pixel(x, y)), code);
      ASSERT_EQ(BitsAt(state->LayerBits, i), kBitsOfCode[code]) << x << ", " << y;
      ASSERT_EQ(MakeTColor(state->WorkPlanes.red[i], state->WorkPlanes.green[i],
                           state->WorkPlanes.blue[i]),
                mix);
    }
  }
  EXPECT_EQ(state->LastMixCode, code);  // the code of (191, 199)
}

TEST(ConversionTest, DitheredResultIsConsistentAndDiffersFromPlain) {
  auto dithered = NewState(DefaultTable());
  auto plain = NewState(DefaultTable());
  // A smooth gradient: plain classification gives wide flat bands, dithering mixes them.
  for (int y = 0; y < WindowHeight; ++y) {
    for (int x = 0; x < WindowWidth; ++x) {
      const TColor c = MakeTColor(x * 255 / 191, y * 255 / 199, (x + y) * 255 / 390);
      dithered->Image1.SetPixel(x, y, c);
      plain->Image1.SetPixel(x, y, c);
    }
  }
  ConvertPicture(*dithered, Dithering::FloydSteinberg, nullptr);
  ConvertPicture(*plain, Dithering::None, nullptr);
  int differing = 0;
  for (int i = 0; i < PixelCount; ++i) {
    const int code = CodeOfBits(dithered->LayerBits, i);
    ASSERT_NE(code, 0) << i;
    const TColor mix = DefaultTable()[code - 1];
    ASSERT_EQ(dithered->WorkPlanes.red[i], RedOf(mix));
    ASSERT_EQ(dithered->WorkPlanes.green[i], GreenOf(mix));
    ASSERT_EQ(dithered->WorkPlanes.blue[i], BlueOf(mix));
    differing += code != CodeOfBits(plain->LayerBits, i);
  }
  EXPECT_GT(differing, PixelCount / 10);
  EXPECT_EQ(dithered->LastMixCode, CodeOfBits(dithered->LayerBits, PixelCount - 1));
}

TEST(ConversionTest, CoincidingRolesGiveOnlyTheLowestCode) {
  // Background, bitmap 1 and bitmap 2 all blue: slots 2, 4, 6 equal slot 1, 7 equals 5,
  // 8 equals 3.
  const MixSlots shared = BuildMixTable(RoleColours(ColourRoleSet{6, 6, 1, 6, 7}));
  for (const Dithering dither : {Dithering::FloydSteinberg, Dithering::None}) {
    auto state = NewState(shared);
    FillRandom(*state, 3);
    ConvertPicture(*state, dither, nullptr);
    std::array<int, 10> seen{};
    for (int i = 0; i < PixelCount; ++i) ++seen[CodeOfBits(state->LayerBits, i)];
    EXPECT_EQ(seen[0] + seen[2] + seen[4] + seen[6] + seen[7] + seen[8], 0);
    for (const int code : {1, 3, 5, 9}) EXPECT_GT(seen[code], 0) << code;
  }
  // All five roles one colour: code 1 everywhere, every layer clear.
  auto state = NewState(BuildMixTable(RoleColours(ColourRoleSet{5, 5, 5, 5, 5})));
  FillRandom(*state, 4);
  ConvertPicture(*state, Dithering::FloydSteinberg, nullptr);
  for (int i = 0; i < PixelCount; ++i) {
    ASSERT_EQ(BitsAt(state->LayerBits, i), kBitsOfCode[1]);
    ASSERT_EQ(
        MakeTColor(state->WorkPlanes.red[i], state->WorkPlanes.green[i], state->WorkPlanes.blue[i]),
        C64Palette[5]);
  }
  EXPECT_EQ(state->LastMixCode, 1);
}

TEST(ConversionTest, RepeatedRunsGiveIdenticalResults) {
  for (const Dithering dither : {Dithering::FloydSteinberg, Dithering::None}) {
    auto state = NewState(DefaultTable());
    FillRandom(*state, 17);
    ConvertPicture(*state, dither, nullptr);
    const auto first = std::make_unique<ConverterState>(*state);
    // Scribble over everything a run writes: nothing of it may feed the next run.
    state->WorkPlanes.red.fill(1);
    state->LayerBits.Sprite2Bits.fill(1);
    state->LastMixCode = 0;
    ConvertPicture(*state, dither, nullptr);
    auto fresh = NewState(DefaultTable());
    FillRandom(*fresh, 17);
    ConvertPicture(*fresh, dither, nullptr);
    for (const ConverterState* other : {state.get(), fresh.get()}) {
      ExpectSameConversion(*other, *first);
    }
  }
}

// Every kernel set converts as the reference, one table: random pictures in roles of their
// own, and colours per cell, where a table that repeats the roles converts exactly as the
// roles do, and with every cell its own colours each pixel shows one of its own cell's mixes,
// which the preview painted from the layers repeats.
TEST(ConversionTest, EveryInstructionSetConvertsAsTheReference) {
  std::mt19937 rng(77);
  CellColours own;
  for (CellColourSet& cell : own) {
    cell = {static_cast<std::uint8_t>(rng() % 16), static_cast<std::uint8_t>(rng() % 16),
            static_cast<std::uint8_t>(rng() % 16), static_cast<std::uint8_t>(rng() % 16)};
  }
  struct Case {
    ColourRoleSet roles;
    std::uint32_t seed;
    bool perCell;  // also converted with a table repeating the roles, and with `own`
    std::vector<Dithering> ditherings;
  };
  std::vector<Case> cases;
  for (std::uint32_t seed = 40; seed < 44; ++seed) {
    cases.push_back(
        {ColourRoleSet{static_cast<int>(seed % 16), 2, static_cast<int>(seed % 5), 7, 10},
         seed,
         false,
         {Dithering::FloydSteinberg, Dithering::None}});
  }
  cases.push_back({ColourRoleSet{6, 14, 3, 1, 9},
                   90,
                   true,
                   {Dithering::FloydSteinberg, Dithering::None, Dithering::LowFlicker}});
  for (const Case& c : cases) {
    for (const Dithering dither : c.ditherings) {
      SCOPED_TRACE(testing::Message()
                   << "seed " << c.seed << " dither " << static_cast<int>(dither));
      auto global = NewState(DefaultTable());
      SetColourRoles(*global, c.roles);
      FillRandom(*global, c.seed);
      auto uniform = std::make_unique<ConverterState>(*global);
      SetCellColours(*uniform, c.roles, UniformCellColours(c.roles));
      auto reference = std::make_unique<ConverterState>(*global);
      SetCellColours(*reference, c.roles, own);
      const auto before = std::make_unique<ConverterState>(*global);
      ConvertPicture(*global, dither, nullptr, PortableKernels());
      if (c.perCell) ConvertPicture(*reference, dither, nullptr, PortableKernels());
      for (const ConversionKernels* kernels : AvailableKernels()) {
        SCOPED_TRACE(kernels->name);
        auto state = std::make_unique<ConverterState>(*before);
        ConvertPicture(*state, dither, nullptr, *kernels);
        ExpectSameConversion(*state, *global);
        if (!c.perCell) continue;
        state = std::make_unique<ConverterState>(*uniform);
        ConvertPicture(*state, dither, nullptr, *kernels);
        ExpectSameConversion(*state, *global);
        state = std::make_unique<ConverterState>(*reference);
        state->LayerBits = {};
        ConvertPicture(*state, dither, nullptr, *kernels);
        ExpectSameConversion(*state, *reference);
      }
      if (!c.perCell) continue;
      int differing = 0;
      for (int y = 0; y < WindowHeight; ++y) {
        for (int x = 0; x < WindowWidth; ++x) {
          const int code = CodeOfBits(reference->LayerBits, Index(x, y));
          ASSERT_NE(code, 0);
          const TColor mix = reference->CellMixTables[CellOf(x, y)][code - 1];
          ASSERT_EQ(reference->PreviewBitmap.ScanLine(y)[x], ToPackedRGB(mix)) << x << ", " << y;
          differing += global->PreviewBitmap.ScanLine(y)[x] != ToPackedRGB(mix);
        }
      }
      EXPECT_GT(differing, PixelCount / 2);
      const auto painted = std::make_unique<ConverterState>(*reference);
      PaintPreviewFromLayers(*painted);
      ExpectSameConversion(*painted, *reference);
    }
  }
}

TEST(ConversionTest, PreviewHoldsTheMixColoursAsPackedRGBInColumnsUpTo191Only) {
  auto state = NewState(DefaultTable());
  FillRandom(*state, 23);
  state->Image1.SetPixel(0, 0, MakeTColor(255, 0, 0));
  state->MixTable[0] = MakeTColor(255, 0, 0);  // pure red in the table's own packing
  constexpr std::uint32_t kUntouched = 0xA5C3E1F0;
  for (int y = 0; y < 200; ++y) {
    std::fill_n(state->PreviewBitmap.ScanLine(y), 256, kUntouched);
  }
  ConvertPicture(*state, Dithering::FloydSteinberg, nullptr);
  EXPECT_EQ(state->PreviewBitmap.ScanLine(0)[0], 0x00FF0000u);  // red in bits 16..23
  for (int y = 0; y < 200; ++y) {
    const std::uint32_t* row = state->PreviewBitmap.ScanLine(y);
    for (int x = 0; x < 192; ++x) {
      const int i = Index(x, y);
      ASSERT_EQ(row[x], MakePackedRGB(state->WorkPlanes.red[i], state->WorkPlanes.green[i],
                                      state->WorkPlanes.blue[i]))
          << x << ", " << y;
    }
    for (int x = 192; x < 256; ++x) ASSERT_EQ(row[x], kUntouched) << x << ", " << y;
  }
}

TEST(ConversionTest, ReportsEveryRowOnceInEachOfTheFirstThreePasses) {
  std::vector<int> expected;
  for (int pass = 0; pass < 3; ++pass) {
    for (int y = 0; y < 200; ++y) expected.push_back(y);
  }
  for (const Dithering dither : {Dithering::FloydSteinberg, Dithering::None}) {
    auto state = NewState(DefaultTable());
    RecordingProgress progress;
    ConvertPicture(*state, dither, &progress);
    EXPECT_EQ(progress.rows, expected);
  }
}

TEST(ConversionTest, WithoutAPictureNothingChanges) {
  auto state = NewState(DefaultTable());
  state->PictureLoaded = false;
  FillRandom(*state, 29);
  state->WorkPlanes.green.fill(77);
  state->LayerBits.Sprite1Bits.fill(1);
  state->LastMixCode = 4;
  std::fill_n(state->PreviewBitmap.Words(), 256 * 200, 0x123456u);
  const auto before = std::make_unique<ConverterState>(*state);
  for (const Dithering dither : {Dithering::FloydSteinberg, Dithering::None}) {
    RecordingProgress progress;
    ConvertPicture(*state, dither, &progress);
    EXPECT_TRUE(progress.rows.empty());
  }
  // Even a missing preview bitmap is no reason to complain when there is nothing to do.
  ConverterState empty;
  ConvertPicture(empty, Dithering::FloydSteinberg, nullptr);
  ExpectSameConversion(*state, *before);
  EXPECT_EQ(state->LastMixCode, 4);
}

TEST(ConversionTest, APreviewBitmapTooSmallIsRefusedBeforeAnythingChanges) {
  auto state = NewState(DefaultTable());
  FillRandom(*state, 31);
  state->PreviewBitmap.SetSize(191, 200);
  state->LastMixCode = 6;
  const Plane red = state->WorkPlanes.red;
  RecordingProgress progress;
  EXPECT_THROW(ConvertPicture(*state, Dithering::FloydSteinberg, &progress), std::logic_error);
  EXPECT_TRUE(progress.rows.empty());
  EXPECT_EQ(state->WorkPlanes.red, red);
  EXPECT_EQ(state->LastMixCode, 6);
}

}  // namespace
}  // namespace vantrel
