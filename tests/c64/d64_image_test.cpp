// Disk images: the C64 file name made of a picture's file name, the directory, the chain of
// blocks and the BAM that agree with it, and the programs and names a disk cannot take.
// (VICE's c1541 reads the images in the emulator tests.)
#include "c64/d64_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/error.h"

namespace vantrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct NameCase {
  const char* fileName;
  const char* c64Name;
};
void PrintTo(const NameCase& c, std::ostream* out) { *out << '"' << c.fileName << '"'; }

class C64FileNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(C64FileNames, AreUpperCaseWithoutWhatADiskCannotHold) {
  EXPECT_EQ(C64FileName(GetParam().fileName), GetParam().c64Name);
}

INSTANTIATE_TEST_SUITE_P(
    D64Image, C64FileNames,
    ::testing::Values(
        NameCase{"/home/user/Pictures/astronaut.jpg", "ASTRONAUT"},
        NameCase{"Holiday Photo 2.JPG", "HOLIDAY PHOTO 2"}, NameCase{"a.b.c.jpeg", "A.B.C"},
        NameCase{"pictures.d/sunset", "SUNSET"}, NameCase{"my_photo(1)+[2].jpg", "MY-PHOTO(1)+[2]"},
        NameCase{"say \"hi\"*?.jpg", "SAY -HI---"}, NameCase{"0:a,b=c@d$e#f.jpg", "0-A-B-C-D-E-F"},
        NameCase{"Café Zürich.jpg", "CAF- Z-RICH"},
        NameCase{"a very long picture name.jpg", "A VERY LONG PICT"},
        NameCase{"fifteen letters x.jpg", "FIFTEEN LETTERS"}, NameCase{"  spaced  .jpg", "SPACED"},
        NameCase{".hidden", ".HIDDEN"}, NameCase{"   .jpg", "PICTURE"},
        NameCase{"/tmp/", "PICTURE"}, NameCase{"", "PICTURE"}));

constexpr int SectorsOn(int track) {
  return track <= 17 ? 21 : track <= 24 ? 19 : track <= 30 ? 18 : 17;
}

std::size_t Offset(int track, int sector) {
  std::size_t sectors = 0;
  for (int t = 1; t < track; ++t) sectors += SectorsOn(t);
  return (sectors + sector) * 256;
}

bool IsFreeInBam(const Bytes& image, int track, int sector) {
  return image[Offset(18, 0) + 4 * track + 1 + sector / 8] >> (sector % 8) & 1;
}

class DiskLayout : public ::testing::TestWithParam<std::size_t> {};

// Following the directory entry's chain gives the program back; exactly the chain's blocks
// and track 18's first two sectors are taken in the BAM, and its counts match its bits.
TEST_P(DiskLayout, ChainDirectoryAndBamAgree) {
  Bytes program(GetParam());
  for (std::size_t i = 0; i < program.size(); ++i) program[i] = static_cast<std::uint8_t>(i * 7);
  const Bytes image = BuildD64Image(program, "PICTURE");
  ASSERT_EQ(image.size(), D64ImageSize);

  const std::size_t entry = Offset(18, 1);
  EXPECT_EQ(image[entry], 0);  // the only directory sector
  EXPECT_EQ(image[entry + 1], 0xFF);
  EXPECT_EQ(image[entry + 2], 0x82);  // PRG, closed
  EXPECT_EQ(std::string(image.begin() + entry + 5, image.begin() + entry + 21),
            "PICTURE\xA0\xA0\xA0\xA0\xA0\xA0\xA0\xA0\xA0");

  std::set<std::pair<int, int>> taken = {{18, 0}, {18, 1}};
  Bytes read;
  int track = image[entry + 3];
  int sector = image[entry + 4];
  EXPECT_EQ(std::make_pair(track, sector), std::make_pair(17, 0));
  while (true) {
    ASSERT_TRUE(track >= 1 && track <= 35 && sector < SectorsOn(track));
    ASSERT_TRUE(taken.insert({track, sector}).second) << "block used twice";
    const std::size_t block = Offset(track, sector);
    if (image[block] == 0) {
      read.insert(read.end(), image.begin() + block + 2,
                  image.begin() + block + image[block + 1] + 1);
      break;
    }
    read.insert(read.end(), image.begin() + block + 2, image.begin() + block + 256);
    track = image[block];
    sector = image[block + 1];
  }
  EXPECT_EQ(read, program);
  const std::size_t blocks = taken.size() - 2;
  EXPECT_EQ(image[entry + 30] | image[entry + 31] << 8, static_cast<int>(blocks));

  int freeBlocks = 0;
  for (int t = 1; t <= 35; ++t) {
    int freeOnTrack = 0;
    for (int s = 0; s < 24; ++s) {
      const bool free = IsFreeInBam(image, t, s);
      EXPECT_EQ(free, s < SectorsOn(t) && !taken.contains({t, s})) << t << "/" << s;
      freeOnTrack += free;
    }
    EXPECT_EQ(image[Offset(18, 0) + 4 * t], freeOnTrack) << "track " << t;
    if (t != 18) freeBlocks += freeOnTrack;
  }
  EXPECT_EQ(freeBlocks, static_cast<int>(664 - blocks));
}

INSTANTIATE_TEST_SUITE_P(D64Image, DiskLayout,
                         ::testing::Values(2, 254, 255, 35840, D64MaxProgramSize));

TEST(D64Image, RefusesWhatADiskCannotTake) {
  const Bytes program(35840, 1);
  const struct {
    std::size_t size;
    std::string name;
  } refused[] = {
      {35840, ""}, {35840, "SEVENTEEN LETTERS"}, {1, "A"}, {0, "A"}, {D64MaxProgramSize + 1, "A"}};
  for (const auto& r : refused) {
    EXPECT_THROW(BuildD64Image(Bytes(r.size, 1), r.name), VantrelError)
        << r.size << " bytes named \"" << r.name << '"';
  }
  EXPECT_NO_THROW(BuildD64Image(program, "SIXTEEN  LETTERS"));
}

}  // namespace
}  // namespace vantrel
