#include "vice_machine.h"

#include <stdio.h>
#include <stdlib.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "colour/palette.h"

namespace vantrel::emulator {
namespace {

// Where the stub KERNAL idles: the monitor breaks in there to load and start the program.
constexpr int StubIdleAddress = 0xE000;

void WriteZeros(const std::filesystem::path& file, std::size_t size) {
  std::ofstream out(file, std::ios::binary);
  const std::vector<char> zeros(size, 0);
  out.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

// VICE's palette format: one "RR GG BB" line per colour number.
void WritePalette(const std::filesystem::path& file) {
  std::ofstream out(file);
  out << "# C64Palette\n";
  for (const TColor colour : C64Palette) {
    char line[16];
    std::snprintf(line, sizeof line, "%02X %02X %02X\n", RedOf(colour), GreenOf(colour),
                  BlueOf(colour));
    out << line;
  }
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

// For the shell: single quotes around everything, each ' as '\''.
std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

ViceMachine::ViceMachine() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-vice-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  folder_ = pattern;
  const std::filesystem::path folder(folder_);
  WriteZeros(folder / "basic.bin", 8192);
  WriteZeros(folder / "chargen.bin", 4096);
  WritePalette(folder / "palette.vpl");
}

ViceMachine::~ViceMachine() {
  if (!keep_) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
}

std::vector<std::string> ViceMachine::Run(const std::string& program,
                                          const std::vector<long long>& limits) {
  const std::filesystem::path folder(folder_);
  const std::filesystem::path commands = folder / "commands.txt";
  {
    std::ofstream out(commands);
    out << "l \"" << program << "\" 0\n";  // the monitor takes the name in double quotes
    out << "g 080e\n";
  }

  // One virtual X server for all runs; each run is an emulator of its own. The script stays
  // in the folder with the logs, for a look after a failure.
  const std::filesystem::path script = folder / ("run" + std::to_string(runs_ + 1) + ".sh");
  std::vector<std::string> shots;
  {
    std::ofstream out(script);
    for (const long long limit : limits) {
      const int run = ++runs_;
      const std::string shot = (folder / ("shot" + std::to_string(run) + ".png")).string();
      std::filesystem::remove(shot);
      shots.push_back(shot);
      out << Quoted(VANTREL_X64SC) << " -default -warp -sounddev dummy -drive8type 0"
          << " -kernal " << Quoted(VANTREL_STUB_KERNAL) << " -basic "
          << Quoted((folder / "basic.bin").string()) << " -chargen "
          << Quoted((folder / "chargen.bin").string()) << " -VICIIextpal -VICIIpalette "
          << Quoted((folder / "palette.vpl").string()) << " -VICIIfilter 0 -initbreak "
          << StubIdleAddress << " -moncommands " << Quoted(commands.string()) << " -limitcycles "
          << limit << " -exitscreenshot " << Quoted(shot) << " >"
          << Quoted((folder / ("vice" + std::to_string(run) + ".log")).string()) << " 2>&1 &\n";
    }
    out << "wait\n";
  }
  // VICE keeps its settings and caches in the test folder, never in the user's home.
  const std::string command = "cd " + Quoted(folder_) + " && XDG_CONFIG_HOME=" + Quoted(folder_) +
                              " XDG_CACHE_HOME=" + Quoted(folder_) + " " +
                              Quoted(VANTREL_XVFB_RUN) + " -a sh " + Quoted(script.string()) +
                              " >" + Quoted((folder / "xvfb.log").string()) + " 2>&1";
  std::system(command.c_str());

  for (const std::string& shot : shots) {
    if (!std::filesystem::exists(shot)) {
      KeepFiles();
      throw std::runtime_error("VICE wrote no screenshot " + shot + "; see the logs in " + folder_);
    }
  }
  return shots;
}

std::string ListBasic(const std::string& program) {
  const std::string command = Quoted(VANTREL_PETCAT) + " -2 -- " + Quoted(program) + " 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run petcat");
  std::string text;
  std::array<char, 256> chunk;
  while (std::fgets(chunk.data(), chunk.size(), pipe) != nullptr) text += chunk.data();
  ::pclose(pipe);
  return text;
}

}  // namespace vantrel::emulator
