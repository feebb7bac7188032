// The executable and data file layouts.
#include "c64/output_files.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "c64/displayer_template.h"
#include "c64/memory_image.h"
#include "core/error.h"

namespace vantrel {
namespace {

// The roles a picture starts with in the window.
constexpr ColourRoleSet DefaultColourRoles{0, 2, 3, 7, 10};

namespace fs = std::filesystem;

// A picture with something in every structure, built as a save builds it.
C64Memory SampleImage(const ColourRoleSet& roles) {
  LayerPlanes bits;
  std::mt19937 random(64);
  for (Plane* plane :
       {&bits.Bitmap1Bits, &bits.Sprite1Bits, &bits.Bitmap2Bits, &bits.Sprite2Bits}) {
    for (std::uint8_t& byte : *plane) byte = random() % 2;
  }
  C64Memory image;
  BuildMemoryImage(bits, image);
  FillScreenColours(roles, image);
  return image;
}

struct SpriteColourCase {
  const char* name;
  std::int32_t sprite1, sprite2;
  std::uint8_t executable1, executable2;  // file bytes 530 and 1554
  std::uint8_t data1, data2;              // file bytes 2024 and 2025
};
void PrintTo(const SpriteColourCase& c, std::ostream* out) { *out << c.name; }

class SpriteColours : public ::testing::TestWithParam<SpriteColourCase> {};

TEST_P(SpriteColours, ArePatchedIntoBothFiles) {
  const SpriteColourCase& c = GetParam();
  ColourRoleSet roles = DefaultColourRoles;
  roles.Sprite1Colour = c.sprite1;
  roles.Sprite2Colour = c.sprite2;
  const C64Memory image = SampleImage(roles);

  FileBytes executable{};
  AssembleExecutable(image, roles, executable, Machine::Pal);
  EXPECT_EQ(executable[Sprite1ColourPatchOffset], c.executable1);
  EXPECT_EQ(executable[Sprite2ColourPatchOffset], c.executable2);

  FileBytes data{};
  AssembleDataFile(image, roles, data);
  EXPECT_EQ(data[DataSprite1ColourOffset], c.data1);
  EXPECT_EQ(data[DataSprite2ColourOffset], c.data2);
}

INSTANTIATE_TEST_SUITE_P(
    OutputFiles, SpriteColours,
    ::testing::Values(SpriteColourCase{"Defaults", 3, 10, 0x03, 0x0A, 0x03, 0x0A},
                      SpriteColourCase{"BlackAndLightGrey", 0, 15, 0x00, 0x0F, 0x00, 0x0F},
                      SpriteColourCase{"OutOfRangeMaskedOnlyInExecutable", 0x123, -1, 0x03, 0x0F,
                                       0x23, 0xFF}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OutputFiles, ExecutableIsTemplateThenImage) {
  const ColourRoleSet roles{6, 1, 5, 14, 9};
  const C64Memory image = SampleImage(roles);
  FileBytes executable{};
  AssembleExecutable(image, roles, executable, Machine::Pal);

  for (std::size_t i = 0; i < ExecutableImageOffset; ++i) {
    if (i == Sprite1ColourPatchOffset || i == Sprite2ColourPatchOffset) continue;
    ASSERT_EQ(executable[i], DisplayerTemplate[i]) << "file offset " << i;
  }
  EXPECT_EQ(executable[Sprite1ColourPatchOffset], 5);
  EXPECT_EQ(executable[Sprite2ColourPatchOffset], 9);
  for (std::size_t i = 0; i < MemoryImageSize; ++i) {
    ASSERT_EQ(executable[ExecutableImageOffset + i], image[i]) << "image offset " << i;
  }
  for (std::size_t i = ExecutableImageOffset + MemoryImageSize; i < ExecutableFileSize; ++i) {
    ASSERT_EQ(executable[i], 0) << "tail offset " << i;
  }
}

// The executable carries the image as built; only the data file puts the sprite colours into
// the spare bytes after frame 1's second screen.
TEST(OutputFiles, ExecutableImageEqualsDataFileButForTheSpareColourBytes) {
  const ColourRoleSet roles = DefaultColourRoles;
  const C64Memory image = SampleImage(roles);
  FileBytes executable{};
  FileBytes data{};
  AssembleExecutable(image, roles, executable, Machine::Pal);
  AssembleDataFile(image, roles, data);

  for (std::size_t i = 0; i < DataFileSize; ++i) {
    if (i == DataSprite1ColourOffset || i == DataSprite2ColourOffset) {
      EXPECT_EQ(executable[ExecutableImageOffset + i], 0)
          << "executable offset " << ExecutableImageOffset + i;
    } else {
      ASSERT_EQ(executable[ExecutableImageOffset + i], data[i]) << "data offset " << i;
    }
  }
  EXPECT_EQ(ExecutableImageOffset + DataSprite1ColourOffset, 4586u);
}

TEST(OutputFiles, ReusedBufferGivesIdenticalFilesWithZeroTail) {
  const ColourRoleSet roles = DefaultColourRoles;
  const C64Memory image = SampleImage(roles);
  FileBytes first{};
  AssembleExecutable(image, roles, first, Machine::Pal);

  FileBytes reused{};
  AssembleDataFile(image, roles, reused);
  AssembleExecutable(image, roles, reused, Machine::Pal);
  AssembleDataFile(image, roles, reused);
  AssembleExecutable(image, roles, reused, Machine::Pal);
  EXPECT_EQ(reused, first);

  FileBytes data1{};
  FileBytes data2{};
  AssembleDataFile(image, roles, data1);
  AssembleExecutable(image, roles, data2, Machine::Pal);
  AssembleDataFile(image, roles, data2);
  EXPECT_TRUE(std::equal(data1.begin(), data1.begin() + DataFileSize, data2.begin()));
}

}  // namespace
}  // namespace vantrel
