// Reading the arguments, the help and the manual text: the conversion options are the
// library's table (session/options.h); the rows here are the command line's own.
#include "cli/command_line.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <optional>

#include "core/error.h"

#ifndef VANTREL_VERSION
#define VANTREL_VERSION "unknown"
#endif

namespace vantrel::cli {

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The palette's names in number order, wrapped for the help text.
std::string ColourNameList() {
  std::string text;
  std::size_t lineLength = 31;  // after the heading
  for (const std::string_view name : C64ColourNames) {
    if (lineLength + 1 + name.size() > 79) {
      text += "\n ";
      lineLength = 1;
    }
    text += " ";
    text += name;
    lineLength += 1 + name.size();
  }
  return text + "\n";
}

// One reading of the command line in progress.
struct Parse {
  ConvertRequest request;
  std::optional<InfoRequest> info;
  std::vector<std::string> inputs;
  std::vector<OutputFile> outputs;    // the -o files
  std::vector<OutputTarget> formats;  // every --format, in order
  // A --format waiting for its -o (plain members: std::optional trips -Wmaybe-uninitialized).
  bool formatPending = false;
  OutputTarget pending;
  bool outputDirGiven = false;
  std::string outputDir;
};

// Takes an option's value into the parse; throws VantrelError when it is refused.
using Apply = void (*)(Parse& parse, const std::string& value);

// An option of the command line alone: how it is written, what it takes, what the help says
// of it, what it does.
struct OwnOption {
  const char* name;
  const char* shortName;  // or null
  const char* value;      // the value's shape in the help; null for a flag
  const char* help;
  Apply apply;
  bool listedLast;  // after the conversion options in the help
};

// The names --format takes: the output kinds', then a project.
std::vector<std::string_view> FormatNames() {
  std::vector<std::string_view> names(OutputKindNames.begin(), OutputKindNames.end());
  names.push_back("project");
  return names;
}

std::string FormatShape() {
  std::string shape;
  for (const std::string_view name : FormatNames()) {
    shape += (shape.empty() ? "" : "|") + std::string(name);
  }
  return shape;
}

void ApplyOutput(Parse& parse, const std::string& value) {
  // Standard output has no extension to tell its kind.
  if (value == StandardOutput && !parse.formatPending) {
    throw VantrelError(Message::kStandardOutputNeedsFormat);
  }
  // A name that lies about what it holds is refused even with --format before it.
  const OutputTarget named = OutputTargetOfName(value);
  const OutputTarget target = parse.formatPending ? parse.pending : named;
  // A project names its photo from its own folder.
  if (target.project && value == StandardOutput) {
    throw VantrelError(Message::kProjectToStandardOutput);
  }
  parse.outputs.push_back({value, target.kind, target.project, true});
  parse.formatPending = false;
}

void ApplyFormat(Parse& parse, const std::string& value) {
  const std::vector<std::string_view> names = FormatNames();
  const auto found = std::find(names.begin(), names.end(), value);
  if (found == names.end()) {
    throw VantrelError(Message::kNotAChoice, "--format", ChoiceList(names), value);
  }
  const std::size_t index = static_cast<std::size_t>(found - names.begin());
  parse.pending = index < OutputKindNames.size()
                      ? OutputTarget{static_cast<OutputKind>(index), false}
                      : OutputTarget{OutputKind::Data, true};
  parse.formats.push_back(parse.pending);
  parse.formatPending = true;
}

void ApplyOutputDir(Parse& parse, const std::string& value) {
  parse.outputDirGiven = true;
  parse.outputDir = value;
}

void ApplyHelp(Parse& parse, const std::string&) { parse.info = InfoRequest::Help; }

void ApplyVersion(Parse& parse, const std::string&) { parse.info = InfoRequest::Version; }

constexpr OwnOption kOwnOptions[] = {
    {"-o", nullptr, "FILE",
     "write FILE; its kind follows the extension: .prg the C64 executable, .d64 a disk image "
     "holding it, .png the preview (192 x 200, the colours the eye sees), .asm the data file as "
     "an assembler source with labels (see --asm-syntax), .vantrel a project "
     "(the photo's path and digest, every setting and the pixel edits), anything else the "
     "32 KiB data file, but not the extension of another picture format (.jpg, .gif, .tif "
     "...); may be repeated; - is standard output (give its --format first)",
     ApplyOutput, false},
    {"--format", nullptr, nullptr,
     "the kind of the next -o, whatever its extension; with --output-dir, a kind of file to "
     "write for every picture (may be repeated)",
     ApplyFormat, false},
    {"--output-dir", nullptr, "DIR",
     "write each picture's files into DIR, named after the picture with each --format's "
     "extension (.prg, .bin, .png, .d64, .asm, .vantrel); for several pictures, instead of -o",
     ApplyOutputDir, false},
    {"--help", "-h", nullptr, "show this help and exit", ApplyHelp, true},
    {"--version", nullptr, nullptr, "show the version and exit", ApplyVersion, true},
};

const OwnOption* FindOwnOption(const std::string& name) {
  for (const OwnOption& option : kOwnOptions) {
    if (name == option.name || (option.shortName && name == option.shortName)) return &option;
  }
  return nullptr;
}

// The value shape of an own option: --format's comes from the kinds.
std::string ShapeOf(const OwnOption& option) {
  if (option.apply == ApplyFormat) return FormatShape();
  return option.value ? option.value : "";
}

// The option as the help shows it: "-h, --help", "--crop X,Y", "--auto-colours[=GOALS]".
std::string Label(const OwnOption& option) {
  std::string label =
      option.shortName ? std::string(option.shortName) + ", " + option.name : option.name;
  const std::string shape = ShapeOf(option);
  return shape.empty() ? label : label + " " + shape;
}

std::string Label(const ConversionOption& option) {
  std::string label = Spelled(option.name, OptionSpelling::CommandLine);
  if (!option.alias.empty()) label += ", " + Spelled(option.alias, OptionSpelling::CommandLine);
  if (option.IsFlag()) return label;
  return label + (option.implied.empty() ? " " + option.Shape() : "[=" + option.Shape() + "]");
}

// `text` in lines of at most 79 characters, each indented to `indent`.
std::string Wrapped(const std::string& text, std::size_t indent) {
  std::string wrapped;
  std::size_t lineLength = indent;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (lineLength > indent && lineLength + 1 + word.size() > 79) {
      wrapped += "\n" + std::string(indent, ' ');
      lineLength = indent;
    }
    if (lineLength > indent) {
      wrapped += ' ';
      ++lineLength;
    }
    wrapped += word;
    lineLength += word.size();
    start = end + 1;
  }
  return wrapped;
}

// The value of the option just read: attached (--name=value), the next argument, or the
// implied one; empty for a flag.
std::string ValueOf(const std::string& name, bool flag, const std::string& implied,
                    const std::optional<std::string>& attached,
                    const std::vector<std::string>& arguments, std::size_t& next) {
  if (flag) {
    if (attached) throw VantrelError(Message::kOptionTakesNoValue, name);
    return {};
  }
  if (attached) return *attached;
  if (!implied.empty()) return implied;
  if (next >= arguments.size()) throw VantrelError(Message::kOptionNeedsValue, name);
  return arguments[next++];
}

// Reads the arguments into `parse`; throws VantrelError for bad usage.
void ReadArguments(const std::vector<std::string>& arguments, Parse& parse) {
  bool optionsEnded = false;
  for (std::size_t next = 0; next < arguments.size();) {
    const std::string& argument = arguments[next++];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      parse.inputs.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = argument;
    std::optional<std::string> attached;
    if (const std::size_t equals = argument.find('=');
        argument.rfind("--", 0) == 0 && equals != std::string::npos) {
      name = argument.substr(0, equals);
      attached = argument.substr(equals + 1);
    }
    if (const OwnOption* own = FindOwnOption(name)) {
      const bool flag = ShapeOf(*own).empty();
      own->apply(parse, ValueOf(name, flag, {}, attached, arguments, next));
      // Help and version win over everything after them.
      if (parse.info) return;
      continue;
    }
    const ConversionOption* option =
        name.rfind("--", 0) == 0 ? FindOption(std::string_view(name).substr(2)) : nullptr;
    if (!option) throw VantrelError(Message::kUnknownOption, argument);
    const std::string value =
        ValueOf(name, option->IsFlag(), option->implied, attached, arguments, next);
    ApplyOption(*option, name, value, parse.request.options);
    if (option->changesConversion && parse.request.settingOption.empty()) {
      parse.request.settingOption = name;
    }
  }
}

// The files of each picture in --output-dir: its base name with each kind's extension, a
// kind given twice written once.
std::vector<OutputFile> FilesInFolder(const Parse& parse, const std::string& input) {
  std::vector<OutputFile> files;
  std::vector<OutputTarget> kinds;
  for (const OutputTarget& kind : parse.formats) {
    if (std::find(kinds.begin(), kinds.end(), kind) != kinds.end()) continue;
    kinds.push_back(kind);
    const std::string base = std::filesystem::path(input).stem().string();
    const std::filesystem::path file =
        std::filesystem::path(parse.outputDir) / (base + std::string(OutputExtension(kind)));
    files.push_back({file.string(), kind.kind, kind.project, false});
  }
  return files;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  Parse parse;
  ConvertRequest& request = parse.request;
  try {
    ReadArguments(arguments, parse);
    if (parse.info) return *parse.info;
    if (parse.outputDirGiven && !parse.outputs.empty()) {
      throw VantrelError(Message::kOptionsExclude, "-o", "--output-dir");
    }
    if (parse.formatPending && !parse.outputDirGiven) {
      throw VantrelError(Message::kFormatWithoutOutput);
    }
    CheckOptionsTogether(request.options, OptionSpelling::CommandLine);
    if (parse.inputs.empty()) throw VantrelError(Message::kNoInputFile);
    if (parse.outputDirGiven) {
      if (parse.formats.empty()) throw VantrelError(Message::kOutputDirNeedsFormat);
      // Compared without case, so a folder that ignores it cannot merge two either.
      std::map<std::string, const std::string*> writers;
      for (const std::string& input : parse.inputs) {
        Job job{input, FilesInFolder(parse, input)};
        for (const OutputFile& file : job.outputs) {
          const auto [at, added] = writers.emplace(Lower(file.name), &input);
          if (!added) {
            throw VantrelError(Message::kSameOutputTwice, *at->second, input, file.name);
          }
        }
        request.jobs.push_back(std::move(job));
      }
      return request;
    }
    if (parse.outputs.empty()) throw VantrelError(Message::kNoOutputFile);
    if (parse.inputs.size() > 1) {
      throw VantrelError(Message::kOutputForOnePicture, parse.inputs.size());
    }
    request.jobs.push_back({parse.inputs.front(), parse.outputs});
    return request;
  } catch (const VantrelError& error) {
    return UsageError{error.what()};
  }
}

std::vector<OptionHelp> OptionHelps() {
  std::vector<OptionHelp> helps;
  for (const OwnOption& option : kOwnOptions) {
    if (!option.listedLast) helps.push_back({Label(option), option.help});
  }
  for (const ConversionOption& option : ConversionOptions()) {
    helps.push_back({Label(option), option.HelpText()});
  }
  for (const OwnOption& option : kOwnOptions) {
    if (option.listedLast) helps.push_back({Label(option), option.help});
  }
  return helps;
}

std::string HelpText() {
  constexpr std::size_t kColumn = 23;
  std::string text =
      "Usage: vantrel-convert [options] PICTURE -o OUTPUT [-o OUTPUT ...]\n"
      "       vantrel-convert [options] PICTURE... --output-dir DIR --format KIND "
      "[--format KIND ...]\n"
      "Converts a photo into a C64 picture (hires bitmap + sprites, two interlaced frames)\n"
      "exactly as the Vantrel Converter window does, and writes one file per -o, or each\n"
      "picture's files into DIR, named after the picture.\n"
      "PICTURE may also be a project (.vantrel), which brings its photo, settings and edits,\n"
      "or a picture this program saved (.prg, .d64 or data file), which is taken as it is:\n"
      "with either, only -o, --output-dir, --format and --machine apply, and --palette and\n"
      "--mix, the colours its preview is shown in.\n"
      "\n"
      "Options:\n";
  for (const OptionHelp& option : OptionHelps()) {
    text += "  " + option.label;
    if (2 + option.label.size() + 1 > kColumn) {
      text += "\n" + std::string(kColumn, ' ');
    } else {
      text += std::string(kColumn - 2 - option.label.size(), ' ');
    }
    text += Wrapped(option.help, kColumn) + "\n";
  }
  return text + "\nColour names (by number 0..15):" + ColourNameList() + "\n" +
         Wrapped(ExitStatusText(), 0) + "\n";
}

std::string ExitStatusText() {
  return "Exit status: 0 done, 1 a picture could not be read or a file not written, 2 bad "
         "usage (also an output that would replace an input picture, or that names a picture "
         "format this program does not write). No file of a picture is written unless its "
         "conversion succeeds, and none after a file that could not be written. With several "
         "pictures, one that fails is reported and the others go on; the status is then the "
         "highest of theirs.";
}

std::string VersionText() { return std::string("vantrel-convert ") + VANTREL_VERSION + "\n"; }

}  // namespace vantrel::cli
