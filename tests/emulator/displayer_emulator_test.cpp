// Saved executables run in VICE: both interlaced frames must show every picture pixel in the
// colour its layer bits demand, with a black border and black columns beside the picture.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "c64/packed_executable.h"
#include "colour/palette.h"
#include "core/write_file.h"
#include "frame_check.h"
#include "session/session.h"
#include "vice_machine.h"

namespace vantrel::emulator {
namespace {

// Saves the executable the way the window does (or has `writeProgram` make it under the given
// name) and checks three consecutive frames in VICE.
void ExpectBothFramesExact(const LayerPlanes& bits, const ColourRoleSet& roles,
                           const std::function<void(const std::string&)>& writeProgram = {}) {
  ViceMachine machine;
  const std::string program = machine.Folder() + "/picture.prg";
  if (writeProgram) {
    writeProgram(program);
  } else {
    Session session;
    session.TakeConversion(bits, roles);
    session.SaveOutput(OutputKind::Executable, {}, program);
  }
  const FrameCheck check =
      CheckThreeFrames(machine.Run(program, ThreeFrameLimits(ViceC64c)), ViceC64c, bits, roles);
  EXPECT_EQ(check.first.mismatches, 0) << "frame 1: " << check.first.Describe();
  EXPECT_EQ(check.second.mismatches, 0) << "frame 2: " << check.second.Describe();
  EXPECT_EQ(check.again.mismatches, 0) << "two frames later: " << check.again.Describe();
  if (::testing::Test::HasFailure()) {
    machine.KeepFiles();
    ADD_FAILURE() << "program, screenshots and logs kept in " << machine.Folder();
  }
}

TEST(DisplayerInVice, SyntheticPictureWithDefaultRoles) {
  ExpectBothFramesExact(SyntheticLayers(), DefaultColourRoles);
}

TEST(DisplayerInVice, SyntheticPictureWithOtherRoles) {
  ExpectBothFramesExact(SyntheticLayers(), ColourRoleSet{6, 1, 5, 14, 9});
}

TEST(DisplayerInVice, SamplePhotoWithDefaultSettings) {
  ExpectBothFramesExact(SamplePhotoLayers(), DefaultColourRoles);
}

// A calm picture as a user makes it: the low-flicker dithering and the roles "Auto Colors" >
// "Calm" finds for it.
TEST(DisplayerInVice, CalmSamplePhotoWithTheLowFlickerDithering) {
  Session session;
  ConversionSettings settings;
  settings.adjustment.dithering = Dithering::LowFlicker;
  settings.autoColours = ColourGoal::Calm;
  session.ConvertFile(std::string(VANTREL_TEST_DATA) + "/astronaut.jpg", settings);
  ExpectBothFramesExact(session.Layers(), session.Roles());
}

// The command-line converter's executable of the sample photo, as the README shows it made.
TEST(DisplayerInVice, SamplePhotoFromTheCommandLine) {
  const std::string photo = std::string(VANTREL_TEST_DATA) + "/astronaut.jpg";
  ExpectBothFramesExact(SamplePhotoLayers(), DefaultColourRoles, [&](const std::string& program) {
    const std::string command = "'" VANTREL_CLI "' '" + photo + "' -o '" + program + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  });
}

// petcat takes a program to start at its load address, but C64 BASIC text starts at $0801:
// the file's byte at $0800 is the zero in front of the program. So petcat is shown the file
// as BASIC sees it, from $0801 on (listing the file as it is gives "2568 sys2062", the link
// and line number read one byte early). The packed executable lists as it is.
TEST(DisplayerInVice, BasicLineListsAsSys2062) {
  Session session;
  const auto file = session.Output(OutputKind::Executable);
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

  // The packed executable loads at $0801 itself, its SYS starting the depacker.
  const std::string packed = machine.Folder() + "/packed.prg";
  const std::vector<std::uint8_t> packedBytes = PackExecutable(file);
  WriteFileReplacing(packed, packedBytes.data(), packedBytes.size());
  const std::string packedListing = ListBasic(packed);
  EXPECT_NE(packedListing.find("==0801==\n   10 sys2061\n"), std::string::npos) << packedListing;
}

}  // namespace
}  // namespace vantrel::emulator
