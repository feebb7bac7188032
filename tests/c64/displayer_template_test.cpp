// The layout of the assembled displayer: the BASIC line, the fixed entry points and operands
// the desktop side and the interrupt chain rely on, and the zero gaps between the routines.
#include "c64/displayer_template.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace vantrel {
namespace {

// File offset k is loaded to $0800 + k - 2.
constexpr std::size_t FileOffset(unsigned address) { return address - 0x0800 + 2; }

constexpr std::size_t ShowFirstFrameOffset = FileOffset(0x0A00);
constexpr std::size_t ShowSecondFrameOffset = FileOffset(0x0E00);
constexpr std::size_t FrameRoutineSize = FileOffset(0x0DA8) - ShowFirstFrameOffset;

using Bytes = std::vector<std::uint8_t>;

// How often `pattern` occurs in template bytes [first, last].
int Occurrences(const Bytes& pattern, std::size_t first, std::size_t last) {
  int count = 0;
  auto from = DisplayerTemplate.begin() + first;
  const auto end = DisplayerTemplate.begin() + last + 1;
  while ((from = std::search(from, end, pattern.begin(), pattern.end())) != end) {
    ++count;
    ++from;
  }
  return count;
}

TEST(DisplayerTemplate, StartsWithLoadAddressBasicLineAndJump) {
  const Bytes expected = {0x00, 0x08,              // load address $0800
                          0x00,                    // $0800
                          0x0C, 0x08,              // link to $080c
                          0x0A, 0x00,              // line 10
                          0x9E,                    // SYS
                          0x32, 0x30, 0x36, 0x32,  // "2062"
                          0x00, 0x00, 0x00, 0x00,  // end of line, spare, end of program
                          0x4C, 0x53, 0x08};       // $080e JMP $0853
  EXPECT_EQ(Bytes(DisplayerTemplate.begin(), DisplayerTemplate.begin() + 19), expected);
}

TEST(DisplayerTemplate, TextThenInterruptReturnToggleAndSavedRegisters) {
  for (std::size_t i = 19; i <= 78; ++i) {
    EXPECT_GE(DisplayerTemplate[i], 0x20) << "text byte " << i;
  }
  EXPECT_EQ(DisplayerTemplate[FileOffset(0x084D)], 0x00);  // end of the text
  EXPECT_EQ(DisplayerTemplate[FileOffset(0x084E)], 0x40);  // IgnoreInterrupt: RTI
  EXPECT_EQ(DisplayerTemplate[FileOffset(0x084F)], 0x00);  // FrameToggle: frame 1 first
  for (unsigned address = 0x0850; address <= 0x0852; ++address) {
    EXPECT_EQ(DisplayerTemplate[FileOffset(address)], 0x00);  // SavedRegisters
  }
}

struct EntryCase {
  const char* name;
  unsigned address;
  std::uint8_t opcode;
};
void PrintTo(const EntryCase& c, std::ostream* out) { *out << c.name; }

class EntryPoint : public ::testing::TestWithParam<EntryCase> {};

TEST_P(EntryPoint, StartsWithItsFirstInstruction) {
  EXPECT_EQ(DisplayerTemplate[FileOffset(GetParam().address)], GetParam().opcode);
}

INSTANTIATE_TEST_SUITE_P(DisplayerTemplate, EntryPoint,
                         ::testing::Values(EntryCase{"DisplayerStartSei", 0x0853, 0x78},
                                           EntryCase{"RasterIrqAStaSaved", 0x093A, 0x8D},
                                           EntryCase{"RasterIrqBTxs", 0x0965, 0x9A},
                                           EntryCase{"ShowFirstFrameLda", 0x0A00, 0xA9},
                                           EntryCase{"ShowSecondFrameLda", 0x0E00, 0xA9}),
                         [](const auto& info) { return std::string(info.param.name); });

// RasterIrqB directly follows the 14 NOPs in which line 41's interrupt arrives.
TEST(DisplayerTemplate, RasterIrqAEndsInFourteenNops) {
  for (unsigned address = 0x0957; address <= 0x0964; ++address) {
    EXPECT_EQ(DisplayerTemplate[FileOffset(address)], 0xEA) << std::hex << address;
  }
  EXPECT_EQ(DisplayerTemplate[FileOffset(0x0956)], 0x58);  // CLI
}

struct ReferenceCase {
  const char* name;
  Bytes code;
  unsigned first, last;  // the routine that must hold the code once
};
void PrintTo(const ReferenceCase& c, std::ostream* out) { *out << c.name; }

class FixedPointReference : public ::testing::TestWithParam<ReferenceCase> {};

TEST_P(FixedPointReference, IsMadeOnce) {
  const ReferenceCase& c = GetParam();
  EXPECT_EQ(Occurrences(c.code, FileOffset(c.first), FileOffset(c.last)), 1);
}

INSTANTIATE_TEST_SUITE_P(
    DisplayerTemplate, FixedPointReference,
    ::testing::Values(ReferenceCase{"StartPointsIrqAtRasterIrqA",
                                    {0xA9, 0x3A, 0x8D, 0xFE, 0xFF, 0xA9, 0x09, 0x8D, 0xFF, 0xFF},
                                    0x0853,
                                    0x0939},
                      ReferenceCase{"StartPointsNmiAndResetAtRti",
                                    {0xA9, 0x4E, 0x8D, 0xFA, 0xFF, 0x8D, 0xFC, 0xFF, 0xA9, 0x08,
                                     0x8D, 0xFB, 0xFF, 0x8D, 0xFD, 0xFF},
                                    0x0853,
                                    0x0939},
                      ReferenceCase{"IrqAPointsIrqAtRasterIrqB",
                                    {0xA9, 0x65, 0x8D, 0xFE, 0xFF, 0xA9, 0x09, 0x8D, 0xFF, 0xFF},
                                    0x093A,
                                    0x0964},
                      ReferenceCase{"IrqBPointsIrqBackAtRasterIrqA",
                                    {0xA9, 0x3A, 0x8D, 0xFE, 0xFF, 0xA9, 0x09, 0x8D, 0xFF, 0xFF},
                                    0x0965,
                                    0x09FF},
                      ReferenceCase{"IrqBCallsShowFirstFrame", {0x20, 0x00, 0x0A}, 0x0965, 0x09FF},
                      ReferenceCase{
                          "IrqBCallsShowSecondFrame", {0x20, 0x00, 0x0E}, 0x0965, 0x09FF}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DisplayerTemplate, SpriteColourOperandsHoldTheirTemplateValues) {
  EXPECT_EQ(DisplayerTemplate[529], 0xA9);  // LDA #
  EXPECT_EQ(DisplayerTemplate[530], 0x0A);  // $0a10, where the save puts Sprite1Colour
  EXPECT_EQ(DisplayerTemplate[1553], 0xA9);
  EXPECT_EQ(DisplayerTemplate[1554], 0x07);  // $0e10
}

// Each gap starts right after its routine's last byte and is zero to its end; the last one
// runs to the end of the table, so everything ends below $1200.
TEST(DisplayerTemplate, ZeroGapsBetweenRoutines) {
  const struct {
    const char* after;
    std::size_t first, last;
  } gaps[] = {{"DisplayerStart", FileOffset(0x08FC), FileOffset(0x0939)},
              {"RasterIrqB", FileOffset(0x09B3), FileOffset(0x09FF)},
              {"ShowFirstFrame", FileOffset(0x0DA8), FileOffset(0x0DFF)},
              {"ShowSecondFrame", FileOffset(0x11A8), DisplayerTemplateSize - 1}};
  for (const auto& gap : gaps) {
    EXPECT_NE(DisplayerTemplate[gap.first - 1], 0) << gap.after << " ends earlier";
    for (std::size_t i = gap.first; i <= gap.last; ++i) {
      ASSERT_EQ(DisplayerTemplate[i], 0) << "after " << gap.after << ", file offset " << i;
    }
  }
  EXPECT_EQ(DisplayerTemplate[FileOffset(0x0DA7)], 0x60);  // RTS
  EXPECT_EQ(DisplayerTemplate[FileOffset(0x11A7)], 0x60);
  EXPECT_EQ(DisplayerTemplate[FileOffset(0x09B2)], 0x40);  // RTI
}

// The two frame routines are one routine but for the VIC bank, the colour operand and the
// bank of the 80 sprite pointer stores.
TEST(DisplayerTemplate, FrameRoutinesDifferOnlyInBankColourAndPointers) {
  int pointerStores = 0;
  for (std::size_t i = 0; i < FrameRoutineSize; ++i) {
    const std::uint8_t first = DisplayerTemplate[ShowFirstFrameOffset + i];
    const std::uint8_t second = DisplayerTemplate[ShowSecondFrameOffset + i];
    if (first == second) continue;
    if (i == 6) {  // $dd00 value
      EXPECT_EQ(first, 0x02);
      EXPECT_EQ(second, 0x00);
    } else if (i == 16) {  // sprite colour
      EXPECT_EQ(first, 0x0A);
      EXPECT_EQ(second, 0x07);
    } else {
      const std::uint8_t opcode = DisplayerTemplate[ShowFirstFrameOffset + i - 2];
      const std::uint8_t low = DisplayerTemplate[ShowFirstFrameOffset + i - 1];
      const bool screen0 = first == 0x43 && second == 0xC3;
      const bool screen1 = first == 0x47 && second == 0xC7;
      EXPECT_TRUE(opcode == 0x8D && low >= 0xF8 && (screen0 || screen1)) << "routine byte " << i;
      ++pointerStores;
    }
  }
  EXPECT_EQ(pointerStores, 80);
}

// Row 5 switches on a bad line: Y is loaded before the wait for line 154, and 18 NOPs later
// STY $d018 falls between the pointer fetch for line 155 and the bad line (measured in VICE).
TEST(DisplayerTemplate, Row5SwitchWaitsEighteenNopsAfterLine154) {
  Bytes row5 = {0xA0, 0x18, 0xA2, 0x9A, 0xEC, 0x12, 0xD0, 0xD0, 0xFB};
  row5.insert(row5.end(), 18, 0xEA);
  row5.insert(row5.end(), {0x8C, 0x18, 0xD0});
  for (const std::size_t routine : {ShowFirstFrameOffset, ShowSecondFrameOffset}) {
    EXPECT_EQ(Occurrences(row5, routine, routine + FrameRoutineSize - 1), 1);
  }
}

}  // namespace
}  // namespace vantrel
