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

std::optional<OutputKind> ParseFormat(const std::string& text) {
  if (text == "exe") return OutputKind::Executable;
  if (text == "data") return OutputKind::Data;
  if (text == "png") return OutputKind::Png;
  if (text == "d64") return OutputKind::DiskImage;
  return std::nullopt;
}

// Reads one option's value from "--name=value" or the next argument. Returns false with
// `error` set when none is left.
class ArgumentReader {
 public:
  explicit ArgumentReader(const std::vector<std::string>& arguments) : arguments_(arguments) {}
  bool Done() const { return next_ >= arguments_.size(); }
  const std::string& Next() { return arguments_[next_++]; }
  std::optional<std::string> Value(const std::optional<std::string>& attached) {
    if (attached) return attached;
    if (Done()) return std::nullopt;
    return Next();
  }

 private:
  const std::vector<std::string>& arguments_;
  std::size_t next_ = 0;
};

UsageError Error(std::string reason) { return UsageError{std::move(reason)}; }

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

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  ConvertRequest request;
  std::vector<std::string> inputs;
  // A --format waiting for its -o (a plain flag: std::optional trips -Wmaybe-uninitialized).
  bool formatPending = false;
  OutputKind pendingKind = OutputKind::Data;
  bool optionsEnded = false;
  bool coloursGiven = false;

  ArgumentReader reader(arguments);
  while (!reader.Done()) {
    const std::string& argument = reader.Next();
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
    if (argument.rfind("--", 0) == 0) {
      const std::size_t equals = argument.find('=');
      if (equals != std::string::npos) {
        name = argument.substr(0, equals);
        attached = argument.substr(equals + 1);
      }
    }
    const bool takesValue = name == "-o" || name == "--format" || name == "--crop" ||
                            name == "--offsets" || name == "--colours" || name == "--dither" ||
                            name == "--machine" || name == "--scale";
    const bool isFlag = name == "-h" || name == "--help" || name == "--version" ||
                        name == "--no-dither" || name == "--auto-colours";
    if (!takesValue && !isFlag) return Error("unknown option '" + argument + "'");
    // --auto-colours alone means faithful; its goal can only be attached, as --auto-colours=calm.
    if (isFlag && attached && name != "--auto-colours") {
      return Error("option '" + name + "' takes no value");
    }

    if (name == "-h" || name == "--help") return InfoRequest::Help;
    if (name == "--version") return InfoRequest::Version;
    if (name == "--no-dither") {
      request.settings.adjustment.dithering = Dithering::None;
      continue;
    }
    if (name == "--auto-colours") {
      request.settings.autoColours = ColourGoal::Faithful;
      if (attached) {
        const auto goal = ChoiceNamed<ColourGoal>(ColourGoalNames, *attached);
        if (!goal) {
          return Error("--auto-colours must be faithful, balanced or calm, not '" + *attached +
                       "'");
        }
        request.settings.autoColours = *goal;
      }
      continue;
    }

    const std::optional<std::string> value = reader.Value(attached);
    if (!value) return Error("option '" + name + "' needs a value");

    if (name == "-o") {
      // Standard output has no extension to tell its kind.
      if (*value == StandardOutput && !formatPending) {
        return Error("-o - (standard output) needs --format before it");
      }
      request.outputs.push_back({*value, formatPending ? pendingKind : KindFromExtension(*value)});
      formatPending = false;
    } else if (name == "--format") {
      const std::optional<OutputKind> kind = ParseFormat(*value);
      if (!kind) return Error("--format must be exe, data, png or d64, not '" + *value + "'");
      pendingKind = *kind;
      formatPending = true;
    } else if (name == "--scale") {
      const std::optional<ScaleSetting> scale = ParseScale(*value);
      if (!scale) {
        return Error("--scale must be fit or a percentage 1.." + std::to_string(kMaxScalePercent) +
                     ", not '" + *value + "'");
      }
      request.settings.scale = *scale;
      request.settings.scaleGiven = true;
    } else if (name == "--machine") {
      const std::optional<Machine> machine = MachineFromName(*value);
      if (!machine) {
        return Error("--machine must be pal, ntsc, ntsc-old, drean or any, not '" + *value + "'");
      }
      request.machine = *machine;
    } else if (name == "--dither") {
      const auto dithering = ChoiceNamed<Dithering>(DitheringNames, *value);
      if (!dithering)
        return Error("--dither must be none, fs or low-flicker, not '" + *value + "'");
      request.settings.adjustment.dithering = *dithering;
    } else if (name == "--crop") {
      const auto corner = ParseIntList(*value, 2);
      if (!corner) return Error("--crop needs X,Y (two whole numbers), not '" + *value + "'");
      if ((*corner)[0] < 0 || (*corner)[1] < 0) {
        return Error("--crop " + *value + " lies outside the picture (X and Y start at 0)");
      }
      request.settings.crop = {(*corner)[0], (*corner)[1]};
    } else if (name == "--offsets") {
      const auto offsets = ParseIntList(*value, 3);
      if (!offsets)
        return Error("--offsets needs R,G,B (three whole numbers), not '" + *value + "'");
      for (const int offset : *offsets) {
        if (offset < -255 || offset > 255) {
          return Error("--offsets " + *value + ": " + std::to_string(offset) +
                       " is out of range -255..255");
        }
      }
      request.settings.adjustment.red = (*offsets)[0];
      request.settings.adjustment.green = (*offsets)[1];
      request.settings.adjustment.blue = (*offsets)[2];
    } else {  // --colours
      coloursGiven = true;
      const std::vector<std::string> colours = SplitCommas(*value);
      if (colours.size() != RoleCount) {
        return Error("--colours needs five colours BG,B1,S1,B2,S2, not '" + *value + "'");
      }
      for (int role = 0; role < RoleCount; ++role) {
        const int colour = ParseColour(colours[role]);
        if (colour < 0) {
          return Error("--colours: unknown colour '" + colours[role] +
                       "' (0..15 or a name such as light-red)");
        }
        request.settings.roles[role] = colour;
      }
    }
  }

  if (formatPending) return Error("--format is not followed by the -o it applies to");
  if (coloursGiven && request.settings.autoColours) {
    return Error("--colours and --auto-colours exclude each other");
  }
  if (inputs.empty()) return Error("no input file");
  if (inputs.size() > 1) {
    return Error("one input file only, not '" + inputs[0] + "' and '" + inputs[1] + "'");
  }
  if (request.outputs.empty()) return Error("no output file (-o)");
  request.input = inputs.front();
  return request;
}

std::string HelpText() {
  return std::string(
             "Usage: vantrel-convert [options] PICTURE -o OUTPUT [-o OUTPUT ...]\n"
             "Converts a photo into a C64 picture (hires bitmap + sprites, two interlaced frames)\n"
             "exactly as the Vantrel Converter window does, and writes one file per -o.\n"
             "\n"
             "Options:\n"
             "  -o FILE              write FILE; its kind follows the extension: .prg the C64\n"
             "                       executable, .d64 a disk image holding it, .png the preview\n"
             "                       (192 x 200, the colours the eye sees), anything else the\n"
             "                       32 KiB data file; may be repeated; - is standard output\n"
             "                       (give its --format first)\n"
             "  --format exe|data|png|d64\n"
             "                       the kind of the next -o, whatever its extension\n"
             "  --machine pal|ntsc|ntsc-old|drean|any\n"
             "                       the C64 the executable is made for (default pal): PAL,\n"
             "                       NTSC (6567R8), old NTSC (6567R56A), Drean (PAL-N), or any\n"
             "                       of them, found out when the program starts\n"
             "  --scale fit|PERCENT  the photo's scale: fit (the smallest that fills the window)\n"
             "                       or a percentage such as 50 or 250 (default 100, or fit for\n"
             "                       a photo smaller than the window)\n"
             "  --crop X,Y           top-left corner of the 192 x 200 window in the scaled photo\n"
             "                       (default 0,0); the window must lie inside it\n"
             "  --offsets R,G,B      red, green and blue offsets, each -255..255 (default 0,0,0)\n"
             "  --colours BG,B1,S1,B2,S2\n"
             "                       background, bitmap 1, sprite 1, bitmap 2 and sprite 2\n"
             "                       colours, each 0..15 or a name (default 0,2,3,7,10)\n"
             "  --auto-colours[=faithful|balanced|calm]\n"
             "                       choose the five colours by themselves and print them\n"
             "                       (numbers, then names): faithful (the default) looks closest\n"
             "                       to the photo, balanced and calm give up a little of that\n"
             "                       for less interlace flicker\n"
             "  --dither none|fs|low-flicker\n"
             "                       none: nearest colour only; fs: Floyd-Steinberg (the\n"
             "                       default); low-flicker: nearest colour to the eye, calm where\n"
             "                       it costs little\n"
             "  --no-dither          the same as --dither none\n"
             "  -h, --help           show this help and exit\n"
             "  --version            show the version and exit\n"
             "\n") +
         "Colour names (by number 0..15):" + ColourNameList() +
         "\n"
         "Exit status: 0 done, 1 the picture could not be read or a file not written,\n"
         "2 bad usage (also an -o that names the input picture). No file is written unless\n"
         "the conversion succeeds.\n";
}

std::string VersionText() { return std::string("vantrel-convert ") + VANTREL_VERSION + "\n"; }

}  // namespace vantrel::cli
