// The displayers of the target machines: every one keeps the fixed points the desktop side
// and the interrupt chain rely on, the PAL one keeps every byte, each spends the delays its
// machine needs, and "Any C64" finds each machine by the length of its frames and patches
// that machine's delays in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "c64/displayer_template.h"
#include "c64/machine.h"

namespace vantrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The table's bytes as a C64 would hold them, from $0800 on.
struct Memory {
  Bytes bytes;

  explicit Memory(const DisplayerBytes& displayer)
      : bytes(displayer.begin() + 2, displayer.end()) {}
  std::uint8_t At(unsigned address) const { return bytes.at(address - 0x0800); }
  unsigned Word(unsigned address) const { return At(address) | At(address + 1) << 8; }
  // The address of the one place in [first, last] where `pattern` starts.
  std::optional<unsigned> Find(const Bytes& pattern, unsigned first, unsigned last) const {
    std::optional<unsigned> found;
    for (unsigned address = first; address + pattern.size() <= last + 1; ++address) {
      if (std::equal(pattern.begin(), pattern.end(), bytes.begin() + (address - 0x0800))) {
        if (found) return std::nullopt;
        found = address;
      }
    }
    return found;
  }
};

// Cycles from `start` until execution reaches `end`, for the code the delays are made of:
// NOP, BIT zp, CMP #, CMP zp and BEQ taken (Z is set there). Nothing when other code comes
// first or execution passes `end`.
std::optional<int> DelayCycles(const Memory& memory, unsigned start, unsigned end) {
  int cycles = 0;
  unsigned pc = start;
  while (pc < end) {
    switch (memory.At(pc)) {
      case 0xEA:  // NOP
        cycles += 2, pc += 1;
        break;
      case 0xC9:  // CMP #
        cycles += 2, pc += 2;
        break;
      case 0x24:  // BIT zp
      case 0xC5:  // CMP zp
        cycles += 3, pc += 2;
        break;
      case 0xF0:  // BEQ, taken, within the page
        cycles += 3;
        pc = pc + 2 + static_cast<std::int8_t>(memory.At(pc + 1));
        break;
      default:
        return std::nullopt;
    }
  }
  if (pc != end) return std::nullopt;
  return cycles;
}

// RasterIrqB: TXS, LDX #8, DEX / BNE (41 cycles), the machine's delay, LDA #41, CMP $d012.
std::optional<int> IrqBDelay(const Memory& memory) {
  const auto start = memory.Find({0x9A, 0xA2, 0x08, 0xCA, 0xD0, 0xFD}, 0x0853, 0x09FF);
  if (!start) return std::nullopt;
  const auto end = memory.Find({0xA9, 0x29, 0xCD, 0x12, 0xD0}, *start, *start + 60);
  if (!end) return std::nullopt;
  return DelayCycles(memory, *start + 6, *end);
}

// Row 5 of the frame routine at `routine`: LDY #$18, wait for line 154, the delay, STY $d018.
std::optional<int> Row5Delay(const Memory& memory, unsigned routine) {
  const auto wait =
      memory.Find({0xA0, 0x18, 0xA2, 0x9A, 0xEC, 0x12, 0xD0, 0xD0, 0xFB}, routine, routine + 0x3FF);
  if (!wait) return std::nullopt;
  const auto store = memory.Find({0x8C, 0x18, 0xD0}, *wait, *wait + 80);
  if (!store) return std::nullopt;
  return DelayCycles(memory, *wait + 9, *store);
}

// FNV-1a over the whole table.
std::uint64_t Fingerprint(const DisplayerBytes& bytes) {
  std::uint64_t hash = 0xCBF29CE484222325u;
  for (const std::uint8_t byte : bytes) hash = (hash ^ byte) * 0x100000001B3u;
  return hash;
}

// The PAL executable's displayer as it has always been made.
TEST(MachineDisplayers, PalKeepsEveryByte) {
  EXPECT_EQ(Fingerprint(DisplayerTemplate), 0xB65F1F8D32AAE7E3u);
  EXPECT_EQ(&DisplayerTemplateFor(Machine::Pal), &DisplayerTemplate);
}

std::string CaseName(Machine machine) {
  std::string name(MachineName(machine));
  std::erase(name, '-');
  return name;
}

class Displayer : public ::testing::TestWithParam<Machine> {};

TEST_P(Displayer, KeepsTheFixedPointsAndTheInterruptChain) {
  const Memory memory(DisplayerTemplateFor(GetParam()));
  const Memory pal(DisplayerTemplate);
  // Load address, BASIC line 10 SYS 2062, JMP $0853, the name, the RTI, the toggle and the
  // saved registers: the first 85 file bytes of every displayer are the PAL one's.
  EXPECT_TRUE(std::equal(memory.bytes.begin(), memory.bytes.begin() + 0x53, pal.bytes.begin()));
  EXPECT_EQ(DisplayerTemplateFor(GetParam())[0], 0x00);
  EXPECT_EQ(DisplayerTemplateFor(GetParam())[1], 0x08);
  EXPECT_EQ(memory.At(0x0853), 0x78);  // DisplayerStart: SEI

  // The start points the IRQ vector at RasterIrqA, which saves A first; RasterIrqA points it
  // at RasterIrqB, which starts with TXS right after RasterIrqA's CLI and 14 NOPs.
  const auto toIrqA = memory.Find({0x8D, 0xFE, 0xFF}, 0x0853, 0x08F0);
  ASSERT_TRUE(toIrqA);
  const unsigned irqA = memory.At(*toIrqA - 1) | memory.At(*toIrqA + 4) << 8;
  EXPECT_EQ(memory.At(irqA), 0x8D);  // STA SavedRegisters
  EXPECT_EQ(memory.Word(irqA + 1), 0x0850u);
  const auto toIrqB = memory.Find({0x8D, 0xFE, 0xFF}, irqA, irqA + 20);
  ASSERT_TRUE(toIrqB);
  const unsigned irqB = memory.At(*toIrqB - 1) | memory.At(*toIrqB + 4) << 8;
  EXPECT_EQ(memory.At(irqB - 15), 0x58);  // CLI
  for (unsigned nop = irqB - 14; nop < irqB; ++nop) EXPECT_EQ(memory.At(nop), 0xEA);
  EXPECT_EQ(memory.At(irqB), 0x9A);  // TXS

  // The frame routines at $0a00 and $0e00 with their sprite-colour operands at $0a10 and
  // $0e10, the same code but for the VIC bank, the colour and the banks of the 80 pointer
  // stores; then zero up to the image at $1200.
  EXPECT_EQ(memory.At(0x0A0F), 0xA9);
  EXPECT_EQ(memory.At(0x0A10), 0x0A);
  EXPECT_EQ(memory.At(0x0E0F), 0xA9);
  EXPECT_EQ(memory.At(0x0E10), 0x07);
  int pointerStores = 0;
  for (unsigned offset = 0; offset < 0x400; ++offset) {
    const std::uint8_t first = memory.At(0x0A00 + offset);
    const std::uint8_t second = memory.At(0x0E00 + offset);
    if (first == second || offset == 0x06 || offset == 0x10) continue;
    const bool pointerHigh = (first == 0x43 && second == 0xC3) || (first == 0x47 && second == 0xC7);
    EXPECT_TRUE(pointerHigh && memory.At(0x0A00 + offset - 2) == 0x8D) << "routine byte " << offset;
    ++pointerStores;
  }
  EXPECT_EQ(pointerStores, 80);
  EXPECT_EQ(memory.At(0x0A06), 0x02);  // $dd00: bank $4000
  EXPECT_EQ(memory.At(0x0E06), 0x00);  // bank $c000
  const auto lastCode = std::find_if(memory.bytes.rbegin(), memory.bytes.rend(),
                                     [](std::uint8_t byte) { return byte != 0; });
  EXPECT_EQ(*lastCode, 0x60);                                      // the RTS of ShowSecondFrame ...
  EXPECT_LT(memory.bytes.rend() - lastCode - 1, 0x1200 - 0x0800);  // ... below $1200
}

INSTANTIATE_TEST_SUITE_P(MachineDisplayers, Displayer, ::testing::ValuesIn(AllMachines),
                         [](const auto& info) { return CaseName(info.param); });

struct DelayCase {
  Machine machine;
  int row5Cycles;  // measured in x64sc (see displayer.asm)
};
void PrintTo(const DelayCase& c, std::ostream* out) { *out << MachineName(c.machine); }

class FixedMachineDelays : public ::testing::TestWithParam<DelayCase> {};

TEST_P(FixedMachineDelays, AreSpentBeforeLine42AndRow5) {
  const Memory memory(DisplayerTemplateFor(GetParam().machine));
  // RasterIrqB reads $d012 a line length less 17 cycles after its TXS.
  EXPECT_EQ(IrqBDelay(memory), RasterTimingOf(GetParam().machine)->lineCycles - 17 - 41);
  EXPECT_EQ(Row5Delay(memory, 0x0A00), GetParam().row5Cycles);
  EXPECT_EQ(Row5Delay(memory, 0x0E00), GetParam().row5Cycles);
}

INSTANTIATE_TEST_SUITE_P(MachineDisplayers, FixedMachineDelays,
                         ::testing::Values(DelayCase{Machine::Pal, 36},
                                           DelayCase{Machine::Ntsc, 42},
                                           DelayCase{Machine::OldNtsc, 34},
                                           DelayCase{Machine::Drean, 42}),
                         [](const auto& info) { return CaseName(info.param.machine); });

// Any C64's detection table at $09f0: the machine found (none yet), the high bytes of the
// frame lengths that part the machines, the machines in that order, and for each the offsets
// of RasterIrqB's slide and of row 5's. DetectMachine stores the column's offsets into the
// branches; patched so, the displayer must spend each machine's delays: those of the
// machine's own displayer, but for PAL, whose displayer reaches its two frame routines one
// cycle apart where Any's does not (34 cycles measured for row 5 there).
TEST(MachineDisplayers, AnyC64FindsEachMachineAndSpendsItsDelays) {
  const Memory any(AnyDisplayerTemplate);
  EXPECT_EQ(any.At(0x0854), 0x20);  // JSR DetectMachine, before anything else
  EXPECT_EQ(any.At(0x09F0), 4);     // DetectedMachine: Any, until the start finds out
  const unsigned detect = any.Word(0x0855);

  // DetectMachine: LDA IrqBOffsets,X / STA branch; LDA Row5Offsets,X / STA / STA.
  const auto irqBStore = any.Find({0xBD, 0xF8, 0x09, 0x8D}, detect, 0x09EF);
  const auto row5Store = any.Find({0xBD, 0xFC, 0x09, 0x8D}, detect, 0x09EF);
  ASSERT_TRUE(irqBStore && row5Store);
  const unsigned irqBOperand = any.Word(*irqBStore + 4);
  const unsigned row5First = any.Word(*row5Store + 4);
  ASSERT_EQ(any.At(*row5Store + 6), 0x8D);
  const unsigned row5Second = any.Word(*row5Store + 7);
  EXPECT_EQ(row5Second - row5First, 0x0400u);  // the same place in the second routine

  const struct {
    Machine machine;
    int row5Cycles;
  } expected[] = {
      {Machine::Pal, 34}, {Machine::Ntsc, 42}, {Machine::OldNtsc, 34}, {Machine::Drean, 42}};
  for (const auto& e : expected) {
    SCOPED_TRACE(std::string(MachineName(e.machine)));
    const int frame = RasterTimingOf(e.machine)->FrameCycles();
    // The timer starts and stops within a few polls of line 100's start.
    for (const int measured : {frame - 70, frame, frame + 70}) {
      unsigned column = 0;
      while (column < 3 && (measured >> 8) >= any.At(0x09F1 + column)) ++column;
      ASSERT_EQ(any.At(0x09F4 + column), static_cast<int>(e.machine)) << measured << " cycles";

      Memory patched = any;
      patched.bytes[irqBOperand - 0x0800] = any.At(0x09F8 + column);
      patched.bytes[row5First - 0x0800] = any.At(0x09FC + column);
      patched.bytes[row5Second - 0x0800] = any.At(0x09FC + column);
      EXPECT_EQ(IrqBDelay(patched), RasterTimingOf(e.machine)->lineCycles - 17 - 41);
      EXPECT_EQ(Row5Delay(patched, 0x0A00), e.row5Cycles);
      EXPECT_EQ(Row5Delay(patched, 0x0E00), e.row5Cycles);
    }
  }
}

struct NameCase {
  Machine machine;
  const char* caption;
  const char* name;
  std::vector<std::string_view> models;
};
void PrintTo(const NameCase& c, std::ostream* out) { *out << c.caption; }

class MachineNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(MachineNames, CaptionNameAndModels) {
  const NameCase& c = GetParam();
  EXPECT_EQ(MachineCaption(c.machine), c.caption);
  EXPECT_EQ(MachineName(c.machine), c.name);
  EXPECT_EQ(MachineFromName(c.name), c.machine);
  const auto models = ViceModels(c.machine);
  EXPECT_EQ(std::vector<std::string_view>(models.begin(), models.end()), c.models);
}

INSTANTIATE_TEST_SUITE_P(
    Machines, MachineNames,
    ::testing::Values(
        NameCase{Machine::Pal, "PAL", "pal", {"c64", "c64c"}},
        NameCase{Machine::Ntsc, "NTSC", "ntsc", {"ntsc"}},
        NameCase{Machine::OldNtsc, "Old NTSC", "ntsc-old", {"oldntsc"}},
        NameCase{Machine::Drean, "Drean", "drean", {"drean"}},
        NameCase{Machine::Any, "Any C64", "any", {"c64", "c64c", "ntsc", "oldntsc", "drean"}}),
    [](const auto& info) { return CaseName(info.param.machine); });

TEST(Machines, OtherNamesAreNoMachine) {
  for (const char* name : {"", "PAL", "Pal", "oldntsc", "ntsc-new", "any ", "c64"}) {
    EXPECT_EQ(MachineFromName(name), std::nullopt) << '"' << name << '"';
  }
}

}  // namespace
}  // namespace vantrel
