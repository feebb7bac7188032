// Starting x64sc under Xvfb, autostarting a file and taking screenshots.
#include "vice_machine.h"

#include <stdio.h>
#include <stdlib.h>

#include <array>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "colour/palette.h"

namespace vantrel::emulator {
namespace {

// Where the stub KERNAL idles: the monitor breaks in there to load and start the program.
constexpr int StubIdleAddress = 0xE000;

// Emulators running at once: one per core of the test machines.
constexpr int ParallelRuns = 2;

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

const ViceModel& ViceModelNamed(std::string_view name) {
  for (const ViceModel* model : {&ViceC64, &ViceC64c, &ViceNtsc, &ViceOldNtsc, &ViceDrean}) {
    if (name == model->name) return *model;
  }
  throw std::invalid_argument("no VICE model " + std::string(name));
}

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

std::string ViceMachine::WriteRun(int number, const ViceModel& model, const ViceProgram& program,
                                  const std::string& finish, const std::string& extraCommands) {
  const std::filesystem::path folder(folder_);
  const std::string name = std::to_string(number);
  const std::filesystem::path commands = folder / ("commands" + name + ".txt");
  const std::filesystem::path script = folder / ("run" + name + ".sh");
  {
    // The monitor takes file names in double quotes; from a disk it reads them as PETSCII,
    // which it makes of lower-case ASCII.
    std::ofstream out(commands);
    if (program.diskImage.empty()) {
      out << "l \"" << program.file << "\" 0\n";
    } else {
      std::string petscii = program.file;
      for (char& c : petscii) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      out << "l \"" << petscii << "\" 8\n";
    }
    char start[16];
    std::snprintf(start, sizeof start, "g %04x\n", program.start);
    out << extraCommands << start;
  }
  std::ofstream out(script);
  // The model goes first: it chooses ROM names and other settings that the options after it
  // override. An emulator stuck in its monitor is ended after a minute; the run then has no
  // screenshot or reading and says so.
  out << "timeout 60 " << Quoted(VANTREL_X64SC) << " -default -model " << model.name
      << " -warp -sounddev dummy -drive8type 0";
  if (!program.diskImage.empty()) out << " -8 " << Quoted(program.diskImage);
  out << " -kernal " << Quoted(VANTREL_STUB_KERNAL) << " -basic "
      << Quoted((folder / "basic.bin").string()) << " -chargen "
      << Quoted((folder / "chargen.bin").string()) << " -VICIIextpal -VICIIpalette "
      << Quoted((folder / "palette.vpl").string()) << " -VICIIfilter 0 -initbreak "
      << StubIdleAddress << " -moncommands " << Quoted(commands.string()) << " " << finish << " >"
      << Quoted((folder / ("vice" + name + ".log")).string()) << " 2>&1 </dev/null\n";
  return script.string();
}

void ViceMachine::RunScripts(const std::vector<std::string>& scripts) {
  const std::filesystem::path folder(folder_);
  const std::string batch = std::to_string(++batches_);
  const std::filesystem::path list = folder / ("runs" + batch + ".txt");
  {
    std::ofstream out(list);
    for (const std::string& script : scripts) out << script << "\n";
  }
  // One virtual X server for the batch. It picks a free display itself (no race with other
  // servers starting at the same time) and must not reset when its last client leaves, which
  // happens between two runs. xargs keeps two emulators going.
  const std::filesystem::path script = folder / ("batch" + batch + ".sh");
  {
    std::ofstream out(script);
    out << "rm -f display.txt\n"
        << Quoted(VANTREL_XVFB) << " -displayfd 3 -noreset -nolisten tcp -screen 0 640x480x24"
        << " 3>display.txt 2>xvfb.log &\n"
        << "server=$!\n"
        << "tries=0\n"
        << "while [ ! -s display.txt ] && [ $tries -lt 200 ]; do sleep 0.05; "
           "tries=$((tries + 1)); done\n"
        << "DISPLAY=:$(cat display.txt) xargs -P " << ParallelRuns << " -n 1 sh <"
        << Quoted(list.string()) << "\n"
        << "kill $server\n"
        << "wait $server\n";
  }
  // VICE keeps its settings and caches in the test folder, never in the user's home.
  const std::string command = "cd " + Quoted(folder_) + " && XDG_CONFIG_HOME=" + Quoted(folder_) +
                              " XDG_CACHE_HOME=" + Quoted(folder_) + " sh " +
                              Quoted(script.string()) + " >batch" + batch + ".log 2>&1";
  std::system(command.c_str());
}

std::vector<std::string> ViceMachine::RunAll(const std::vector<ViceRun>& runs) {
  std::vector<std::string> scripts;
  std::vector<std::string> shots;
  for (const ViceRun& run : runs) {
    const int number = ++runs_;
    const std::string shot =
        (std::filesystem::path(folder_) / ("shot" + std::to_string(number) + ".png")).string();
    std::filesystem::remove(shot);
    shots.push_back(shot);
    scripts.push_back(WriteRun(
        number, *run.model, run.program,
        "-limitcycles " + std::to_string(run.limit) + " -exitscreenshot " + Quoted(shot), ""));
  }
  RunScripts(scripts);
  for (const std::string& shot : shots) {
    if (!std::filesystem::exists(shot)) {
      KeepFiles();
      throw std::runtime_error("VICE wrote no screenshot " + shot + "; see the logs in " + folder_);
    }
  }
  return shots;
}

std::vector<int> ViceMachine::PeekAll(const std::vector<VicePeek>& peeks) {
  std::vector<std::string> scripts;
  std::vector<std::string> logs;
  for (const VicePeek& peek : peeks) {
    const int number = ++runs_;
    const std::string log =
        (std::filesystem::path(folder_) / ("monitor" + std::to_string(number) + ".log")).string();
    std::filesystem::remove(log);
    logs.push_back(log);
    // The checkpoint after the start-up one is number 2. Its command reads the byte; then the
    // monitor waits for input, finds none and ends the emulator. The cycle limit only keeps a
    // program that never gets there from running on.
    char commands[64];
    std::snprintf(commands, sizeof commands, "break %04x\ncommand 2 \"m %04x %04x\"\n",
                  peek.breakAt, peek.address, peek.address);
    scripts.push_back(WriteRun(number, *peek.model, peek.program,
                               "-monlog -monlogname " + Quoted(log) + " -limitcycles 20000000",
                               commands));
  }
  RunScripts(scripts);
  std::vector<int> bytes;
  for (std::size_t i = 0; i < peeks.size(); ++i) {
    // The monitor answers "m 09f0 09f0" with a line ">C:09f0  03 ...".
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, ">C:%04x  ", peeks[i].address);
    std::ifstream in(logs[i]);
    std::string line;
    int value = -1;
    while (std::getline(in, line)) {
      if (line.rfind(prefix, 0) == 0)
        value = std::stoi(line.substr(std::strlen(prefix), 2), nullptr, 16);
    }
    bytes.push_back(value);
  }
  return bytes;
}

std::vector<std::string> ViceMachine::Run(const std::string& program,
                                          const std::vector<long long>& limits) {
  std::vector<ViceRun> runs;
  for (const long long limit : limits) runs.push_back({&ViceC64c, {program, {}}, limit});
  return RunAll(runs);
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
