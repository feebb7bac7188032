// Saved pictures read back: every kind of file gives back its layers, roles and target exactly,
// and saving them again gives the same bytes; anything else is refused or not recognised.
#include "c64/saved_picture.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "c64/displayer_template.h"
#include "session/session.h"

namespace vantrel {
namespace {

LayerPlanes RandomLayers(unsigned seed) {
  std::mt19937 rng(seed);
  LayerPlanes layers;
  for (Plane* plane :
       {&layers.Bitmap1Bits, &layers.Sprite1Bits, &layers.Bitmap2Bits, &layers.Sprite2Bits}) {
    for (std::uint8_t& bit : *plane) bit = rng() & 1;
  }
  return layers;
}

std::vector<std::uint8_t> Saved(Session& session, OutputKind kind, Machine machine) {
  const auto bytes = session.Output(kind, {machine, "MY PICTURE"});
  return {bytes.begin(), bytes.end()};
}

TEST(SavedPicture, EveryKindComesBackExactlyAndSavesAgainByteForByte) {
  const struct {
    OutputKind kind;
    Machine machine;
    SavedKind read;
  } cases[] = {
      {OutputKind::Executable, Machine::Pal, SavedKind::Executable},
      {OutputKind::Executable, Machine::Ntsc, SavedKind::Executable},
      {OutputKind::Executable, Machine::OldNtsc, SavedKind::Executable},
      {OutputKind::Executable, Machine::Drean, SavedKind::Executable},
      {OutputKind::Executable, Machine::Any, SavedKind::Executable},
      {OutputKind::DiskImage, Machine::Any, SavedKind::DiskImage},
      {OutputKind::Data, Machine::Pal, SavedKind::Data},
  };
  const ColourRoleSet roleSets[] = {DefaultColourRoles, {15, 0, 15, 0, 15}, {6, 14, 3, 1, 9}};
  // Colours per cell: none, and every cell its own (the first cell's are the roles', as a
  // picture read back gives them).
  std::mt19937 rng(5);
  CellColours own;
  for (CellColourSet& cell : own) {
    cell = {static_cast<std::uint8_t>(rng() % 16), static_cast<std::uint8_t>(rng() % 16),
            static_cast<std::uint8_t>(rng() % 16), static_cast<std::uint8_t>(rng() % 16)};
  }
  own[0] = {6, 14, 6, 1};
  const std::optional<CellColours> cellTables[] = {std::nullopt, own};
  unsigned seed = 1;
  for (const auto& c : cases) {
    for (const ColourRoleSet& roles : roleSets) {
      for (const std::optional<CellColours>& cells : cellTables) {
        if (cells && roles != roleSets[2]) continue;
        SCOPED_TRACE(std::to_string(static_cast<int>(c.kind)) + " for " +
                     std::string(MachineName(c.machine)) + ", seed " + std::to_string(seed) +
                     (cells ? ", colours per cell" : ""));
        Session original;
        original.TakeConversion(RandomLayers(seed++), roles, cells);
        const std::vector<std::uint8_t> file = Saved(original, c.kind, c.machine);
        ASSERT_EQ(SniffSavedPicture(file), c.read);
        const SavedPicture picture = ReadSavedPicture(file, "picture");
        EXPECT_EQ(picture.kind, c.read);
        EXPECT_EQ(picture.roles, roles);
        EXPECT_EQ(picture.cells, cells);
        EXPECT_EQ(picture.layers.Bitmap1Bits, original.Layers().Bitmap1Bits);
        EXPECT_EQ(picture.layers.Sprite1Bits, original.Layers().Sprite1Bits);
        EXPECT_EQ(picture.layers.Bitmap2Bits, original.Layers().Bitmap2Bits);
        EXPECT_EQ(picture.layers.Sprite2Bits, original.Layers().Sprite2Bits);
        if (c.read != SavedKind::Data) {
          // Drean's displayer is NTSC's, byte for byte: either reads as the first of them.
          EXPECT_EQ(DisplayerTemplateFor(picture.machine), DisplayerTemplateFor(c.machine));
        }
        if (c.read == SavedKind::DiskImage) {
          EXPECT_EQ(picture.c64Name, "MY PICTURE");
        }

        Session again;
        again.TakeConversion(picture.layers, picture.roles, picture.cells);
        EXPECT_EQ(Saved(again, c.kind, picture.machine), file);
        EXPECT_EQ(Saved(again, OutputKind::Png, picture.machine),
                  Saved(original, OutputKind::Png, c.machine));
        // Cells that all hold the roles' colours save today's bytes and read back as roles.
        if (!cells) {
          Session uniform;
          uniform.TakeConversion(original.Layers(), roles, UniformCellColours(roles));
          EXPECT_EQ(Saved(uniform, c.kind, c.machine), file);
        }
      }
    }
  }
}

// A data file whose screens another program wrote: a cell's colours changed in both screens
// of each bank open as colours per cell, shown as the C64 shows them, and save again unchanged.
TEST(SavedPicture, ScreensWrittenElsewhereOpenWithTheirCellsColours) {
  Session session;
  session.TakeConversion(RandomLayers(7), DefaultColourRoles);
  std::vector<std::uint8_t> data = Saved(session, OutputKind::Data, Machine::Pal);
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
  EXPECT_EQ(Saved(again, OutputKind::Data, Machine::Pal), data);
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

TEST(SavedPicture, WhatIsNotSuchAPictureIsRefusedOrNotRecognised) {
  Session session;
  session.TakeConversion(RandomLayers(99), DefaultColourRoles);
  const std::vector<std::uint8_t> exe = Saved(session, OutputKind::Executable, Machine::Pal);
  const std::vector<std::uint8_t> data = Saved(session, OutputKind::Data, Machine::Pal);
  const std::vector<std::uint8_t> disk = Saved(session, OutputKind::DiskImage, Machine::Pal);

  const auto changed = [](std::vector<std::uint8_t> bytes, std::size_t at, std::uint8_t value) {
    bytes[at] = value;
    return bytes;
  };
  const auto cut = [](const std::vector<std::uint8_t>& bytes, std::size_t size) {
    return std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + size);
  };
  std::vector<std::uint8_t> longer = exe;
  longer.push_back(1);
  std::vector<std::uint8_t> emptyDisk = disk;
  emptyDisk[(17 * 21 + 1) * 256 + 2] = 0;  // track 18 sector 1: its entry is no program now
  std::vector<std::uint8_t> loopingDisk = disk;
  const std::size_t firstBlock = 16 * 21 * 256;  // track 17, sector 0: points to itself
  loopingDisk[firstBlock] = 17;
  loopingDisk[firstBlock + 1] = 0;

  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* message;  // the start of the refusal; null: not recognised at all
  } cases[] = {
      {"executable cut in its picture", cut(exe, 20000),
       "x ends early: a picture executable of 35840 bytes, but the file has 20000"},
      {"executable cut in its displayer", cut(exe, 1000),
       "x ends early: a picture executable of 35840 bytes, but the file has 1000"},
      {"executable with more after it", longer, "x is not a picture saved by Vantrel Converter"},
      {"executable with a stray byte in the border", changed(exe, 2562 + 3, 0x55),
       "x is not a picture saved by Vantrel Converter"},
      {"executable with a sprite colour above 15", changed(exe, 530, 0x13), nullptr},
      {"another program", changed(exe, 20, 0xEA), nullptr},
      {"data file with a stray byte beside the picture", changed(data, 0x2000 + 3, 1), nullptr},
      {"data file with a screen byte unlike its copy in the other screen", changed(data, 100, 0x12),
       nullptr},
      {"data file with a sprite colour above 15", changed(data, 2025, 0x20), nullptr},
      {"data file cut short", cut(data, 32767), nullptr},
      {"disk without a program", emptyDisk, "x is not a picture saved by Vantrel Converter"},
      {"disk whose program runs in a circle", loopingDisk,
       "x is not a picture saved by Vantrel Converter"},
      {"empty", {}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.message) {
      EXPECT_EQ(SniffSavedPicture(c.bytes), std::nullopt);
      EXPECT_THROW(ReadSavedPicture(c.bytes, "x"), VantrelError);
      continue;
    }
    try {
      ReadSavedPicture(c.bytes, "x");
      ADD_FAILURE() << "accepted";
    } catch (const VantrelError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(c.message, 0), 0u) << error.what();
    }
  }
}

}  // namespace
}  // namespace vantrel
