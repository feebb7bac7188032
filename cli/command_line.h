// The command line of vantrel-convert, read into a request without touching any file.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "session/session.h"

namespace vantrel::cli {

using vantrel::ConversionSettings;
using vantrel::OutputKind;

// The -o name that writes to standard output.
inline constexpr const char* StandardOutput = "-";

struct OutputFile {
  std::string name;
  OutputKind kind = OutputKind::Data;
  bool project = false;  // a project file instead of `kind`
};

// One conversion and the files to write from it, in the order given.
struct ConvertRequest {
  std::string input;
  std::vector<OutputFile> outputs;
  ConversionSettings settings;     // with autoColours set, the roles found are printed
  Machine machine = Machine::Pal;  // the executables' and disk images' target
  bool machineGiven = false;       // else a project's or a saved picture's own target
  // The first option given that changes the conversion ("--crop"), empty if none: a project
  // or a saved picture brings its own.
  std::string settingOption;
};

enum class InfoRequest { Help, Version };

// Bad usage: the one-line reason, without program name or hint.
struct UsageError {
  std::string reason;
};

using ParsedCommandLine = std::variant<ConvertRequest, InfoRequest, UsageError>;

// Reads the arguments that follow the program name. The crop is only checked for being
// non-negative here; whether it fits is known once the picture is decoded.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// ".prg" is the executable, ".png" the preview, ".d64" a disk image with the executable,
// anything else the data file (case ignored).
OutputKind KindFromExtension(const std::string& fileName);
// Whether an -o of that name writes a project (".vantrel", case ignored).
bool IsProjectName(const std::string& fileName);

// A C64 colour given as 0..15 or as its palette name ("light-red", case ignored, the hyphen
// optional, "gray" for "grey"); -1 if it is neither.
int ParseColour(const std::string& text);

// Every option as the help lists it: "--crop X,Y" and what it does, one sentence or more.
struct OptionHelp {
  std::string label;
  std::string help;
};
std::vector<OptionHelp> OptionHelps();

std::string HelpText();
std::string VersionText();
// What the exit statuses mean, one paragraph.
std::string ExitStatusText();

}  // namespace vantrel::cli
