// One run of vantrel-convert: each input opened as what it is, its outputs written, the exit
// status.
#include "cli/run.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

void Hint(std::ostream& err) {
  err << "Try '" << ProgramName << " --help' for more information.\n";
}

int UsageFailure(std::ostream& err, const std::string& reason) {
  err << ProgramName << ": " << reason << "\n";
  Hint(err);
  return ExitUsage;
}

// Why the system cannot open `file` ("No such file or directory"); empty if it can now.
std::string SystemReason(const std::string& file) {
  std::error_code ignored;
  if (std::filesystem::is_directory(file, ignored)) return std::strerror(EISDIR);
  // Not blocking: a FIFO without a writer must not hang the report.
  const int descriptor = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return std::strerror(errno);
  char byte = 0;
  const ssize_t got = ::read(descriptor, &byte, 1);
  const int readError = errno;
  ::close(descriptor);
  return got < 0 && readError != EAGAIN ? std::strerror(readError) : std::string();
}

// A failure about `input` as the command line tells it: naming the file, and after "Cannot
// open file" the system's reason, which the window does not show.
std::string FileMessage(const VantrelError& error, const std::string& input) {
  std::string message = error.AboutFile(input);
  if (error.Code() == Message::kCannotOpenFile && !error.Arguments().empty()) {
    if (const std::string reason = SystemReason(error.Arguments().front()); !reason.empty()) {
      message += ": " + reason;
    }
  }
  return message;
}

// How an output is named in messages: "-o x.prg", or the file --output-dir made.
std::string OutputLabel(const OutputFile& output) {
  return output.named ? "-o " + output.name : output.name;
}

// Tells what went wrong with one picture. With several, bad usage of one (a crop it cannot
// take) names the picture and the rest go on, so the hint is left to the end.
class Reporter {
 public:
  Reporter(std::ostream& err, const std::string& input, bool several)
      : err_(err), input_(input), several_(several) {}

  int Usage(const std::string& reason) const {
    if (!several_) return UsageFailure(err_, reason);
    err_ << ProgramName << ": " << input_ << ": " << reason << "\n";
    return ExitUsage;
  }
  int Failure(const std::string& message) const {
    Say(message);
    return ExitFailure;
  }
  void Say(const std::string& message) const { err_ << ProgramName << ": " << message << "\n"; }

 private:
  std::ostream& err_;
  const std::string& input_;
  bool several_;
};

// The roles in role order, as numbers and then as names: "0,8,1,15,6 black,orange,...";
// with several pictures after the picture's name.
void PrintRoles(const ColourRoleSet& roles, const std::string& input, bool several,
                std::ostream& out) {
  if (several) out << input << ": ";
  for (int role = 0; role < RoleCount; ++role) out << (role ? "," : "") << roles[role];
  out << " ";
  for (int role = 0; role < RoleCount; ++role) {
    out << (role ? "," : "") << C64ColourNames[roles[role]];
  }
  out << "\n";
}

// The sprite colours colours per cell go with, as numbers and then as names: "3,10
// cyan,light-red".
void PrintSpriteColours(const ColourRoleSet& roles, const std::string& input, bool several,
                        std::ostream& out) {
  if (several) out << input << ": ";
  out << roles.Sprite1Colour << "," << roles.Sprite2Colour << " "
      << C64ColourNames[roles.Sprite1Colour] << "," << C64ColourNames[roles.Sprite2Colour] << "\n";
}

// What the outputs are made with besides the conversion: the target, and for a project the
// scale and the dithering it records.
struct Making {
  Machine machine = Machine::Pal;
  bool pack = false;
  ScaleSetting scale;
  Dithering dithering = Dithering::FloydSteinberg;
};

// Opens the input as what it is and makes its conversion; the usage failure's reason, if any.
std::string Open(Session& session, const ConvertRequest& request, const Job& job, FileKind kind,
                 Making& making) {
  const OptionValues& options = request.options;
  making.dithering = options.settings.adjustment.dithering;
  making.pack = options.pack;
  switch (kind) {
    case FileKind::Picture:
      session.ConvertFile(job.input, options.settings);
      making.machine = options.machine;
      // A photo smaller than the window went to Fit by itself; a project records what it got.
      making.scale = options.settings.scaleGiven
                         ? options.settings.scale
                         : ScaleSetting{false, session.State().ScalePercent};
      return {};
    case FileKind::SavedPicture:
      // Shown in the palette and mix given: its picture and its preview.
      session.SetColourModel(options.settings.model);
      session.OpenFile(job.input);
      making.machine = options.Given("machine") ? options.machine : session.SavedMachine();
      // A packed picture saves packed again unless told otherwise.
      making.pack = options.Given("pack") ? options.pack : session.SavedPacked();
      return {};
    case FileKind::Project: {
      const Project project = session.OpenProject(job.input);
      // A palette or mix given shows the project's conversion in them: its preview, not its C64
      // files, which hold colour numbers.
      ColourModel model = session.Model();
      if (options.Given("palette")) model.palette = options.settings.model.palette;
      if (options.Given("mix")) model.mix = options.settings.model.mix;
      session.SetColourModel(model);
      making = {options.Given("machine") ? options.machine : project.machine, options.pack,
                project.settings.scale, project.dithering};
      // The project's photo is the picture now open.
      for (const OutputFile& output : job.outputs) {
        if (output.name != StandardOutput && session.IsOpenPicture(output.name)) {
          return Text(Message::kWouldReplaceProjectPhoto, OutputLabel(output),
                      session.PictureName());
        }
      }
      return {};
    }
  }
  return {};
}

// One picture's conversion and its files, in the order given: once one cannot be written,
// none after it is.
int ConvertOne(const ConvertRequest& request, const Job& job, const Reporter& report, bool several,
               std::ostream& out, std::ostream& err) {
  const FileKind kind = Session::KindOfFile(job.input);
  if (kind != FileKind::Picture && !request.settingOption.empty()) {
    return report.Usage(Text(kind == FileKind::Project ? Message::kProjectBringsItsSettings
                                                       : Message::kSavedPictureBringsItsSettings,
                             request.settingOption, job.input));
  }
  Session session;
  Making making;
  try {
    if (const std::string reason = Open(session, request, job, kind, making); !reason.empty()) {
      return report.Usage(reason);
    }
  } catch (const VantrelError& error) {
    if (error.IsSetting()) return report.Usage(error.what());
    return report.Failure(FileMessage(error, job.input));
  }
  if (const std::string warning = session.PictureWarning(); !warning.empty()) {
    report.Say(warning);
  }
  const OutputOptions options{making.machine, {}, making.pack, request.options.asmSyntax};
  bool toStandardOutput = false;
  for (const OutputFile& output : job.outputs) {
    if (output.project) {
      session.SaveProject(output.name, making.scale, making.dithering, making.machine);
    } else if (output.name != StandardOutput) {
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
  // With a file on standard output the colours found go beside the messages.
  std::ostream& found = toStandardOutput ? err : out;
  if (request.options.settings.autoColours) PrintRoles(session.Roles(), job.input, several, found);
  if (request.options.settings.perCell) {
    PrintSpriteColours(session.Roles(), job.input, several, found);
  }
  found.flush();
  if (!found) return ExitFailure;
  return ExitSuccess;
}

int Convert(const ConvertRequest& request, std::ostream& out, std::ostream& err) {
  // No output may replace an input picture, its own or another's: checked before any is made.
  for (const Job& job : request.jobs) {
    for (const OutputFile& output : job.outputs) {
      for (const Job& other : request.jobs) {
        if (output.name != StandardOutput && IsSameFile(output.name, other.input)) {
          return UsageFailure(err,
                              Text(Message::kWouldReplaceInput, OutputLabel(output), other.input));
        }
      }
    }
  }
  const bool several = request.jobs.size() > 1;
  int status = ExitSuccess;
  for (const Job& job : request.jobs) {
    const Reporter report(err, job.input, several);
    int jobStatus = ExitFailure;
    try {
      jobStatus = ConvertOne(request, job, report, several, out, err);
    } catch (...) {
      report.Failure(UserMessage(std::current_exception()));
    }
    status = std::max(status, jobStatus);
  }
  if (several && status == ExitUsage) Hint(err);
  return status;
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
