// Tests of the diffusion and classification kernels, one table for the picture or one per
// cell, against the rules written plainly.
#include "convert/error_diffusion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "colour/mix_colours.h"
#include "convert/nearest_mix.h"

namespace vantrel {
namespace {

// The pass as the rules read, one share at a time straight into the planes, with no
// regrouping; the kernels carry the right share in registers and make the below shares a
// row at a time, and must still agree with this to the byte.
// Each pixel takes its own cell's table.
void DiffuseOneShareAtATime(ColourPlanes& work, const CellMixSlots& tables, bool dither,
                            MixCodes& codes) {
  Plane* planes[] = {&work.red, &work.green, &work.blue};
  for (int i = 0; i < PixelCount; ++i) {
    const int v[] = {work.red[i], work.green[i], work.blue[i]};
    std::int32_t code = 0;
    const MixSlots& table = tables[CellOf(i % WindowWidth, i / WindowWidth)];
    const TColor m = NearestMix(table, MakePackedRGB(v[0], v[1], v[2]), code);
    codes[i] = static_cast<std::uint8_t>(code);
    if (!dither) continue;
    const int mix[] = {RedOf(m), GreenOf(m), BlueOf(m)};
    for (int c = 0; c < 3; ++c) {
      const int e = (v[c] - mix[c]) / 16;
      const int offsets[] = {1, 191, 192, 193}, weights[] = {7, 3, 5, 1};
      for (int k = 0; k < 4; ++k) {
        const int target = i + offsets[k];
        if (target >= PixelCount) continue;
        Plane& p = *planes[c];
        p[target] = static_cast<std::uint8_t>(std::clamp(p[target] + weights[k] * e, 0, 255));
      }
    }
  }
}

struct Picture {
  const char* name;
  // Fills the three planes and the table from a seed.
  void (*make)(std::mt19937& rng, ColourPlanes& planes, MixSlots& table);
};

void RandomEverything(std::mt19937& rng, ColourPlanes& planes, MixSlots& table) {
  for (int i = 0; i < PixelCount; ++i) {
    planes.red[i] = rng() & 0xFF;
    planes.green[i] = rng() & 0xFF;
    planes.blue[i] = rng() & 0xFF;
  }
  for (TColor& c : table) c = rng() & 0xFFFFFF;
}

// Smooth areas with noise, against the mix colours of random (often coinciding) roles.
void PhotoLike(std::mt19937& rng, ColourPlanes& planes, MixSlots& table) {
  const int fx = 1 + rng() % 5, fy = 1 + rng() % 5;
  for (int y = 0; y < WindowHeight; ++y) {
    for (int x = 0; x < WindowWidth; ++x) {
      const int i = y * WindowWidth + x, noise = static_cast<int>(rng() % 21) - 10;
      planes.red[i] = static_cast<std::uint8_t>(std::clamp(x * fx % 256 + noise, 0, 255));
      planes.green[i] = static_cast<std::uint8_t>(std::clamp(y * fy % 256 - noise, 0, 255));
      planes.blue[i] = static_cast<std::uint8_t>((x + y) % 256);
    }
  }
  ColourRoleSet roles;
  for (int role = 0; role < RoleCount; ++role) roles[role] = static_cast<int>(rng() % 16);
  table = BuildMixTable(RoleColours(roles));
}

// Channel values at the ends of the range against mix colours in the middle: the largest
// errors, constant clamping at 0 and 255.
void Extremes(std::mt19937& rng, ColourPlanes& planes, MixSlots& table) {
  for (int i = 0; i < PixelCount; ++i) {
    planes.red[i] = (rng() & 1) ? 255 : 0;
    planes.green[i] = (rng() & 3) ? 255 : static_cast<std::uint8_t>(rng());
    planes.blue[i] = (rng() & 1) ? 0 : 240;
  }
  for (TColor& c : table) c = MakeTColor(rng() % 64 + 96, rng() % 256, rng() % 2 ? 0 : 255);
}

// Few distinct colours in the table: many ties between slots.
void Ties(std::mt19937& rng, ColourPlanes& planes, MixSlots& table) {
  for (int i = 0; i < PixelCount; ++i) {
    planes.red[i] = static_cast<std::uint8_t>((rng() % 5) * 60);
    planes.green[i] = static_cast<std::uint8_t>((rng() % 5) * 60);
    planes.blue[i] = static_cast<std::uint8_t>((rng() % 5) * 60);
  }
  const TColor few[] = {MakeTColor(0, 60, 120), MakeTColor(120, 60, 0), MakeTColor(60, 60, 60)};
  for (TColor& c : table) c = few[rng() % 3];
}

const Picture kPictures[] = {{"random", RandomEverything},
                             {"photo-like", PhotoLike},
                             {"extremes", Extremes},
                             {"ties", Ties}};

// How the cells are coloured: all by the picture's one table (through the global passes, and
// through the per-cell ones, which must give the same), or each cell by its own.
enum class Cells { Global, SameTableEverywhere, OwnTables };

// Each cell its own table: random cell colours with the picture's roles' sprites, and every
// fifth cell the picture's own table, so neighbouring cells share some mixes and not others.
std::unique_ptr<CellMixSlots> OwnCellTables(std::mt19937& rng, const MixSlots& table) {
  auto tables = std::make_unique<CellMixSlots>();
  CellColours cells;
  for (CellColourSet& cell : cells) {
    cell = {static_cast<std::uint8_t>(rng() % 16), static_cast<std::uint8_t>(rng() % 16),
            static_cast<std::uint8_t>(rng() % 16), static_cast<std::uint8_t>(rng() % 16)};
  }
  BuildCellMixTables(
      cells, ColourRoleSet{0, 0, static_cast<int>(rng() % 16), 0, static_cast<int>(rng() % 16)},
      *tables);
  for (int cell = 0; cell < CellCount; cell += 5) (*tables)[cell] = table;
  return tables;
}

TEST(ErrorDiffusionTest, EveryKernelAgreesWithTheShareByShareModel) {
  const std::vector<const ConversionKernels*> kernels = AvailableKernels();
  if (kernels.size() == 1) std::cout << "only the portable kernels run here\n";
  auto expected = std::make_unique<ColourPlanes>(), actual = std::make_unique<ColourPlanes>();
  auto expectedCodes = std::make_unique<MixCodes>(), codes = std::make_unique<MixCodes>();
  for (const Cells cells : {Cells::Global, Cells::SameTableEverywhere, Cells::OwnTables}) {
    for (const Picture& picture : kPictures) {
      for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        for (const bool dither : {true, false}) {
          std::mt19937 rng(seed);
          MixSlots table{};
          picture.make(rng, *expected, table);
          auto tables = std::make_unique<CellMixSlots>();
          tables->fill(table);
          if (cells == Cells::OwnTables) tables = OwnCellTables(rng, table);
          const ColourPlanes input = *expected;
          DiffuseOneShareAtATime(*expected, *tables, dither, *expectedCodes);
          for (const ConversionKernels* kernels : AvailableKernels()) {
            SCOPED_TRACE(testing::Message()
                         << picture.name << " seed " << seed << " dither " << dither << " kernels "
                         << kernels->name << " cells " << static_cast<int>(cells));
            *actual = input;
            if (cells == Cells::Global) {
              DiffuseErrors(*actual, table, dither, *codes, nullptr, *kernels);
            } else {
              DiffuseErrorsCells(*actual, *tables, dither, *codes, nullptr, *kernels);
            }
            ASSERT_EQ(*codes, *expectedCodes);
            ASSERT_EQ(actual->red, expected->red);
            ASSERT_EQ(actual->green, expected->green);
            ASSERT_EQ(actual->blue, expected->blue);
          }
        }
      }
    }
  }
}

// A processor with vector units must run their kernels, not fall back to the portable ones.
// The fastest set runs unless VANTREL_KERNELS names another set this processor runs.
TEST(ErrorDiffusionTest, TheFastestKernelsThisProcessorRunsAreActiveUnlessAnotherIsAsked) {
  const std::vector<const ConversionKernels*> available = AvailableKernels();
  EXPECT_STREQ(available.front()->name, "portable");
#if defined(__x86_64__)
  const char* fastest = __builtin_cpu_supports("avx2")     ? "avx2"
                        : __builtin_cpu_supports("sse4.1") ? "sse4.1"
                                                           : "portable";
  EXPECT_STREQ(available.back()->name, fastest);
#endif
  const char* asked = std::getenv("VANTREL_KERNELS");
  EXPECT_EQ(&ActiveKernels(), &ChooseKernels(available, asked));
  const struct {
    const char* wanted;
    const char* chosen;
  } cases[] = {{nullptr, available.back()->name},
               {"portable", "portable"},
               {"", available.back()->name},
               {"neon", available.back()->name},
               {"PORTABLE", available.back()->name}};
  for (const auto& c : cases) {
    EXPECT_STREQ(ChooseKernels(available, c.wanted).name, c.chosen) << (c.wanted ? c.wanted : "-");
  }
}

}  // namespace
}  // namespace vantrel
