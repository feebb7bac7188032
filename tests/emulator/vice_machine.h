// Runs C64 program files in VICE (x64sc) under a virtual X server and collects screenshots.
#pragma once

#include <string>
#include <vector>

namespace vantrel::emulator {

// One PAL frame: 312 lines of 63 cycles.
inline constexpr long long FrameCycles = 312 * 63;
// A run of k * FrameCycles + LowerBorderCycles ends on raster line 280, in the lower border,
// so its screenshot holds one whole frame.
inline constexpr long long LowerBorderCycles = 280 * 63;

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

  // Loads `program` at its own address, starts it at $080e (SYS 2062) and takes one
  // screenshot per cycle limit, each from a fresh machine. The runs go in parallel. Returns
  // the screenshot file names; throws std::runtime_error when a run gives no screenshot.
  std::vector<std::string> Run(const std::string& program, const std::vector<long long>& limits);

 private:
  std::string folder_;
  bool keep_ = false;
  int runs_ = 0;
};

// What `petcat -2 --` lists for a program file.
std::string ListBasic(const std::string& program);

}  // namespace vantrel::emulator
