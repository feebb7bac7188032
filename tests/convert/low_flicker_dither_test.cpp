// Tests of the low-flicker pass: every kernel set against the plain model.
#include "convert/low_flicker_dither.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "colour/mix_colours.h"
#include "colour/palette.h"
#include "colour/perceptual.h"
#include "convert/auto_colours_windows.h"
#include "convert/error_diffusion.h"

namespace vantrel {
namespace {

// The dithering as its rules read: every pixel's received error and lightness error in
// full-size arrays, the nine costs compared one by one, each share added where it lands.
// `cellSlots`: the slots of cell (x / 8, y / 8), (width + 7) / 8 cells a row.
std::vector<std::uint8_t> PlainModel(const std::vector<std::int16_t>& L,
                                     const std::vector<std::int16_t>& a,
                                     const std::vector<std::int16_t>& b, int width, int height,
                                     const std::vector<LowFlickerSlots>& cellSlots) {
  std::vector<std::array<int, 3>> received(static_cast<std::size_t>(width) * height);
  std::vector<std::uint8_t> codes(received.size());
  std::vector<int> lightnessError(received.size());  // slot L - input L
  const auto errorAt = [&](int x, int y) {
    return x < 0 || y < 0 ? 0 : lightnessError[y * width + x];
  };
  const auto give = [&](int x, int y, const std::array<int, 3>& share) {
    if (x < 0 || x >= width || y >= height) return;
    for (int c = 0; c < 3; ++c) received[y * width + x][c] += share[c];
  };
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int i = y * width + x;
      const LowFlickerSlots& slots = cellSlots[(y / 8) * ((width + 7) / 8) + x / 8];
      const int input[3] = {L[i], a[i], b[i]};
      std::array<int, 3> w{};
      for (int c = 0; c < 3; ++c) {
        w[c] = input[c] + std::clamp(received[i][c], -ErrorBound, ErrorBound);
      }
      // Twice the slot's lightness error against the sum of the neighbours'.
      const int neighbours = errorAt(x - 1, y) + errorAt(x, y - 1);
      long long bestCost = -1;
      int best = 0;
      for (int k = 0; k < 9; ++k) {
        long long cost = slots.penalty[k];
        for (int c = 0; c < 3; ++c) cost += (w[c] - slots.lab[k][c]) * (w[c] - slots.lab[k][c]);
        const long long contrast = 2 * (slots.lab[k][0] - input[0]) - neighbours;
        cost += (contrast * contrast) / (1 << ContrastShift);
        if (bestCost < 0 || cost < bestCost) bestCost = cost, best = k;
      }
      codes[i] = static_cast<std::uint8_t>(best + 1);
      lightnessError[i] = slots.lab[best][0] - input[0];
      std::array<int, 3> right{}, behind{}, under{}, ahead{};
      for (int c = 0; c < 3; ++c) {
        const int full = w[c] - slots.lab[best][c];
        const int e =
            static_cast<int>(std::trunc(static_cast<double>(full) / ErrorStep)) * ErrorStep;
        right[c] = static_cast<int>(std::floor((7 * e + 8) / 16.0));
        behind[c] = static_cast<int>(std::floor((3 * e + 8) / 16.0));
        under[c] = static_cast<int>(std::floor((5 * e + 8) / 16.0));
        ahead[c] = e - right[c] - behind[c] - under[c];
      }
      give(x + 1, y, right);
      give(x - 1, y + 1, behind);
      give(x, y + 1, under);
      give(x + 1, y + 1, ahead);
    }
  }
  return codes;
}

struct LabPicture {
  int width, height;
  std::vector<std::int16_t> L, a, b;
};

// A picture of sRGB colours in CIELAB sixteenths.
LabPicture FromRgb(int width, int height, const std::function<PackedRGB(int, int)>& colour) {
  LabPicture p{width, height, {}, {}, {}};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const PackedRGB c = colour(x, y);
      const auto lab = SrgbToLab16((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
      p.L.push_back(static_cast<std::int16_t>(lab[0]));
      p.a.push_back(static_cast<std::int16_t>(lab[1]));
      p.b.push_back(static_cast<std::int16_t>(lab[2]));
    }
  }
  return p;
}

TEST(LowFlickerDither, EveryKernelAgreesWithThePlainModel) {
  std::mt19937 rng(13);
  const auto noise = [&rng](int, int) { return static_cast<PackedRGB>(rng() & 0xFFFFFF); };
  const auto windows = auto_colours_windows::AllWindows();
  const auto window = [&](int n) {
    auto state = windows[n].make();
    const PackedRGB* words = state->Image1.Words();
    return FromRgb(WindowWidth, WindowHeight,
                   [words](int x, int y) { return words[y * WindowWidth + x]; });
  };
  struct Case {
    const char* name;
    LabPicture picture;
    ColourRoleSet roles;
  } cases[] = {
      {"astronaut shuttle", window(3), {1, 9, 11, 0, 2}},
      {"astronaut face", window(1), {8, 15, 0, 0, 1}},
      {"saturated gradient", window(7), DefaultColourRoles},
      {"grey ramp, one colour", window(5), {6, 6, 6, 6, 6}},  // nine equal slots
      {"noise, odd height", FromRgb(96, 101, noise), {0, 1, 2, 3, 4}},
      // Narrower than the vector pass's lag between its two rows, and single rows.
      {"one column", FromRgb(1, 9, noise), {0, 1, 12, 15, 11}},
      {"two columns", FromRgb(2, 7, noise), {0, 1, 12, 15, 11}},
      {"three columns", FromRgb(3, 6, noise), {5, 7, 9, 2, 14}},
      {"one row", FromRgb(37, 1, noise), {5, 7, 9, 2, 14}},
      // Cells cut by the picture's right and bottom edges.
      {"noise, 29 x 19", FromRgb(29, 19, noise), {0, 1, 2, 3, 4}},
  };
  // Each case once with its roles' slots for the whole picture (through the global pass and
  // the per-cell one), and once with every cell's own: the roles' sprites and random cell
  // colours, every third cell the roles' own.
  for (const Case& c : cases) {
    for (const bool ownCells : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.name << (ownCells ? ", own cells" : ""));
      const LabPicture& p = c.picture;
      const LowFlickerSlots slots =
          MakeLowFlickerSlots(BuildMixTable(RoleColours(c.roles)), c.roles);
      const int cellCount = ((p.width + 7) / 8) * ((p.height + 7) / 8);
      std::vector<LowFlickerSlots> cellSlots(cellCount, slots);
      for (int cell = 0; ownCells && cell < cellCount; ++cell) {
        if (cell % 3 == 0) continue;
        const CellColourSet colours{
            static_cast<std::uint8_t>(rng() % 16), static_cast<std::uint8_t>(rng() % 16),
            static_cast<std::uint8_t>(rng() % 16), static_cast<std::uint8_t>(rng() % 16)};
        const auto frames = CellFrameColours(colours, c.roles);
        cellSlots[cell] = MakeLowFlickerSlots(BuildMixTable(frames.first, frames.second), frames);
      }
      const std::vector<std::uint8_t> expected =
          PlainModel(p.L, p.a, p.b, p.width, p.height, cellSlots);
      for (const ConversionKernels* kernels : AvailableKernels()) {
        const auto mismatches = [&](const std::vector<std::uint8_t>& codes) {
          int count = 0;
          for (std::size_t i = 0; i < codes.size(); ++i) count += codes[i] != expected[i];
          return count;
        };
        std::vector<std::uint8_t> codes(expected.size(), 0);
        LowFlickerDitherCells(p.L.data(), p.a.data(), p.b.data(), p.width, p.height,
                              cellSlots.data(), codes.data(), nullptr, *kernels);
        EXPECT_EQ(mismatches(codes), 0) << kernels->name << " per cell";
        if (ownCells) continue;
        std::fill(codes.begin(), codes.end(), 0);
        LowFlickerDither(p.L.data(), p.a.data(), p.b.data(), p.width, p.height, slots, codes.data(),
                         nullptr, *kernels);
        EXPECT_EQ(mismatches(codes), 0) << kernels->name;
      }
    }
  }
}

TEST(LowFlickerDither, SlotsHoldTheMixesInCielabAndTheirFlickerPenalty) {
  const ColourRoleSet roles{0, 1, 12, 15, 11};  // black, white, greys
  const MixSlots table = BuildMixTable(RoleColours(roles));
  const LowFlickerSlots slots = MakeLowFlickerSlots(table, roles);
  for (int k = 0; k < 9; ++k) {
    const LabColour lab = TColorToLab(table[k]);
    EXPECT_NEAR(slots.lab[k][0], LabUnit * lab.L, 1) << k;
    EXPECT_NEAR(slots.lab[k][1], LabUnit * lab.a, 1) << k;
    EXPECT_NEAR(slots.lab[k][2], LabUnit * lab.b, 1) << k;
    const auto [first, second] = MixSlotRoles[k];
    const double flicker = std::fabs(TColorToLab(C64Palette[roles[first]]).L -
                                     TColorToLab(C64Palette[roles[second]]).L);
    EXPECT_NEAR(slots.penalty[k], FlickerPenalty * LabUnit * flicker, FlickerPenalty) << k;
  }
  EXPECT_EQ(slots.penalty[0], 0);                               // black with black
  EXPECT_EQ(slots.penalty[1], FlickerPenalty * LabUnit * 100);  // white with black
}

TEST(LowFlickerDither, CielabSixteenthsMatchTheMeasureAndEveryPath) {
  // Within rounding of the CIELAB the error is measured in, over a grid of colours.
  double worst = 0;
  for (int r = 0; r < 256; r += 5) {
    for (int g = 0; g < 256; g += 5) {
      for (int b = 0; b < 256; b += 5) {
        const auto q = SrgbToLab16(r, g, b);
        const LabColour lab = SrgbToLab(r, g, b);
        for (const double d :
             {q[0] - LabUnit * lab.L, q[1] - LabUnit * lab.a, q[2] - LabUnit * lab.b}) {
          worst = std::max(worst, std::fabs(d));
        }
      }
    }
  }
  EXPECT_LT(worst, 0.75);
  // The planes (vector code) give each pixel what the single colour gives.
  auto planes = std::make_unique<ColourPlanes>();
  auto lab = std::make_unique<LabPlanes16>();
  std::mt19937 rng(7);
  for (int i = 0; i < PixelCount; ++i) {
    planes->red[i] = rng() & 0xFF;
    planes->green[i] = rng() & 0xFF;
    planes->blue[i] = rng() & 0xFF;
  }
  planes->red[5] = planes->green[5] = planes->blue[5] = 0;  // the linear part near black
  planes->red[6] = planes->green[6] = planes->blue[6] = 255;
  for (const ConversionKernels* kernels : AvailableKernels()) {
    ToLabPlanes16(*planes, *lab, *kernels);
    int mismatches = 0;
    for (int i = 0; i < PixelCount; ++i) {
      const auto q = SrgbToLab16(planes->red[i], planes->green[i], planes->blue[i]);
      mismatches += q[0] != lab->L[i] || q[1] != lab->a[i] || q[2] != lab->b[i];
    }
    EXPECT_EQ(mismatches, 0) << kernels->name;
    EXPECT_EQ(lab->L[6], 100 * LabUnit) << kernels->name;
    EXPECT_EQ(lab->L[5], 0) << kernels->name;
  }
}

// Mean |L(frame 1) - L(frame 2)| of the codes, as the layers would show them.
double Flicker(const MixCodes& codes, const ColourRoleSet& roles) {
  double total = 0;
  for (const std::uint8_t code : codes) {
    const auto [first, second] = MixSlotRoles[code - 1];
    total += std::fabs(TColorToLab(C64Palette[roles[first]]).L -
                       TColorToLab(C64Palette[roles[second]]).L);
  }
  return total / PixelCount;
}

TEST(LowFlickerDither, CalmIsBoughtWhereItCostsLittle) {
  // Mid grey is exactly black with white (flicker 100), nearly grey with light grey (16).
  const ColourRoleSet roles{0, 1, 12, 15, 11};
  const MixSlots table = BuildMixTable(RoleColours(roles));
  struct Case {
    const char* name;
    PackedRGB colour;
    int code;          // the steady mix the pixels take
    double share;      // at least this share of them
    double fsFlicker;  // Floyd-Steinberg's flicker on the same picture
  } cases[] = {
      {"exact steady mix", ToPackedRGB(table[7]), 8, 1.0, 16},
      // The error of the steady mix piles up until a few pixels take another.
      {"black with white, a steady mix close by", MakePackedRGB(127, 127, 127), 8, 0.95, 100},
      {"black, exact and steady", MakePackedRGB(0, 0, 0), 1, 1.0, 0},
  };
  auto planes = std::make_unique<ColourPlanes>();
  auto lab = std::make_unique<LabPlanes16>();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    planes->red.fill((c.colour >> 16) & 0xFF);
    planes->green.fill((c.colour >> 8) & 0xFF);
    planes->blue.fill(c.colour & 0xFF);
    MixCodes codes{}, fs{};
    DiffuseLowFlicker(*planes, table, roles, DefaultColourModel, codes, *lab, nullptr);
    EXPECT_GE(std::count(codes.begin(), codes.end(), c.code), c.share * PixelCount);
    ColourPlanes work = *planes;
    DiffuseErrors(work, table, true, fs, nullptr);
    EXPECT_NEAR(Flicker(fs, roles), c.fsFlicker, 1);
    EXPECT_LT(Flicker(codes, roles), 20);
  }
  // A grey that only black with white shows: steadiness never costs that much error, so
  // it flickers as Floyd-Steinberg's picture does.
  planes->red.fill(127), planes->green.fill(127), planes->blue.fill(127);
  const ColourRoleSet blackWhite{0, 1, 1, 0, 0};
  const MixSlots bw = BuildMixTable(RoleColours(blackWhite));
  MixCodes low{}, fs{};
  DiffuseLowFlicker(*planes, bw, blackWhite, DefaultColourModel, low, *lab, nullptr);
  ColourPlanes work = *planes;
  DiffuseErrors(work, bw, true, fs, nullptr);
  EXPECT_NEAR(Flicker(low, blackWhite), Flicker(fs, blackWhite), 5);
  EXPECT_GT(Flicker(low, blackWhite), 50);
}

}  // namespace
}  // namespace vantrel
