#include "cli/run.h"

#include <filesystem>
#include <memory>
#include <span>
#include <system_error>
#include <ostream>
#include <variant>

#include "c64/d64_image.h"
#include "cli/command_line.h"
#include "colour/palette.h"
#include "convert/auto_colours.h"
#include "convert/data_path.h"
#include "core/error.h"
#include "core/write_file.h"
#include "picture/picture_scale.h"

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

bool CropFits(const ConverterState& state, int left, int top) {
  return left >= 0 && top >= 0 && left <= state.PictureWidth - WindowWidth &&
         top <= state.PictureHeight - WindowHeight;
}

// Messages about the picture name it, as the loaders' own messages mostly do already.
[[noreturn]] void ThrowNamingFile(const VantrelError& error, const std::string& file) {
  const std::string message = error.what();
  if (message.find(file) != std::string::npos) throw error;
  throw VantrelError(file + ": " + message);
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
    return UsageFailure(err, "-o " + output->name + " would replace the input picture " +
                                 request.input);
  }
  auto state = NewConverterState();
  const ConversionSettings& settings = request.settings;
  try {
    std::shared_ptr<PictureSource> picture = OpenPicture(request.input);
    const int width = picture->Width(), height = picture->Height();
    const PercentRange range = AllowedPercents(width, height);
    if (settings.scaleGiven && !settings.scale.fit && range.min <= range.max &&
        !range.Contains(settings.scale.percent)) {
      return UsageFailure(err, "--scale " + std::to_string(settings.scale.percent) +
                                   " is outside " + std::to_string(range.min) + ".." +
                                   std::to_string(range.max) + " for the " + std::to_string(width) +
                                   " x " + std::to_string(height) + " picture " + request.input);
    }
    TakePicture(*state, std::move(picture), settings.scale);
  } catch (const VantrelError& error) {
    ThrowNamingFile(error, request.input);
  }
  if (!CropFits(*state, settings.cropLeft, settings.cropTop)) {
    return UsageFailure(err, "--crop " + std::to_string(settings.cropLeft) + "," +
                                 std::to_string(settings.cropTop) +
                                 " puts the window outside the " +
                                 std::to_string(state->PictureWidth) + " x " +
                                 std::to_string(state->PictureHeight) + " picture at " +
                                 std::to_string(state->ScalePercent) + " % (X 0.." +
                                 std::to_string(state->PictureWidth - WindowWidth) + ", Y 0.." +
                                 std::to_string(state->PictureHeight - WindowHeight) + ")");
  }
  SetColourRoles(*state, settings.roles);
  // The scroll positions the window would show are the drawing offset: minus the corner.
  ReadSourceWindow(*state, -settings.cropLeft, -settings.cropTop);
  Reconvert(*state, settings.adjustment, nullptr);
  if (request.autoColours) {
    // As "Auto Colors" does: the search reads the adjusted crop, and the roles it finds are
    // converted once.
    const Dithering dithering = settings.adjustment.dithering;
    SetColourRoles(*state, ChooseColourRoles(*state, dithering, request.goal));
    ConvertPicture(*state, dithering, nullptr);
  }
  const OutputOptions options{request.machine, C64FileName(request.input)};
  bool toStandardOutput = false;
  for (const OutputFile& output : request.outputs) {
    const std::span<const std::uint8_t> bytes = AssembleOutput(*state, output.kind, options);
    if (output.name != StandardOutput) {
      WriteFileReplacing(output.name, bytes);
      continue;
    }
    toStandardOutput = true;
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) throw VantrelError("Cannot write to standard output");
  }
  if (request.autoColours) {
    // With a file on standard output the roles go beside the messages.
    std::ostream& roles = toStandardOutput ? err : out;
    PrintRoles(state->ColourRoles, roles);
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
