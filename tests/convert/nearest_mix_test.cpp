// Tests of the nearest-mix rule and its vector kernels.
#include "convert/nearest_mix.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "colour/mix_colours.h"
#include "colour/palette.h"

namespace vantrel {
namespace {

// The choice written out the long way: nine (code, distance) pairs sorted by a fixed bubble
// sort of eight passes that swaps only on a strictly smaller later distance.
int BubbleSortWinner(const MixSlots& table, PackedRGB colour) {
  const int r = (colour >> 16) & 0xFF, g = (colour >> 8) & 0xFF, b = colour & 0xFF;
  std::array<std::pair<int, std::uint32_t>, 9> pairs;
  for (int k = 1; k <= 9; ++k) {
    const TColor m = table[k - 1];
    const int dr = static_cast<int>(m & 0xFF) - r;
    const int dg = static_cast<int>((m >> 8) & 0xFF) - g;
    const int db = static_cast<int>((m >> 16) & 0xFF) - b;
    pairs[k - 1] = {k, static_cast<std::uint32_t>((dr < 0 ? -dr : dr) + (dg < 0 ? -dg : dg) +
                                                  (db < 0 ? -db : db))};
  }
  for (int pass = 0; pass < 8; ++pass) {
    for (int j = 0; j < 8; ++j) {
      if (pairs[j + 1].second < pairs[j].second) std::swap(pairs[j], pairs[j + 1]);
    }
  }
  return pairs[0].first;
}

// Checks every way the library offers to find the nearest mix colour against the long way.
void ExpectAllAgree(const MixSlots& table, PackedRGB colour) {
  const int expected = BubbleSortWinner(table, colour);
  std::int32_t last = -1;
  const TColor result = NearestMix(table, colour, last);
  ASSERT_EQ(last, expected) << std::hex << "colour " << colour;
  ASSERT_EQ(result, table[expected - 1]);
  const int r = (colour >> 16) & 0xFF, g = (colour >> 8) & 0xFF, b = colour & 0xFF;
  ASSERT_EQ(NearestMixCode(table, r, g, b), expected) << std::hex << "colour " << colour;
}

TColor RandomColour(std::mt19937& rng) { return rng() & 0xFFFFFFu; }

// Tables of several kinds: random colours, tables built from random (often coinciding)
// roles, and tables drawn from a few colours so that many distances tie.
MixSlots RandomTable(std::mt19937& rng, int kind) {
  MixSlots table{};
  switch (kind) {
    case 0:
      for (TColor& c : table) c = RandomColour(rng);
      break;
    case 1: {
      ColourRoleSet roles;
      for (int role = 0; role < RoleCount; ++role) roles[role] = static_cast<int>(rng() % 16);
      table = BuildMixTable(RoleColours(roles));
      break;
    }
    default: {
      // Channel values on a coarse grid: equal distances are common.
      const auto level = [&] { return (rng() % 5) * 60u; };
      std::array<TColor, 3> few;
      for (TColor& c : few) c = MakeTColor(level(), level(), level());
      for (TColor& c : table) c = few[rng() % few.size()];
      break;
    }
  }
  return table;
}

TEST(NearestMixTest, AgreesWithTheBubbleSortOnRandomTablesAndColours) {
  std::mt19937 rng(20240611);
  for (int t = 0; t < 600; ++t) {
    const MixSlots table = RandomTable(rng, t % 3);
    for (int n = 0; n < 200; ++n) {
      PackedRGB colour;
      switch (n % 4) {
        case 0:  // anywhere
          colour = RandomColour(rng);
          break;
        case 1:  // exactly a slot colour, repacked
          colour = ToPackedRGB(table[rng() % 9]);
          break;
        case 2: {  // halfway between two slots: ties between different colours
          const TColor a = table[rng() % 9], b = table[rng() % 9];
          colour = ToPackedRGB(MixColours(a, b));
          break;
        }
        default:  // on the coarse grid, again for ties
          colour = MakePackedRGB((rng() % 9) * 30, (rng() % 9) * 30, (rng() % 9) * 30);
      }
      ExpectAllAgree(table, colour);
      if (HasFatalFailure()) return;
    }
  }
}

TEST(NearestMixTest, AgreesWithTheBubbleSortOnEveryGreyAndChannelExtreme) {
  const MixSlots table = BuildMixTable(RoleColours(DefaultColourRoles));
  for (unsigned v = 0; v < 256; ++v) {
    for (const PackedRGB colour :
         {MakePackedRGB(v, v, v), MakePackedRGB(v, 0, 0), MakePackedRGB(0, v, 0),
          MakePackedRGB(0, 0, v), MakePackedRGB(255 - v, v, 255)}) {
      ExpectAllAgree(table, colour);
      if (HasFatalFailure()) return;
    }
  }
}

struct NearestCase {
  const char* name;
  MixSlots table;
  PackedRGB colour;
  int code;
};

constexpr TColor kRed = MakeTColor(255, 0, 0);
constexpr TColor kBlue = MakeTColor(0, 0, 255);
constexpr TColor kBlack = 0;
constexpr TColor kWhite = 0xFFFFFF;

TEST(NearestMixTest, EdgeCases) {
  const NearestCase cases[] = {
      // Pure red input (red in the high byte) must meet red in the table's low byte.
      {"red is not blue",
       {kBlue, kBlue, kRed, kBlue, kBlue, kBlue, kBlue, kBlue, kBlue},
       MakePackedRGB(255, 0, 0),
       3},
      {"blue is not red",
       {kRed, kRed, kRed, kRed, kRed, kRed, kRed, kBlue, kRed},
       MakePackedRGB(0, 0, 255),
       8},
      // 765 is the largest distance; one step less must win, nothing wraps.
      {"765 loses to 764",
       {kBlack, MakeTColor(0, 0, 1), kBlack, kBlack, kBlack, kBlack, kBlack, kBlack, kBlack},
       MakePackedRGB(255, 255, 255),
       2},
      {"765 everywhere: code 1",
       {kBlack, kBlack, kBlack, kBlack, kBlack, kBlack, kBlack, kBlack, kBlack},
       MakePackedRGB(255, 255, 255),
       1},
      {"white against black only in slot 9",
       {kWhite, kWhite, kWhite, kWhite, kWhite, kWhite, kWhite, kWhite, kBlack},
       MakePackedRGB(0, 0, 0),
       9},
      {"exact colour in a higher slot",
       {kWhite, kRed, kBlue, kWhite, kWhite, 0x123456, kWhite, kWhite, kWhite},
       MakePackedRGB(0x56, 0x34, 0x12),
       6},
      {"same colour twice: lower slot",
       {kWhite, kRed, kBlue, kWhite, kWhite, 0x123456, kWhite, 0x123456, kWhite},
       MakePackedRGB(0x56, 0x34, 0x12),
       6},
      // (100,100,100) lies 30 from both slot 4 and slot 7.
      {"equal distance, different colours",
       {kBlack, kBlack, kBlack, MakeTColor(130, 100, 100), kBlack, kBlack, MakeTColor(100, 85, 85),
        kBlack, kBlack},
       MakePackedRGB(100, 100, 100),
       4},
      {"equal distance, tie reversed in slot order",
       {kBlack, kBlack, kBlack, MakeTColor(100, 85, 85), kBlack, kBlack, MakeTColor(130, 100, 100),
        kBlack, kBlack},
       MakePackedRGB(100, 100, 100),
       4},
      {"one step nearer in the last slot wins",
       {kBlack, kBlack, kBlack, MakeTColor(130, 100, 100), kBlack, kBlack, kBlack, kBlack,
        MakeTColor(100, 86, 85)},
       MakePackedRGB(100, 100, 100),
       9},
  };
  for (const NearestCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::int32_t last = 0;
    EXPECT_EQ(NearestMix(c.table, c.colour, last), c.table[c.code - 1]);
    EXPECT_EQ(last, c.code);
    ExpectAllAgree(c.table, c.colour);
  }
}

TEST(NearestMixTest, CoincidingRolesOnlyEverGiveTheLowestCode) {
  // Bitmap 1 and bitmap 2 share the background's colour: slots 2, 4 and 6 equal slot 1,
  // slot 7 equals slot 5 and slot 8 equals slot 3.
  const MixSlots shared = BuildMixTable(RoleColours(ColourRoleSet{6, 6, 1, 6, 7}));
  // All five roles one colour: every slot is that colour.
  const MixSlots single = BuildMixTable(RoleColours(ColourRoleSet{5, 5, 5, 5, 5}));
  std::mt19937 rng(7);
  std::vector<int> seen(10, 0);
  for (int n = 0; n < 20000; ++n) {
    const PackedRGB colour = RandomColour(rng);
    std::int32_t last = 0;
    NearestMix(shared, colour, last);
    ++seen[last];
    NearestMix(single, colour, last);
    EXPECT_EQ(last, 1);
  }
  for (const int never : {2, 4, 6, 7, 8}) EXPECT_EQ(seen[never], 0) << "code " << never;
  for (const int some : {1, 3, 5, 9}) EXPECT_GT(seen[some], 0) << "code " << some;
}

TEST(NearestMixTest, FeedingTheResultBackGivesTheSameColourAndCode) {
  std::mt19937 rng(99);
  for (int t = 0; t < 300; ++t) {
    const MixSlots table = RandomTable(rng, t % 3);
    for (int n = 0; n < 50; ++n) {
      std::int32_t first = 0, second = 0;
      const TColor result = NearestMix(table, RandomColour(rng), first);
      EXPECT_EQ(NearestMix(table, ToPackedRGB(result), second), result);
      EXPECT_EQ(second, first);
    }
  }
}

TEST(NearestMixTest, EachCallUsesTheTableOfThatMoment) {
  MixSlots table = BuildMixTable(RoleColours(DefaultColourRoles));
  std::int32_t last = 0;
  const PackedRGB grey = MakePackedRGB(133, 133, 133);
  NearestMix(table, grey, last);
  EXPECT_EQ(last, 9);
  table[1] = MakeTColor(133, 133, 133);  // now slot 2 is exact and lower
  NearestMix(table, grey, last);
  EXPECT_EQ(last, 2);
}

}  // namespace
}  // namespace vantrel
