// Saved executables run in VICE: both interlaced frames must show every picture pixel in the
// colour its layer bits demand, with a black border and black columns beside the picture.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "colour/palette.h"
#include "convert/data_path.h"
#include "core/write_file.h"
#include "screenshot.h"
#include "vice_machine.h"

namespace vantrel::emulator {
namespace {

// The displayer shows its first frames between frame 25 and 35 after power-on (seen in x64sc),
// most of that time spent moving the banks; 50 leaves room and keeps the runs short.
constexpr long long SettledFrames = 50;

constexpr int PictureLeft = 64;  // screen x of picture column 0 (character column 8)

// The colour the C64 should show at screenshot pixel (sx, sy) in frame 1 or 2.
int ExpectedColour(const LayerPlanes& bits, const ColourRoleSet& roles, int frame, int sx, int sy) {
  const int x = sx - ShotScreenLeft - PictureLeft;
  const int y = sy - ShotScreenTop;
  if (x < 0 || x >= WindowWidth || y < 0 || y >= WindowHeight) return 0;
  const int pixel = y * WindowWidth + x;
  const bool first = frame == 1;
  if ((first ? bits.Sprite1Bits : bits.Sprite2Bits)[pixel] == 1) {
    return first ? roles.Sprite1Colour : roles.Sprite2Colour;
  }
  if ((first ? bits.Bitmap1Bits : bits.Bitmap2Bits)[pixel] == 1) {
    return first ? roles.Bitmap1Colour : roles.Bitmap2Colour;
  }
  return roles.BackgroundColour;
}

struct Comparison {
  int mismatches = 0;
  std::map<int, int> byRow;  // screenshot row -> wrong pixels in it

  std::string Describe() const {
    std::ostringstream text;
    text << mismatches << " wrong pixels";
    int shown = 0;
    for (const auto& [row, count] : byRow) {
      if (++shown > 12) {
        text << " ...";
        break;
      }
      const int line = row - ShotScreenTop;
      text << (shown == 1 ? ": " : ", ");
      if (line >= 0 && line < WindowHeight) {
        text << "picture line " << line;
      } else {
        text << "border row " << row;
      }
      text << " (" << count << ")";
    }
    return text.str();
  }
};

Comparison Compare(const Screenshot& shot, const LayerPlanes& bits, const ColourRoleSet& roles,
                   int frame) {
  Comparison result;
  for (int sy = 0; sy < shot.height; ++sy) {
    for (int sx = 0; sx < shot.width; ++sx) {
      if (shot.At(sx, sy) != ExpectedColour(bits, roles, frame, sx, sy)) {
        ++result.mismatches;
        ++result.byRow[sy];
      }
    }
  }
  return result;
}

// Saves the executable the way the window does (or has `writeProgram` make it under the given
// name) and checks two consecutive frames in VICE.
void ExpectBothFramesExact(const LayerPlanes& bits, const ColourRoleSet& roles,
                           const std::function<void(const std::string&)>& writeProgram = {}) {
  ViceMachine machine;
  const std::string program = machine.Folder() + "/picture.prg";
  if (writeProgram) {
    writeProgram(program);
  } else {
    auto state = NewConverterState();
    state->LayerBits = bits;
    SetColourRoles(*state, roles);
    WriteFileReplacing(program, AssembleOutput(*state, OutputKind::Executable));
  }
  // Three consecutive frames: the first two must be frame 1 and frame 2 in some order, the
  // third the same as the first.
  const std::vector<std::string> files =
      machine.Run(program, {SettledFrames * FrameCycles + LowerBorderCycles,
                            (SettledFrames + 1) * FrameCycles + LowerBorderCycles,
                            (SettledFrames + 2) * FrameCycles + LowerBorderCycles});
  const Screenshot a = ReadScreenshot(files[0]);
  const Screenshot b = ReadScreenshot(files[1]);
  const Screenshot c = ReadScreenshot(files[2]);
  for (const Screenshot* shot : {&a, &b, &c}) {
    ASSERT_EQ(shot->width, ShotWidth);
    ASSERT_EQ(shot->height, ShotHeight);
  }

  // Which run ended on frame 1 depends on when the displayer started; the content decides.
  const Comparison a1 = Compare(a, bits, roles, 1);
  const Comparison a2 = Compare(a, bits, roles, 2);
  const Comparison b1 = Compare(b, bits, roles, 1);
  const Comparison b2 = Compare(b, bits, roles, 2);
  const bool aShowsFirst = a1.mismatches + b2.mismatches <= a2.mismatches + b1.mismatches;
  const Comparison& first = aShowsFirst ? a1 : b1;
  const Comparison& second = aShowsFirst ? b2 : a2;
  EXPECT_EQ(first.mismatches, 0) << "frame 1: " << first.Describe();
  EXPECT_EQ(second.mismatches, 0) << "frame 2: " << second.Describe();
  const Comparison again = Compare(c, bits, roles, aShowsFirst ? 1 : 2);
  EXPECT_EQ(again.mismatches, 0) << "two frames later: " << again.Describe();
  if (::testing::Test::HasFailure()) {
    machine.KeepFiles();
    ADD_FAILURE() << "program, screenshots and logs kept in " << machine.Folder();
  }
}

// Pseudo-random bits, independent in each plane: a line, sprite row or column shown from the
// wrong place or at the wrong time differs from the expected picture somewhere on it. Every
// line and column (0 and 191, lines 104/105, 188/189, each sprite row's first and last line)
// carries set and clear pixels of every plane.
LayerPlanes SyntheticLayers() {
  LayerPlanes bits;
  Plane* planes[] = {&bits.Bitmap1Bits, &bits.Sprite1Bits, &bits.Bitmap2Bits, &bits.Sprite2Bits};
  for (std::uint32_t plane = 0; plane < 4; ++plane) {
    for (std::uint32_t y = 0; y < WindowHeight; ++y) {
      for (std::uint32_t x = 0; x < WindowWidth; ++x) {
        std::uint32_t h = x * 0x9E3779B1u ^ y * 0x85EBCA77u ^ (plane + 1) * 0xC2B2AE3Du;
        h ^= h >> 15;
        h *= 0x2C1B3C6Du;
        h ^= h >> 12;
        // Sprites cover a third of the pixels, bitmaps half, so all three colours show.
        const bool set = plane % 2 == 1 ? h % 3 == 0 : h % 2 == 0;
        (*planes[plane])[y * WindowWidth + x] = set ? 1 : 0;
      }
    }
  }
  return bits;
}

TEST(DisplayerInVice, SyntheticPictureWithDefaultRoles) {
  ExpectBothFramesExact(SyntheticLayers(), DefaultColourRoles);
}

TEST(DisplayerInVice, SyntheticPictureWithOtherRoles) {
  ExpectBothFramesExact(SyntheticLayers(), ColourRoleSet{6, 1, 5, 14, 9});
}

// The sample photo with the default settings, converted as after opening it.
std::unique_ptr<ConverterState> SamplePhoto() {
  auto state = NewConverterState();
  LoadPicture(*state, std::string(VANTREL_TEST_DATA) + "/astronaut.jpg");
  ReadSourceWindow(*state, 0, 0);
  Reconvert(*state, Adjustment{}, nullptr);
  return state;
}

TEST(DisplayerInVice, SamplePhotoWithDefaultSettings) {
  const auto state = SamplePhoto();
  ExpectBothFramesExact(state->LayerBits, state->ColourRoles);
}

// The command-line converter's executable of the sample photo, as the README shows it made.
TEST(DisplayerInVice, SamplePhotoFromTheCommandLine) {
  const std::string photo = std::string(VANTREL_TEST_DATA) + "/astronaut.jpg";
  const auto state = SamplePhoto();
  ExpectBothFramesExact(state->LayerBits, state->ColourRoles, [&](const std::string& program) {
    const std::string command = "'" VANTREL_CLI "' '" + photo + "' -o '" + program + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  });
}

// petcat takes a program to start at its load address, but C64 BASIC text starts at $0801:
// the file's byte at $0800 is the zero in front of the program. So petcat is shown the file
// as BASIC sees it, from $0801 on (listing the file as it is gives "2568 sys2062", the link
// and line number read one byte early).
TEST(DisplayerInVice, BasicLineListsAsSys2062) {
  auto state = NewConverterState();
  const auto file = AssembleOutput(*state, OutputKind::Executable);
  std::vector<std::uint8_t> buffer(file.begin(), file.end());
  ASSERT_EQ(buffer[0], 0x00);  // loads at $0800 ...
  ASSERT_EQ(buffer[1], 0x08);
  ASSERT_EQ(buffer[2], 0x00);  // ... where the zero byte in front of the program stands
  buffer[1] = 0x01;
  buffer[2] = 0x08;
  ViceMachine machine;
  const std::string program = machine.Folder() + "/basic.prg";
  WriteFileReplacing(program, buffer.data() + 1, buffer.size() - 1);

  const std::string listing = ListBasic(program);
  EXPECT_NE(listing.find("==0801==\n   10 sys2062\n"), std::string::npos) << listing;
}

}  // namespace
}  // namespace vantrel::emulator
