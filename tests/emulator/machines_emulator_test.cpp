// Every target machine's executable on each emulated C64 that runs it ("Any C64" on all
// five), packed executables of every target started at their SYS 2061, and disk images
// (plain and packed) loaded from an emulated drive: both interlaced frames exact on every
// pixel, the third frame the same as the first. All emulator runs of this file go in one
// batch, two at a time, and each test then checks its own screenshots.
#include <gtest/gtest.h>

#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "c64/d64_image.h"
#include "c64/machine.h"
#include "c64/memory_image.h"
#include "c64/output_files.h"
#include "c64/packed_executable.h"
#include "colour/palette.h"
#include "core/types.h"
#include "core/write_file.h"
#include "frame_check.h"
#include "vice_machine.h"

namespace vantrel::emulator {
namespace {

// Any C64's DisplayerStart: SEI, JSR DetectMachine, and here the machine it found stands at
// $09f0 (MachinePal 0, MachineNtsc 1, MachineOldNtsc 2, MachineDrean 3).
constexpr int AfterDetection = 0x0857;
constexpr int DetectedMachine = 0x09F0;

// The synthetic layers once more with every cell its own colours, read from its screen bytes.
enum class Picture { Synthetic, Photo, PerCell };

struct MachineCase {
  Machine machine;
  std::string_view model;
  Picture picture;
  bool packed = false;
};

// The packed photo of each target on one C64 that runs it.
constexpr MachineCase PackedCases[] = {{Machine::Pal, "c64", Picture::Photo, true},
                                       {Machine::Ntsc, "ntsc", Picture::Photo, true},
                                       {Machine::OldNtsc, "oldntsc", Picture::Photo, true},
                                       {Machine::Drean, "drean", Picture::Photo, true},
                                       {Machine::Any, "c64c", Picture::Photo, true}};

std::vector<MachineCase> AllCases() {
  std::vector<MachineCase> cases;
  for (const Picture picture : {Picture::Synthetic, Picture::Photo, Picture::PerCell}) {
    for (const Machine machine : AllMachines) {
      for (const std::string_view model : ViceModels(machine)) {
        cases.push_back({machine, model, picture});
        // Colours per cell change the screens, not the timing: one C64 of each target.
        if (picture == Picture::PerCell) break;
      }
    }
  }
  cases.insert(cases.end(), std::begin(PackedCases), std::end(PackedCases));
  return cases;
}

long long Settled(bool packed) { return packed ? PackedSettledFrames : SettledFrames; }

struct DetectionCase {
  std::string_view model;
  Machine detected;
};
constexpr DetectionCase Detections[] = {{"c64", Machine::Pal},
                                        {"c64c", Machine::Pal},
                                        {"ntsc", Machine::Ntsc},
                                        {"oldntsc", Machine::OldNtsc},
                                        {"drean", Machine::Drean}};

// The disks: the photo's "Any C64" executable, plain and packed, named as the window names
// it after the photo.
constexpr Machine DiskMachine = Machine::Any;
constexpr std::string_view DiskModel = "ntsc";
constexpr bool DiskPacked[] = {false, true};

// Everything this file runs in VICE, run once for all its tests.
class Batch {
 public:
  Batch()
      : synthetic_(SyntheticLayers()), photo_(SamplePhotoLayers()), cells_(SyntheticCellColours()) {
    std::vector<ViceRun> runs;
    for (const MachineCase& c : AllCases()) {
      const ViceModel& model = ViceModelNamed(c.model);
      for (const long long limit : ThreeFrameLimits(model, Settled(c.packed))) {
        runs.push_back(
            {&model, {Program(c.machine, c.picture, c.packed), {}, Start(c.packed)}, limit});
      }
    }
    diskName_ = C64FileName("/home/user/Pictures/astronaut.jpg");
    for (const bool packed : DiskPacked) {
      const std::string disk = machine_.Folder() + (packed ? "/packed.d64" : "/picture.d64");
      const std::vector<std::uint8_t> program = Bytes(DiskMachine, Picture::Photo, packed);
      const std::vector<std::uint8_t> image = BuildD64Image(program, diskName_);
      WriteFileReplacing(disk, image.data(), image.size());
      const ViceModel& diskModel = ViceModelNamed(DiskModel);
      for (const long long limit : ThreeFrameLimits(diskModel, Settled(packed))) {
        runs.push_back({&diskModel, {diskName_, disk, Start(packed)}, limit});
      }
    }
    shots_ = machine_.RunAll(runs);

    std::vector<VicePeek> peeks;
    for (const DetectionCase& c : Detections) {
      peeks.push_back({&ViceModelNamed(c.model),
                       {Program(Machine::Any, Picture::Synthetic, false), {}},
                       AfterDetection,
                       DetectedMachine});
    }
    detected_ = machine_.PeekAll(peeks);
  }

  const LayerPlanes& Bits(Picture picture) const {
    return picture == Picture::Photo ? photo_ : synthetic_;
  }
  const CellColours* Cells(Picture picture) const {
    return picture == Picture::PerCell ? &cells_ : nullptr;
  }

  // The three screenshots of run group `index` (machine cases first, then the disks).
  std::vector<std::string> Shots(std::size_t index) const {
    return {shots_.begin() + 3 * index, shots_.begin() + 3 * index + 3};
  }
  int Detected(std::size_t index) const { return detected_[index]; }
  const std::string& DiskName() const { return diskName_; }

  void KeepFiles(const std::string& why) {
    machine_.KeepFiles();
    ADD_FAILURE() << why << ": programs, screenshots and logs kept in " << machine_.Folder();
  }

 private:
  static int Start(bool packed) { return packed ? PackedEntry : 0x080E; }

  std::vector<std::uint8_t> Bytes(Machine machine, Picture picture, bool packed) const {
    C64Memory image{};
    FileBytes buffer{};
    BuildMemoryImage(Bits(picture), image);
    if (const CellColours* cells = Cells(picture)) {
      FillScreenColours(*cells, image);
    } else {
      FillScreenColours(DefaultColourRoles, image);
    }
    AssembleExecutable(image, DefaultColourRoles, buffer, machine);
    const std::span<const std::uint8_t> plain(buffer.data(), ExecutableFileSize);
    if (packed) return PackExecutable(plain);
    return {plain.begin(), plain.end()};
  }

  std::string Program(Machine machine, Picture picture, bool packed) {
    const std::string file = machine_.Folder() + "/" + std::string(MachineName(machine)) +
                             (picture == Picture::Synthetic ? "-synthetic"
                              : picture == Picture::Photo   ? "-photo"
                                                            : "-cells") +
                             (packed ? "-packed" : "") + ".prg";
    const std::vector<std::uint8_t> bytes = Bytes(machine, picture, packed);
    WriteFileReplacing(file, bytes.data(), bytes.size());
    return file;
  }

  ViceMachine machine_;
  LayerPlanes synthetic_;
  LayerPlanes photo_;
  CellColours cells_;
  std::string diskName_;
  std::vector<std::string> shots_;
  std::vector<int> detected_;
};

// Built by the first test that needs it; a batch that failed is not run again for each test.
Batch& TheBatch() {
  static std::unique_ptr<Batch> batch;
  static std::string failure;
  if (!batch && failure.empty()) {
    try {
      batch = std::make_unique<Batch>();
    } catch (const std::exception& error) {
      failure = error.what();
    }
  }
  if (!batch) throw std::runtime_error(failure);
  return *batch;
}

void ExpectExact(const FrameCheck& check) {
  EXPECT_EQ(check.first.mismatches, 0) << "frame 1: " << check.first.Describe();
  EXPECT_EQ(check.second.mismatches, 0) << "frame 2: " << check.second.Describe();
  EXPECT_EQ(check.again.mismatches, 0) << "two frames later: " << check.again.Describe();
}

class EveryMachine : public ::testing::TestWithParam<std::size_t> {};

TEST_P(EveryMachine, ShowsBothFramesExactly) {
  const MachineCase c = AllCases()[GetParam()];
  Batch& batch = TheBatch();
  ExpectExact(CheckThreeFrames(batch.Shots(GetParam()), ViceModelNamed(c.model),
                               batch.Bits(c.picture), DefaultColourRoles, batch.Cells(c.picture)));
  if (HasFailure()) batch.KeepFiles("wrong frames");
}

INSTANTIATE_TEST_SUITE_P(DisplayerInVice, EveryMachine,
                         ::testing::Range<std::size_t>(0, AllCases().size()), [](const auto& info) {
                           const MachineCase c = AllCases()[info.param];
                           std::string name = std::string(MachineName(c.machine)) + "_on_" +
                                              std::string(c.model) +
                                              (c.picture == Picture::Synthetic ? "_Synthetic"
                                               : c.picture == Picture::Photo   ? "_Photo"
                                                                               : "_PerCell") +
                                              (c.packed ? "_Packed" : "");
                           for (char& ch : name) {
                             if (ch == '-') ch = '_';
                           }
                           return name;
                         });

TEST(DisplayerInVice, AnyC64FindsOutWhichMachineItRunsOn) {
  Batch& batch = TheBatch();
  for (std::size_t i = 0; i < std::size(Detections); ++i) {
    EXPECT_EQ(batch.Detected(i), static_cast<int>(Detections[i].detected))
        << "on " << Detections[i].model;
  }
  if (::testing::Test::HasFailure()) batch.KeepFiles("wrong machine found");
}

// The stub KERNAL cannot load from a disk (Debian's VICE has no ROMs, so LOAD and -autostart
// of a disk image cannot run); the monitor loads the file from the image attached to drive 8
// instead, through VICE's own 1541 file system code (directory entry and chain of blocks).
TEST(DisplayerInVice, DiskImageLoadsFromDrive8AndShowsThePicture) {
  Batch& batch = TheBatch();
  EXPECT_EQ(batch.DiskName(), "ASTRONAUT");
  for (std::size_t i = 0; i < std::size(DiskPacked); ++i) {
    SCOPED_TRACE(DiskPacked[i] ? "packed" : "plain");
    ExpectExact(CheckThreeFrames(batch.Shots(AllCases().size() + i), ViceModelNamed(DiskModel),
                                 batch.Bits(Picture::Photo), DefaultColourRoles));
  }
  if (::testing::Test::HasFailure()) batch.KeepFiles("disk image");
}

}  // namespace
}  // namespace vantrel::emulator
