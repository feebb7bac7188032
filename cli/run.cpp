#include "cli/run.h"

#include <filesystem>
#include <memory>
#include <ostream>
#include <span>
#include <system_error>
#include <variant>

#include "cli/command_line.h"
#include "core/error.h"
#include "session/session.h"

namespace vantrel::cli {

namespace {

constexpr const char* ProgramName = "vantrel-convert";

int UsageFailure(std::ostream& err, const std::string& reason) {
  err << ProgramName << ": " << reason << "\n"
      << "Try '" << ProgramName << " --help' for more information.\n";
  return ExitUsage;
}

// The roles in role order, as numbers and then as names: "0,8,1,15,6 black,orange,...".
void PrintRoles(const ColourRoleSet& roles, std::ostream& out) {
  for (int role = 0; role < RoleCount; ++role) out << (role ? "," : "") << roles[role];
  out << " ";
  for (int role = 0; role < RoleCount; ++role) {
    out << (role ? "," : "") << C64ColourNames[roles[role]];
  }
  out << "\n";
}

// An output that is the input picture itself, also through a link, would destroy the photo.
const OutputFile* ReplacesInput(const ConvertRequest& request) {
  for (const OutputFile& output : request.outputs) {
    std::error_code error;
    if (output.name != StandardOutput &&
        std::filesystem::equivalent(request.input, output.name, error) && !error) {
      return &output;
    }
  }
  return nullptr;
}

int Convert(const ConvertRequest& request, std::ostream& out, std::ostream& err) {
  if (const OutputFile* output = ReplacesInput(request)) {
    return UsageFailure(err,
                        "-o " + output->name + " would replace the input picture " + request.input);
  }
  Session session;
  try {
    session.ConvertFile(request.input, request.settings);
  } catch (const VantrelError& error) {
    if (error.IsSetting()) return UsageFailure(err, error.what());
    // Messages about the picture name it.
    err << ProgramName << ": " << error.AboutFile(request.input) << "\n";
    return ExitFailure;
  }
  if (const std::string warning = session.PictureWarning(); !warning.empty()) {
    err << ProgramName << ": " << warning << "\n";
  }
  const OutputOptions options{request.machine, {}};
  bool toStandardOutput = false;
  for (const OutputFile& output : request.outputs) {
    if (output.name != StandardOutput) {
      session.SaveOutput(output.kind, options, output.name);
      continue;
    }
    toStandardOutput = true;
    const std::span<const std::uint8_t> bytes = session.Output(output.kind, options);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) throw VantrelError(Message::kCannotWriteStandardOutput);
  }
  if (request.settings.autoColours) {
    // With a file on standard output the roles go beside the messages.
    std::ostream& roles = toStandardOutput ? err : out;
    PrintRoles(session.Roles(), roles);
    roles.flush();
    if (!roles) return ExitFailure;
  }
  return ExitSuccess;
}

}  // namespace

int Run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  const ParsedCommandLine parsed = ParseCommandLine(arguments);
  if (const auto* usage = std::get_if<UsageError>(&parsed)) {
    return UsageFailure(err, usage->reason);
  }
  if (const auto* info = std::get_if<InfoRequest>(&parsed)) {
    out << (*info == InfoRequest::Help ? HelpText() : VersionText());
    out.flush();
    return out ? ExitSuccess : ExitFailure;
  }
  try {
    return Convert(std::get<ConvertRequest>(parsed), out, err);
  } catch (...) {
    err << ProgramName << ": " << UserMessage(std::current_exception()) << "\n";
  }
  return ExitFailure;
}

}  // namespace vantrel::cli
