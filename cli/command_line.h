// The command line of vantrel-convert, read into a request without touching any file.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "session/session.h"

namespace vantrel::cli {

using vantrel::OutputKind;

// The -o name that writes to standard output.
inline constexpr const char* StandardOutput = "-";

struct OutputFile {
  std::string name;
  OutputKind kind = OutputKind::Data;
  bool project = false;  // a project file instead of `kind`
  bool named = true;     // given with -o; else made from --output-dir
};

// One picture and the files to write from its conversion, in the order given.
struct Job {
  std::string input;
  std::vector<OutputFile> outputs;
};

// The conversions asked for: one per picture, all with the same options.
struct ConvertRequest {
  std::vector<Job> jobs;
  // The settings (with autoColours set, the roles found are printed), the executables' and
  // disk images' target, and whether it was given (else a project's or a saved picture's).
  OptionValues options;
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
// non-negative here; whether it fits is known once the picture is decoded. Several pictures
// need --output-dir, whose files are named after each picture; two pictures whose files would
// have the same name are refused.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

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
