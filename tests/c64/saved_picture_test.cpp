// Saved pictures read back: every kind of file gives back its layers, roles and target exactly,
// and saving them again gives the same bytes; anything else is refused or not recognised.
#include "c64/saved_picture.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "c64/d64_image.h"
#include "c64/displayer_template.h"
#include "c64/packed_executable.h"
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

// The file a save writes; packed, the executable alone or on the disk holds the packed one.
std::vector<std::uint8_t> Saved(Session& session, OutputKind kind, Machine machine,
                                bool packed = false) {
  if (packed) {
    const std::vector<std::uint8_t> program =
        PackExecutable(session.Output(OutputKind::Executable, {machine, {}}));
    if (kind == OutputKind::DiskImage) return BuildD64Image(program, "MY PICTURE");
    return program;
  }
  const auto bytes = session.Output(kind, {machine, "MY PICTURE"});
  return {bytes.begin(), bytes.end()};
}

TEST(SavedPicture, EveryKindComesBackExactlyAndSavesAgainByteForByte) {
  const struct {
    OutputKind kind;
    Machine machine;
    SavedKind read;
    bool packed = false;
  } cases[] = {
      {OutputKind::Executable, Machine::Pal, SavedKind::Executable},
      {OutputKind::Executable, Machine::Ntsc, SavedKind::Executable},
      {OutputKind::Executable, Machine::OldNtsc, SavedKind::Executable},
      {OutputKind::Executable, Machine::Drean, SavedKind::Executable},
      {OutputKind::Executable, Machine::Any, SavedKind::Executable},
      {OutputKind::DiskImage, Machine::Any, SavedKind::DiskImage},
      {OutputKind::Data, Machine::Pal, SavedKind::Data},
      {OutputKind::Executable, Machine::Pal, SavedKind::Executable, true},
      {OutputKind::Executable, Machine::Any, SavedKind::Executable, true},
      {OutputKind::DiskImage, Machine::Ntsc, SavedKind::DiskImage, true},
  };
  const ColourRoleSet roleSets[] = {DefaultColourRoles, {15, 0, 15, 0, 15}, {6, 14, 3, 1, 9}};
  unsigned seed = 1;
  for (const auto& c : cases) {
    for (const ColourRoleSet& roles : roleSets) {
      SCOPED_TRACE(std::to_string(static_cast<int>(c.kind)) + (c.packed ? " packed" : "") +
                   " for " + std::string(MachineName(c.machine)) + ", seed " +
                   std::to_string(seed));
      Session original;
      original.TakeConversion(RandomLayers(seed++), roles);
      const std::vector<std::uint8_t> file = Saved(original, c.kind, c.machine, c.packed);
      ASSERT_EQ(SniffSavedPicture(file), c.read);
      const SavedPicture picture = ReadSavedPicture(file, "picture");
      EXPECT_EQ(picture.kind, c.read);
      EXPECT_EQ(picture.packed, c.packed);
      EXPECT_EQ(picture.roles, roles);
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
      again.TakeConversion(picture.layers, picture.roles);
      EXPECT_EQ(Saved(again, c.kind, picture.machine, picture.packed), file);
      EXPECT_EQ(Saved(again, OutputKind::Png, picture.machine),
                Saved(original, OutputKind::Png, c.machine));
    }
  }
}

TEST(SavedPicture, WhatIsNotSuchAPictureIsRefusedOrNotRecognised) {
  Session session;
  session.TakeConversion(RandomLayers(99), DefaultColourRoles);
  const std::vector<std::uint8_t> exe = Saved(session, OutputKind::Executable, Machine::Pal);
  const std::vector<std::uint8_t> data = Saved(session, OutputKind::Data, Machine::Pal);
  const std::vector<std::uint8_t> disk = Saved(session, OutputKind::DiskImage, Machine::Pal);
  const std::vector<std::uint8_t> packed =
      Saved(session, OutputKind::Executable, Machine::Pal, true);

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
      {"data file with a screen colour unlike the others", changed(data, 100, 0x12), nullptr},
      {"data file with a sprite colour above 15", changed(data, 2025, 0x20), nullptr},
      {"data file cut short", cut(data, 32767), nullptr},
      {"packed executable cut short", cut(packed, packed.size() - 1),
       "x is not a picture saved by Vantrel Converter: its packed data is damaged"},
      {"disk with a packed executable cut short",
       BuildD64Image(cut(packed, packed.size() - 100), "X"),
       "x is not a picture saved by Vantrel Converter: its packed data is damaged"},
      {"another program where the depacker is", changed(packed, 40, 0xEA), nullptr},
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
