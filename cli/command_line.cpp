// The option table of vantrel-convert: reading the arguments, the help and the manual text.
#include "cli/command_line.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

#ifndef VANTREL_VERSION
#define VANTREL_VERSION "unknown"
#endif

namespace vantrel::cli {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A whole decimal number with an optional sign and nothing else around it.
std::optional<int> ParseInt(const std::string& text) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  int value = 0;
  const auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || end != last || first == last) return std::nullopt;
  return value;
}

std::vector<std::string> SplitCommas(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    parts.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) return parts;
    start = comma + 1;
  }
}

std::optional<std::vector<int>> ParseIntList(const std::string& text, std::size_t count) {
  const std::vector<std::string> parts = SplitCommas(text);
  if (parts.size() != count) return std::nullopt;
  std::vector<int> values;
  for (const std::string& part : parts) {
    const std::optional<int> value = ParseInt(part);
    if (!value) return std::nullopt;
    values.push_back(*value);
  }
  return values;
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

}  // namespace

bool IsProjectName(const std::string& fileName) { return EndsWith(Lower(fileName), ".vantrel"); }

OutputKind KindFromExtension(const std::string& fileName) {
  const std::string name = Lower(fileName);
  if (EndsWith(name, ".prg")) return OutputKind::Executable;
  if (EndsWith(name, ".png")) return OutputKind::Png;
  if (EndsWith(name, ".d64")) return OutputKind::DiskImage;
  return OutputKind::Data;
}

namespace {

// A colour name as compared: lower case, no hyphens, "gray" spelt "grey".
std::string ColourKey(std::string_view name) {
  std::string key;
  for (const char c : name) {
    if (c != '-') key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (const std::size_t gray = key.find("gray"); gray != std::string::npos) key[gray + 2] = 'e';
  return key;
}

}  // namespace

int ParseColour(const std::string& text) {
  if (const std::optional<int> number = ParseInt(text)) {
    return *number >= 0 && *number < static_cast<int>(C64Palette.size()) ? *number : -1;
  }
  const std::string key = ColourKey(text);
  if (key.empty()) return -1;
  for (std::size_t index = 0; index < C64ColourNames.size(); ++index) {
    if (key == ColourKey(C64ColourNames[index])) return static_cast<int>(index);
  }
  return -1;
}

namespace {

// One reading of the command line in progress.
struct Parse {
  ConvertRequest request;
  std::optional<InfoRequest> info;
  // A --format waiting for its -o (a plain flag: std::optional trips -Wmaybe-uninitialized).
  bool formatPending = false;
  OutputKind pendingKind = OutputKind::Data;
  bool pendingProject = false;
  bool coloursGiven = false;
};

// Takes an option's value into the parse; the reason when it is refused.
using Apply = std::optional<std::string> (*)(Parse& parse, const std::string& value);

// An option: how it is written, what it takes, what the help says of it, what it does. The
// table below drives both the reading and the help.
struct Option {
  const char* name;
  const char* alias;    // a short form, or null
  const char* value;    // the value's shape in the help; null for a flag
  const char* implied;  // set: the value is optional, given only as --name=value, this if not
  const char* help;
  Apply apply;
  bool changesConversion = false;  // refused beside a project or a saved picture
};

std::optional<std::string> Done() { return std::nullopt; }

std::optional<std::string> ApplyOutput(Parse& parse, const std::string& value) {
  // Standard output has no extension to tell its kind.
  if (value == StandardOutput && !parse.formatPending) {
    return "-o - (standard output) needs --format before it";
  }
  const bool project = parse.formatPending ? parse.pendingProject : IsProjectName(value);
  // A project names its photo from its own folder.
  if (project && value == StandardOutput) return "a project cannot go to standard output";
  parse.request.outputs.push_back(
      {value, parse.formatPending ? parse.pendingKind : KindFromExtension(value), project});
  parse.formatPending = false;
  return Done();
}

std::optional<std::string> ApplyFormat(Parse& parse, const std::string& value) {
  parse.pendingProject = value == "project";
  const std::optional<OutputKind> kind =
      parse.pendingProject ? OutputKind::Data : ChoiceNamed<OutputKind>(OutputKindNames, value);
  if (!kind) return "--format must be exe, data, png, d64 or project, not '" + value + "'";
  parse.pendingKind = *kind;
  parse.formatPending = true;
  return Done();
}

std::optional<std::string> ApplyMachine(Parse& parse, const std::string& value) {
  const std::optional<Machine> machine = MachineFromName(value);
  if (!machine) return "--machine must be pal, ntsc, ntsc-old, drean or any, not '" + value + "'";
  parse.request.machine = *machine;
  parse.request.machineGiven = true;
  return Done();
}

std::optional<std::string> ApplyScale(Parse& parse, const std::string& value) {
  const std::optional<ScaleSetting> scale = ParseScale(value);
  if (!scale) {
    return "--scale must be fit or a percentage 1.." + std::to_string(kMaxScalePercent) +
           ", not '" + value + "'";
  }
  parse.request.settings.scale = *scale;
  parse.request.settings.scaleGiven = true;
  return Done();
}

std::optional<std::string> ApplyCrop(Parse& parse, const std::string& value) {
  const auto corner = ParseIntList(value, 2);
  if (!corner) return "--crop needs X,Y (two whole numbers), not '" + value + "'";
  if ((*corner)[0] < 0 || (*corner)[1] < 0) {
    return "--crop " + value + " lies outside the picture (X and Y start at 0)";
  }
  parse.request.settings.crop = {(*corner)[0], (*corner)[1]};
  return Done();
}

std::optional<std::string> ApplyOffsets(Parse& parse, const std::string& value) {
  const auto offsets = ParseIntList(value, 3);
  if (!offsets) return "--offsets needs R,G,B (three whole numbers), not '" + value + "'";
  for (const int offset : *offsets) {
    if (offset < -255 || offset > 255) {
      return "--offsets " + value + ": " + std::to_string(offset) + " is out of range -255..255";
    }
  }
  Adjustment& adjustment = parse.request.settings.adjustment;
  adjustment.red = (*offsets)[0];
  adjustment.green = (*offsets)[1];
  adjustment.blue = (*offsets)[2];
  return Done();
}

std::optional<std::string> ApplyColours(Parse& parse, const std::string& value) {
  parse.coloursGiven = true;
  const std::vector<std::string> colours = SplitCommas(value);
  if (colours.size() != RoleCount) {
    return "--colours needs five colours BG,B1,S1,B2,S2, not '" + value + "'";
  }
  for (int role = 0; role < RoleCount; ++role) {
    const int colour = ParseColour(colours[role]);
    if (colour < 0) {
      return "--colours: unknown colour '" + colours[role] +
             "' (0..15 or a name such as light-red)";
    }
    parse.request.settings.roles[role] = colour;
  }
  return Done();
}

std::optional<std::string> ApplyAutoColours(Parse& parse, const std::string& value) {
  const auto goal = ChoiceNamed<ColourGoal>(ColourGoalNames, value);
  if (!goal) return "--auto-colours must be faithful, balanced or calm, not '" + value + "'";
  parse.request.settings.autoColours = *goal;
  return Done();
}

std::optional<std::string> ApplyDither(Parse& parse, const std::string& value) {
  const auto dithering = ChoiceNamed<Dithering>(DitheringNames, value);
  if (!dithering) return "--dither must be none, fs or low-flicker, not '" + value + "'";
  parse.request.settings.adjustment.dithering = *dithering;
  return Done();
}

std::optional<std::string> ApplyNoDither(Parse& parse, const std::string&) {
  parse.request.settings.adjustment.dithering = Dithering::None;
  return Done();
}

std::optional<std::string> ApplyHelp(Parse& parse, const std::string&) {
  parse.info = InfoRequest::Help;
  return Done();
}

std::optional<std::string> ApplyVersion(Parse& parse, const std::string&) {
  parse.info = InfoRequest::Version;
  return Done();
}

constexpr Option kOptions[] = {
    {"-o", nullptr, "FILE", nullptr,
     "write FILE; its kind follows the extension: .prg the C64 executable, .d64 a disk image "
     "holding it, .png the preview (192 x 200, the colours the eye sees), .vantrel a project "
     "(the photo's path and digest, every setting and the pixel edits), anything else the "
     "32 KiB data file; may be repeated; - is standard output (give its --format first)",
     ApplyOutput},
    {"--format", nullptr, "exe|data|png|d64|project", nullptr,
     "the kind of the next -o, whatever its extension", ApplyFormat},
    {"--machine", nullptr, "pal|ntsc|ntsc-old|drean|any", nullptr,
     "the C64 the executable is made for: PAL, NTSC (6567R8), old NTSC (6567R56A), Drean "
     "(PAL-N), or any of them, found out when the program starts (default pal, or the "
     "target a project or a saved picture was made for)",
     ApplyMachine},
    {"--scale", nullptr, "fit|PERCENT", nullptr,
     "the photo's scale: fit (the smallest that fills the window) or a percentage such as 50 "
     "or 250 (default 100, or fit for a photo smaller than the window)",
     ApplyScale, true},
    {"--crop", nullptr, "X,Y", nullptr,
     "top-left corner of the 192 x 200 window in the scaled photo (default 0,0); the window "
     "must lie inside it",
     ApplyCrop, true},
    {"--offsets", nullptr, "R,G,B", nullptr,
     "red, green and blue offsets, each -255..255 (default 0,0,0)", ApplyOffsets, true},
    {"--colours", nullptr, "BG,B1,S1,B2,S2", nullptr,
     "background, bitmap 1, sprite 1, bitmap 2 and sprite 2 colours, each 0..15 or a name "
     "(default 0,2,3,7,10)",
     ApplyColours, true},
    {"--auto-colours", nullptr, "faithful|balanced|calm", "faithful",
     "choose the five colours by themselves and print them (numbers, then names): faithful "
     "(the default) looks closest to the photo, balanced and calm give up a little of that "
     "for less interlace flicker",
     ApplyAutoColours, true},
    {"--dither", nullptr, "none|fs|low-flicker", nullptr,
     "none: nearest colour only; fs: Floyd-Steinberg (the default); low-flicker: nearest "
     "colour to the eye, calm where it costs little",
     ApplyDither, true},
    {"--no-dither", nullptr, nullptr, nullptr, "the same as --dither none", ApplyNoDither, true},
    {"--help", "-h", nullptr, nullptr, "show this help and exit", ApplyHelp},
    {"--version", nullptr, nullptr, nullptr, "show the version and exit", ApplyVersion},
};

const Option* FindOption(const std::string& name) {
  for (const Option& option : kOptions) {
    if (name == option.name || (option.alias && name == option.alias)) return &option;
  }
  return nullptr;
}

// The option as the help shows it: "-h, --help", "--crop X,Y", "--auto-colours[=GOALS]".
std::string Label(const Option& option) {
  std::string label = option.alias ? std::string(option.alias) + ", " + option.name : option.name;
  if (option.value) {
    label +=
        option.implied ? std::string("[=") + option.value + "]" : std::string(" ") + option.value;
  }
  return label;
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

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  Parse parse;
  std::vector<std::string> inputs;
  bool optionsEnded = false;
  for (std::size_t next = 0; next < arguments.size();) {
    const std::string& argument = arguments[next++];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      inputs.push_back(argument);
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
    const Option* option = FindOption(name);
    if (!option) return UsageError{"unknown option '" + argument + "'"};
    if (!option->value && attached) return UsageError{"option '" + name + "' takes no value"};
    std::string value;
    if (attached) {
      value = *attached;
    } else if (option->implied) {
      value = option->implied;
    } else if (option->value) {
      if (next >= arguments.size()) return UsageError{"option '" + name + "' needs a value"};
      value = arguments[next++];
    }
    if (const std::optional<std::string> refused = option->apply(parse, value)) {
      return UsageError{*refused};
    }
    if (option->changesConversion && parse.request.settingOption.empty()) {
      parse.request.settingOption = name;
    }
    // Help and version win over everything after them.
    if (parse.info) return *parse.info;
  }

  ConvertRequest& request = parse.request;
  if (parse.formatPending) return UsageError{"--format is not followed by the -o it applies to"};
  if (parse.coloursGiven && request.settings.autoColours) {
    return UsageError{"--colours and --auto-colours exclude each other"};
  }
  if (inputs.empty()) return UsageError{"no input file"};
  if (inputs.size() > 1) {
    return UsageError{"one input file only, not '" + inputs[0] + "' and '" + inputs[1] + "'"};
  }
  if (request.outputs.empty()) return UsageError{"no output file (-o)"};
  request.input = inputs.front();
  return request;
}

std::vector<OptionHelp> OptionHelps() {
  std::vector<OptionHelp> helps;
  for (const Option& option : kOptions) helps.push_back({Label(option), option.help});
  return helps;
}

std::string HelpText() {
  constexpr std::size_t kColumn = 23;
  std::string text =
      "Usage: vantrel-convert [options] PICTURE -o OUTPUT [-o OUTPUT ...]\n"
      "Converts a photo into a C64 picture (hires bitmap + sprites, two interlaced frames)\n"
      "exactly as the Vantrel Converter window does, and writes one file per -o.\n"
      "PICTURE may also be a project (.vantrel), which brings its photo, settings and edits,\n"
      "or a picture this program saved (.prg, .d64 or data file), which is taken as it is:\n"
      "with either, only -o, --format and --machine apply.\n"
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
  return "Exit status: 0 done, 1 the picture could not be read or a file not written, 2 bad "
         "usage (also an -o that names the input picture). No file is written unless the "
         "conversion succeeds.";
}

std::string VersionText() { return std::string("vantrel-convert ") + VANTREL_VERSION + "\n"; }

}  // namespace vantrel::cli
