// One run of vantrel-convert: the input opened as what it is, the outputs written, the exit status.
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

// An output that is `file` itself, also through a link, would destroy it.
const OutputFile* Replaces(const ConvertRequest& request, const std::string& file) {
  for (const OutputFile& output : request.outputs) {
    std::error_code error;
    if (output.name != StandardOutput && std::filesystem::equivalent(file, output.name, error) &&
        !error) {
      return &output;
    }
  }
  return nullptr;
}

// What the outputs are made with besides the conversion: the target, and for a project the
// scale and the dithering it records.
struct Making {
  Machine machine = Machine::Pal;
  ScaleSetting scale;
  Dithering dithering = Dithering::FloydSteinberg;
};

// Opens the input as what it is and makes its conversion; the usage failure's reason, if any.
std::string Open(Session& session, const ConvertRequest& request, FileKind kind, Making& making) {
  making.dithering = request.settings.adjustment.dithering;
  switch (kind) {
    case FileKind::Picture:
      session.ConvertFile(request.input, request.settings);
      making.machine = request.machine;
      // A photo smaller than the window went to Fit by itself; a project records what it got.
      making.scale = request.settings.scaleGiven
                         ? request.settings.scale
                         : ScaleSetting{false, session.State().ScalePercent};
      return {};
    case FileKind::SavedPicture:
      session.OpenFile(request.input);
      making.machine = request.machineGiven ? request.machine : session.SavedMachine();
      return {};
    case FileKind::Project: {
      const Project project = session.OpenProject(request.input);
      making = {request.machineGiven ? request.machine : project.machine, project.settings.scale,
                project.dithering};
      // The project's photo is the picture now open.
      if (const OutputFile* output = Replaces(request, session.PictureName())) {
        return "-o " + output->name + " would replace the project's photo " + session.PictureName();
      }
      return {};
    }
  }
  return {};
}

int Convert(const ConvertRequest& request, std::ostream& out, std::ostream& err) {
  if (const OutputFile* output = Replaces(request, request.input)) {
    return UsageFailure(err,
                        "-o " + output->name + " would replace the input picture " + request.input);
  }
  const FileKind kind = Session::KindOfFile(request.input);
  if (kind != FileKind::Picture && !request.settingOption.empty()) {
    return UsageFailure(err,
                        request.settingOption + " cannot change " +
                            (kind == FileKind::Project ? "the project " : "the saved picture ") +
                            request.input + ": only -o, --format and --machine apply to it");
  }
  Session session;
  Making making;
  try {
    if (const std::string reason = Open(session, request, kind, making); !reason.empty()) {
      return UsageFailure(err, reason);
    }
  } catch (const VantrelError& error) {
    if (error.IsSetting()) return UsageFailure(err, error.what());
    // Messages about the picture name it.
    err << ProgramName << ": " << error.AboutFile(request.input) << "\n";
    return ExitFailure;
  }
  if (const std::string warning = session.PictureWarning(); !warning.empty()) {
    err << ProgramName << ": " << warning << "\n";
  }
  // Projects first: they are the outputs that can still find the photo changed.
  for (const OutputFile& output : request.outputs) {
    if (output.project) {
      session.SaveProject(output.name, making.scale, making.dithering, making.machine);
    }
  }
  const OutputOptions options{making.machine, {}};
  bool toStandardOutput = false;
  for (const OutputFile& output : request.outputs) {
    if (output.project) continue;
    if (output.name != StandardOutput) {
      session.SaveOutput(output.kind, options, output.name);
    } else {
      toStandardOutput = true;
      const std::span<const std::uint8_t> bytes = session.Output(output.kind, options);
      out.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
      out.flush();
      if (!out) throw VantrelError(Message::kCannotWriteStandardOutput);
    }
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
