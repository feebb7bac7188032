#include "cli/run.h"

#include <memory>
#include <new>
#include <ostream>
#include <variant>

#include "c64/memory_image.h"
#include "c64/output_files.h"
#include "cli/command_line.h"
#include "cli/preview_png.h"
#include "colour/palette.h"
#include "convert/auto_colours.h"
#include "convert/pipeline.h"
#include "core/converter_state.h"

namespace vantrel::cli {

namespace {

constexpr const char* ProgramName = "vantrel-convert";

int UsageFailure(std::ostream& err, const std::string& reason) {
  err << ProgramName << ": " << reason << "\n"
      << "Try '" << ProgramName << " --help' for more information.\n";
  return ExitUsage;
}

// Builds each file in the state's FileBuffer as the window's save actions do and writes it.
void WriteOutput(ConverterState& state, const OutputFile& output) {
  switch (output.kind) {
    case OutputKind::Executable:
      AssembleExecutable(state.MemoryImage, state.ColourRoles, state.FileBuffer);
      WriteFileReplacing(output.name, state.FileBuffer.data(), ExecutableFileSize);
      break;
    case OutputKind::Data:
      AssembleDataFile(state.MemoryImage, state.ColourRoles, state.FileBuffer);
      WriteFileReplacing(output.name, state.FileBuffer.data(), DataFileSize);
      break;
    case OutputKind::Png: {
      const std::vector<std::uint8_t> png = EncodePreviewPng(state.PreviewBitmap);
      WriteFileReplacing(output.name, png.data(), png.size());
      break;
    }
  }
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

int Convert(const ConvertRequest& request, std::ostream& out, std::ostream& err) {
  auto state = std::make_unique<ConverterState>();
  LoadPicture(*state, request.input);
  ConversionSettings settings = request.settings;
  if (!CropFits(*state, settings.cropLeft, settings.cropTop)) {
    return UsageFailure(err, "--crop " + std::to_string(settings.cropLeft) + "," +
                                 std::to_string(settings.cropTop) +
                                 " puts the window outside the " +
                                 std::to_string(state->PictureWidth) + " x " +
                                 std::to_string(state->PictureHeight) + " picture (X 0.." +
                                 std::to_string(state->PictureWidth - WindowWidth) + ", Y 0.." +
                                 std::to_string(state->PictureHeight - WindowHeight) + ")");
  }
  ConvertLoadedPicture(*state, settings, nullptr);
  if (request.autoColours) {
    // The search reads the adjusted crop the first conversion left in Image1; converting
    // again with its roles gives what --colours with them would give.
    settings.roles = ChooseColourRoles(*state, settings.dither);
    ConvertLoadedPicture(*state, settings, nullptr);
  }
  BuildMemoryImage(state->LayerBits, state->MemoryImage);
  FillScreenColours(state->ColourRoles, state->MemoryImage);
  for (const OutputFile& output : request.outputs) WriteOutput(*state, output);
  if (request.autoColours) {
    PrintRoles(state->ColourRoles, out);
    out.flush();
    if (!out) return ExitFailure;
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
  } catch (const std::bad_alloc&) {
    err << ProgramName << ": Not enough memory\n";
  } catch (const std::exception& error) {
    err << ProgramName << ": " << error.what() << "\n";
  }
  return ExitFailure;
}

}  // namespace vantrel::cli
