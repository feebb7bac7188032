// Runs C64 program files in VICE (x64sc) under a virtual X server and collects screenshots.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantrel::emulator {

// One emulated C64 model: VICE's name for it, its frame and where its screenshots show the
// picture. Bitmap pixel (x, y) is at screenshot (32 + x, pictureTop + y) on every model.
struct ViceModel {
  const char* name;     // x64sc -model
  int lines;            // raster lines a frame
  int lineCycles;       // cycles a raster line
  int shotHeight;       // screenshot rows (384 wide on every model)
  int pictureTop;       // screenshot row of raster line 51, picture line 0
  int lowerBorderLine;  // a raster line in the lower border, below the picture

  long long FrameCycles() const { return static_cast<long long>(lines) * lineCycles; }
  // A run of k * FrameCycles() + LowerBorderCycles() ends in the lower border, so its
  // screenshot holds one whole frame.
  long long LowerBorderCycles() const {
    return static_cast<long long>(lowerBorderLine) * lineCycles;
  }
};

inline constexpr ViceModel ViceC64{"c64", 312, 63, 272, 35, 280};          // 6569
inline constexpr ViceModel ViceC64c{"c64c", 312, 63, 272, 35, 280};        // 8565
inline constexpr ViceModel ViceNtsc{"ntsc", 263, 65, 247, 23, 255};        // 6567R8
inline constexpr ViceModel ViceOldNtsc{"oldntsc", 262, 64, 247, 23, 255};  // 6567R56A
inline constexpr ViceModel ViceDrean{"drean", 312, 65, 272, 35, 280};      // 6572

// The model of that -model name; throws std::invalid_argument for another name.
const ViceModel& ViceModelNamed(std::string_view name);

// How a run gets its program into memory before starting it at `start` (its SYS address:
// 2062 for a plain executable): the monitor loads `file` at its own address, from the host
// when `diskImage` is empty, else from that D64 image attached to drive 8 (read by VICE's own
// disk drive code).
struct ViceProgram {
  std::string file;
  std::string diskImage;
  int start = 0x080E;
};

// One emulator run: a program on a model, ended after `limit` cycles with a screenshot.
struct ViceRun {
  const ViceModel* model;
  ViceProgram program;
  long long limit;
};

// A run that stops when the program first reaches `breakAt` and reads the byte at `address`
// there (through the monitor, which then ends the emulator).
struct VicePeek {
  const ViceModel* model;
  ViceProgram program;
  int breakAt;
  int address;
};

// A folder with the stub KERNAL, empty BASIC and character ROMs and a palette file holding
// exactly C64Palette; removed again unless kept for a failed test.
class ViceMachine {
 public:
  ViceMachine();
  ~ViceMachine();
  ViceMachine(const ViceMachine&) = delete;
  ViceMachine& operator=(const ViceMachine&) = delete;

  const std::string& Folder() const { return folder_; }
  void KeepFiles() { keep_ = true; }

  // Every run from a fresh machine, two at a time (the test machines have two cores), under
  // one virtual X server. Returns the screenshot file names in the order of `runs`; throws
  // std::runtime_error when a run gives no screenshot.
  std::vector<std::string> RunAll(const std::vector<ViceRun>& runs);

  // The peeks the same way: the byte read in each, or -1 where the monitor read none.
  std::vector<int> PeekAll(const std::vector<VicePeek>& peeks);

  // Loads `program` on the default model (c64c) and takes one screenshot per cycle limit.
  std::vector<std::string> Run(const std::string& program, const std::vector<long long>& limits);

 private:
  // Writes the monitor commands and the emulator's command line of one run; returns the
  // script's name.
  std::string WriteRun(int number, const ViceModel& model, const ViceProgram& program,
                       const std::string& finish, const std::string& extraCommands);
  // Runs the scripts, two at a time, under one virtual X server.
  void RunScripts(const std::vector<std::string>& scripts);

  std::string folder_;
  bool keep_ = false;
  int runs_ = 0;
  int batches_ = 0;
};

// What `petcat -2 --` lists for a program file.
std::string ListBasic(const std::string& program);

}  // namespace vantrel::emulator
