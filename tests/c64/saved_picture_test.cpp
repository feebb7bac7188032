// Saved pictures read back: every kind of file gives back its layers, roles and target exactly,
// and saving them again gives the same bytes; anything else is refused or not recognised.
#include "c64/saved_picture.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "c64/d64_image.h"
#include "c64/displayer_template.h"
#include "c64/memory_image.h"
#include "c64/output_files.h"
#include "c64/packed_executable.h"
#include "core/error.h"
#include "support/random_layers.h"

namespace vantrel {
namespace {

// The roles a picture starts with in the window.
constexpr ColourRoleSet DefaultColourRoles{0, 2, 3, 7, 10};

using testsupport::RandomLayers;

// The file of `kind` the program saves for a conversion to `layers` in `roles` (or in colours
// per cell); packed, the executable alone or on the disk holds the packed one.
std::vector<std::uint8_t> Saved(const LayerPlanes& layers, const ColourRoleSet& roles,
                                SavedKind kind, Machine machine, bool packed = false,
                                const std::optional<CellColours>& cells = std::nullopt) {
  C64Memory image{};
  BuildMemoryImage(layers, image);
  if (cells) {
    FillScreenColours(*cells, image);
  } else {
    FillScreenColours(roles, image);
  }
  FileBytes buffer{};
  if (kind == SavedKind::Data) {
    AssembleDataFile(image, roles, buffer);
    return {buffer.begin(), buffer.begin() + DataFileSize};
  }
  AssembleExecutable(image, roles, buffer, machine);
  const std::span<const std::uint8_t> plain(buffer.data(), ExecutableFileSize);
  std::vector<std::uint8_t> executable(plain.begin(), plain.end());
  if (packed) executable = PackExecutable(plain);
  if (kind == SavedKind::Executable) return executable;
  return BuildD64Image(executable, "MY PICTURE");
}

TEST(SavedPicture, EveryKindComesBackExactlyAndSavesAgainByteForByte) {
  const struct {
    SavedKind kind;
    Machine machine;
    bool packed = false;
  } cases[] = {
      {SavedKind::Executable, Machine::Pal},
      {SavedKind::Executable, Machine::Ntsc},
      {SavedKind::Executable, Machine::OldNtsc},
      {SavedKind::Executable, Machine::Drean},
      {SavedKind::Executable, Machine::Any},
      {SavedKind::DiskImage, Machine::Any},
      {SavedKind::Data, Machine::Pal},
      {SavedKind::Executable, Machine::Pal, true},
      {SavedKind::Executable, Machine::Any, true},
      {SavedKind::DiskImage, Machine::Ntsc, true},
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
        SCOPED_TRACE(std::to_string(static_cast<int>(c.kind)) + (c.packed ? " packed" : "") +
                     " for " + std::string(MachineName(c.machine)) + ", seed " +
                     std::to_string(seed) + (cells ? ", colours per cell" : ""));
        const LayerPlanes layers = RandomLayers(seed++);
        const std::vector<std::uint8_t> file =
            Saved(layers, roles, c.kind, c.machine, c.packed, cells);
        ASSERT_EQ(SniffSavedPicture(file), c.kind);
        const SavedPicture picture = ReadSavedPicture(file, "picture");
        EXPECT_EQ(picture.kind, c.kind);
        EXPECT_EQ(picture.packed, c.packed);
        EXPECT_EQ(picture.roles, roles);
        EXPECT_EQ(picture.cells, cells);
        EXPECT_EQ(picture.layers.Bitmap1Bits, layers.Bitmap1Bits);
        EXPECT_EQ(picture.layers.Sprite1Bits, layers.Sprite1Bits);
        EXPECT_EQ(picture.layers.Bitmap2Bits, layers.Bitmap2Bits);
        EXPECT_EQ(picture.layers.Sprite2Bits, layers.Sprite2Bits);
        if (c.kind != SavedKind::Data) {
          // Drean's displayer is NTSC's, byte for byte: either reads as the first of them.
          EXPECT_EQ(DisplayerTemplateFor(picture.machine), DisplayerTemplateFor(c.machine));
        }
        if (c.kind == SavedKind::DiskImage) {
          EXPECT_EQ(picture.c64Name, "MY PICTURE");
        }
        EXPECT_EQ(Saved(picture.layers, picture.roles, c.kind, picture.machine, picture.packed,
                        picture.cells),
                  file);
        // Cells that all hold the roles' colours save today's bytes and read back as roles.
        if (!cells) {
          EXPECT_EQ(Saved(layers, roles, c.kind, c.machine, c.packed, UniformCellColours(roles)),
                    file);
        }
      }
    }
  }
}

TEST(SavedPicture, WhatIsNotSuchAPictureIsRefusedOrNotRecognised) {
  const LayerPlanes layers = RandomLayers(99);
  const auto saved = [&](SavedKind kind) {
    return Saved(layers, DefaultColourRoles, kind, Machine::Pal);
  };
  const std::vector<std::uint8_t> exe = saved(SavedKind::Executable);
  const std::vector<std::uint8_t> data = saved(SavedKind::Data);
  const std::vector<std::uint8_t> disk = saved(SavedKind::DiskImage);
  const std::vector<std::uint8_t> packed =
      Saved(layers, DefaultColourRoles, SavedKind::Executable, Machine::Pal, true);

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

  std::vector<std::uint8_t> elsewhere = exe;
  elsewhere[1] = 0xC0;  // loads at $C000
  const std::string program = "x is not a program this converter saved: ";
  const std::string dataFile = "x is not a data file this converter saved: ";
  const std::string notLaidOut = "its picture data is not laid out as this program lays it out";
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* message;  // the start of the refusal; null: not recognised at all
    // What a file named as a saved picture of this kind says when it is not recognised.
    SavedKind namedAs = SavedKind::Executable;
    std::string named = {};
  } cases[] = {
      {"executable cut in its picture", cut(exe, 20000),
       "x ends early: a picture executable of 35840 bytes, but the file has 20000"},
      {"executable cut in its displayer", cut(exe, 1000),
       "x ends early: a picture executable of 35840 bytes, but the file has 1000"},
      {"executable with more after it", longer, "x is not a picture saved by Vantrel Converter"},
      {"executable with a stray byte in the border", changed(exe, 2562 + 3, 0x55),
       "x is not a picture saved by Vantrel Converter"},
      {"executable with a sprite colour above 15", changed(exe, 530, 0x13), nullptr,
       SavedKind::Executable, program + "its program is not the picture displayer"},
      {"another program", changed(exe, 20, 0xEA), nullptr, SavedKind::Executable,
       program + "its program is not the picture displayer"},
      {"a program that loads elsewhere", elsewhere, nullptr, SavedKind::Executable,
       program + "it loads at $C000"},
      {"executable cut before it can be told", cut(exe, 10), nullptr, SavedKind::Executable,
       program + "it ends after 10 bytes"},
      {"data file with a stray byte beside the picture", changed(data, 0x2000 + 3, 1), nullptr,
       SavedKind::Data, dataFile + notLaidOut},
      {"data file with a screen colour unlike the others", changed(data, 100, 0x12), nullptr,
       SavedKind::Data, dataFile + notLaidOut},
      {"data file with a sprite colour above 15", changed(data, 2025, 0x20), nullptr,
       SavedKind::Data, dataFile + notLaidOut},
      {"data file cut short", cut(data, 32767), nullptr, SavedKind::Data,
       dataFile + "a data file has 32768 bytes, this file 32767"},
      {"packed executable cut short", cut(packed, packed.size() - 1),
       "x is not a picture saved by Vantrel Converter: its packed data is damaged"},
      {"disk with a packed executable cut short",
       BuildD64Image(cut(packed, packed.size() - 100), "X"),
       "x is not a picture saved by Vantrel Converter: its packed data is damaged"},
      {"another program where the depacker is", changed(packed, 40, 0xEA), nullptr,
       SavedKind::Executable, program + "its program is not the picture displayer"},
      {"disk without a program", emptyDisk, "x is not a picture saved by Vantrel Converter"},
      {"disk whose program runs in a circle", loopingDisk,
       "x is not a picture saved by Vantrel Converter"},
      {"disk image cut short", cut(disk, 100000), nullptr, SavedKind::DiskImage,
       "x is not a disk image this converter saved: a disk image has 174848 or 175531 bytes, "
       "this file 100000"},
      {"empty", {}, nullptr, SavedKind::Executable, program + "it ends after 0 bytes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.message) {
      EXPECT_EQ(SniffSavedPicture(c.bytes), std::nullopt);
      EXPECT_THROW(ReadSavedPicture(c.bytes, "x"), VantrelError);
      EXPECT_EQ(NotSavedHere(c.bytes, c.namedAs, "x").what(), c.named);
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
