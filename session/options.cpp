// The option table and how a value is read into the settings: the one place where an option's
// name, values, range, default, help and refusals are written.
#include "session/options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

#include "colour/palette.h"
#include "colour/palettes.h"
#include "convert/dithering.h"
#include "core/error.h"

namespace vantrel {

namespace {

// A whole decimal number with an optional sign and nothing else around it.
std::optional<int> WholeNumber(std::string_view text) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  int value = 0;
  const auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || end != last || first == last) return std::nullopt;
  return value;
}

std::vector<std::string> SplitCommas(std::string_view text) {
  std::vector<std::string> parts;
  for (;;) {
    const std::size_t comma = text.find(',');
    parts.emplace_back(text.substr(0, comma));
    if (comma == std::string_view::npos) return parts;
    text.remove_prefix(comma + 1);
  }
}

// How many values a shape such as "R,G,B" stands for, as a word.
std::string CountWord(std::size_t count) {
  static const char* const kWords[] = {"no", "one", "two", "three", "four", "five"};
  return count < std::size(kWords) ? kWords[count] : std::to_string(count);
}

// The whole numbers of `use.value`, as many as the option's shape has parts.
std::vector<int> Numbers(const OptionUse& use) {
  const std::size_t count = SplitCommas(use.option.value).size();
  std::vector<int> numbers;
  for (const std::string& part : SplitCommas(use.value)) {
    const std::optional<int> number = WholeNumber(part);
    if (!number) break;
    numbers.push_back(*number);
  }
  if (numbers.size() != count || SplitCommas(use.value).size() != count) {
    throw VantrelError(Message::kNeedsWholeNumbers, use.spelled, use.option.value, CountWord(count),
                       use.value);
  }
  return numbers;
}

template <std::size_t Count>
std::vector<OptionChoice> ChoicesOf(const std::array<std::string_view, Count>& names,
                                    const std::array<std::string_view, Count>& captions) {
  std::vector<OptionChoice> choices;
  for (std::size_t i = 0; i < Count; ++i) choices.push_back({names[i], captions[i]});
  return choices;
}

std::vector<OptionChoice> MachineChoices() {
  std::vector<OptionChoice> choices;
  for (const Machine machine : AllMachines) {
    choices.push_back({MachineName(machine), MachineCaption(machine)});
  }
  return choices;
}

std::string Joined(const std::vector<int>& numbers) {
  std::string text;
  for (const int number : numbers) text += (text.empty() ? "" : ",") + std::to_string(number);
  return text;
}

// --- The effects -----------------------------------------------------------------------

void ApplyMachine(OptionValues& values, const OptionUse& use) {
  values.machine = AllMachines[static_cast<std::size_t>(use.choice)];
}

void ApplyPack(OptionValues& values, const OptionUse& use) { values.pack = use.choice == 0; }

void ApplyAsmSyntax(OptionValues& values, const OptionUse& use) {
  values.asmSyntax = AllAsmSyntaxes[static_cast<std::size_t>(use.choice)];
}

std::vector<OptionChoice> AsmSyntaxChoices() {
  std::vector<OptionChoice> choices;
  static constexpr std::array<std::string_view, 3> kCaptions = {"64tass", "ACME", "Kick Assembler"};
  for (const AsmSyntax syntax : AllAsmSyntaxes) {
    choices.push_back({AsmSyntaxName(syntax), kCaptions[static_cast<std::size_t>(syntax)]});
  }
  return choices;
}

void ApplyScale(OptionValues& values, const OptionUse& use) {
  const std::optional<ScaleSetting> scale = ParseScale(use.value);
  if (!scale) throw VantrelError(Message::kNotAScale, use.spelled, kMaxScalePercent, use.value);
  values.settings.scale = *scale;
  values.settings.scaleGiven = true;
}

void ApplyCrop(OptionValues& values, const OptionUse& use) {
  const std::vector<int> corner = Numbers(use);
  // Whether the window fits is known once the picture is open.
  if (corner[0] < 0 || corner[1] < 0) {
    throw VantrelError(Message::kCropBeforePicture, use.spelled, use.value);
  }
  values.settings.crop = {corner[0], corner[1]};
}

void ApplyOffsets(OptionValues& values, const OptionUse& use) {
  const std::vector<int> offsets = Numbers(use);
  for (const int offset : offsets) {
    if (offset < use.option.min || offset > use.option.max) {
      throw VantrelError(Message::kNumberOutOfRange, use.spelled, use.value, offset, use.option.min,
                         use.option.max);
    }
  }
  Adjustment& adjustment = values.settings.adjustment;
  adjustment.red = offsets[0];
  adjustment.green = offsets[1];
  adjustment.blue = offsets[2];
}

void ApplyColours(OptionValues& values, const OptionUse& use) {
  const std::vector<std::string> colours = SplitCommas(use.value);
  if (colours.size() != RoleCount) {
    throw VantrelError(Message::kNeedsColours, use.spelled, CountWord(RoleCount), use.option.value,
                       use.value);
  }
  ColourRoleSet roles;
  for (int role = 0; role < RoleCount; ++role) {
    roles[role] = ParseColour(colours[role]);
    if (roles[role] < 0) {
      throw VantrelError(Message::kUnknownColour, use.spelled, colours[role], use.option.min,
                         use.option.max);
    }
  }
  values.settings.roles = roles;
  values.settings.rolesGiven = true;
}

void ApplyAutoColours(OptionValues& values, const OptionUse& use) {
  values.settings.autoColours = static_cast<ColourGoal>(use.choice);
}

void ApplyPerCell(OptionValues& values, const OptionUse& use) {
  values.settings.perCell = static_cast<ColourGoal>(use.choice);
}

std::vector<OptionChoice> PaletteChoices() {
  std::vector<OptionChoice> choices;
  for (const PaletteData& palette : AllPalettes())
    choices.push_back({palette.name, palette.caption});
  return choices;
}

void ApplyPalette(OptionValues& values, const OptionUse& use) {
  values.settings.model.palette = static_cast<PaletteId>(use.choice);
}

void ApplyMix(OptionValues& values, const OptionUse& use) {
  values.settings.model.mix = static_cast<MixRule>(use.choice);
}

void ApplyDither(OptionValues& values, const OptionUse& use) {
  values.settings.adjustment.dithering = static_cast<Dithering>(use.choice);
}

void ApplyNoDither(OptionValues& values, const OptionUse&) {
  values.settings.adjustment.dithering = Dithering::None;
}

// --- The table -------------------------------------------------------------------------

std::vector<ConversionOption> Table() {
  const OptionValues defaults;
  const ConversionSettings& settings = defaults.settings;
  std::vector<ConversionOption> rows;
  {
    ConversionOption& o = rows.emplace_back();
    o.name = "machine";
    o.choices = MachineChoices();
    o.defaultValue = MachineName(defaults.machine);
    o.defaultNote = ", or the target a project or a saved picture was made for";
    o.help =
        "the C64 the executable is made for: PAL, NTSC (6567R8), old NTSC (6567R56A), Drean "
        "(PAL-N), or any of them, found out when the program starts";
    o.apply = ApplyMachine;
  }
  {
    ConversionOption& o = rows.emplace_back();
    o.name = "pack";
    o.choices = {{"yes", "Packed"}, {"no", "Not packed"}};
    o.implied = "yes";
    o.defaultValue = "no";
    o.defaultNote = ", or as a saved picture was";
    o.help =
        "pack the executable and the disk image's program: about a quarter of the size, "
        "unpacked by the C64 itself when it runs (under two seconds)";
    o.apply = ApplyPack;
  }
  {
    ConversionOption& o = rows.emplace_back();
    o.name = "asm-syntax";
    o.choices = AsmSyntaxChoices();
    o.defaultValue = AsmSyntaxName(defaults.asmSyntax);
    o.help =
        "the assembler an assembler source (-o x.asm, --format asm) is written for: 64tass, "
        "ACME or Kick Assembler";
    o.apply = ApplyAsmSyntax;
  }
  {
    ConversionOption& o = rows.emplace_back();
    o.name = "scale";
    o.value = "fit|PERCENT";
    o.defaultValue = std::to_string(settings.scale.percent);
    o.defaultNote = ", or fit for a photo smaller than the window";
    o.help =
        "the photo's scale: fit (the smallest that fills the window) or a percentage such as "
        "50 or 250";
    o.changesConversion = true;
    o.apply = ApplyScale;
  }
  {
    ConversionOption& o = rows.emplace_back();
    o.name = "crop";
    o.value = "X,Y";
    o.defaultValue = Joined({settings.crop.left, settings.crop.top});
    o.help =
        "top-left corner of the 192 x 200 window in the scaled photo; the window must lie "
        "inside it";
    o.changesConversion = true;
    o.apply = ApplyCrop;
  }
  {
    ConversionOption& o = rows.emplace_back();
    o.name = "offsets";
    o.value = "R,G,B";
    o.min = -MaxChannelOffset;
    o.max = MaxChannelOffset;
    const Adjustment& a = settings.adjustment;
    o.defaultValue = Joined({a.red, a.green, a.blue});
    o.help = "red, green and blue offsets, each {range}";
    o.changesConversion = true;
    o.apply = ApplyOffsets;
  }
  {
    ConversionOption& o = rows.emplace_back();
    o.name = "colours";
    o.alias = "colors";
    o.value = "BG,B1,S1,B2,S2";
    o.min = 0;
    o.max = static_cast<int>(C64Palette.size()) - 1;
    std::vector<int> roles;
    for (int role = 0; role < RoleCount; ++role) roles.push_back(settings.roles[role]);
    o.defaultValue = Joined(roles);
    o.help =
        "background, bitmap 1, sprite 1, bitmap 2 and sprite 2 colours, each {range} or a "
        "name";
    o.changesConversion = true;
    o.apply = ApplyColours;
  }
  {
    ConversionOption& o = rows.emplace_back();
    o.name = "auto-colours";
    o.alias = "auto-colors";
    o.choices = ChoicesOf(ColourGoalNames, ColourGoalCaptions);
    o.implied = ColourGoalNames[static_cast<std::size_t>(ColourGoal::Faithful)];
    o.help =
        "choose the five colours by themselves and print them (numbers, then names): faithful "
        "(the goal when none is given) looks closest to the photo, balanced and calm give up "
        "a little of that for less interlace flicker";
    o.excludes = "colours";
    o.changesConversion = true;
    o.apply = ApplyAutoColours;
  }
  {
    ConversionOption& o = rows.emplace_back();
    o.name = "per-cell";
    o.choices = ChoicesOf(ColourGoalNames, ColourGoalCaptions);
    o.implied = ColourGoalNames[static_cast<std::size_t>(ColourGoal::Faithful)];
    o.help =
        "give every 8 x 8 cell its own background and bitmap colour in each frame, chosen for "
        "the goal (faithful when none is given), and print the two sprite colours found; the "
        "search starts from the colours given with --colours or found by --auto-colours, else "
        "from those Auto Colors finds for the goal";
    o.changesConversion = true;
    o.apply = ApplyPerCell;
  }
  {
    ConversionOption& o = rows.emplace_back();
    o.name = "palette";
    o.value = "NAME";
    o.choices = PaletteChoices();
    o.defaultValue = PaletteOf(settings.model.palette).name;
    std::vector<std::string_view> names;
    for (const OptionChoice& choice : o.choices) names.push_back(choice.name);
    o.help = "the C64's sixteen colours the conversion, Auto Colors and the preview are made in: " +
             ChoiceList(names) +
             ", named as VICE's palette files (pepto is its pepto-pal.vpl), so that an emulator "
             "set to the same shows what the preview shows; the C64 files hold colour numbers";
    o.apply = ApplyPalette;
  }
  {
    ConversionOption& o = rows.emplace_back();
    o.name = "mix";
    o.choices = ChoicesOf(MixRuleNames, MixRuleCaptions);
    o.defaultValue = MixRuleNames[static_cast<std::size_t>(settings.model.mix)];
    o.help =
        "how the two frames' colours of a pixel mix: average, the mean of their bytes; light, "
        "as a screen alternating them shows them, the mean of their light (black and white "
        "look 188, not 127)";
    o.apply = ApplyMix;
  }
  {
    ConversionOption& o = rows.emplace_back();
    o.name = "dither";
    o.choices = ChoicesOf(DitheringNames, DitheringCaptions);
    o.defaultValue = DitheringNames[static_cast<std::size_t>(settings.adjustment.dithering)];
    o.help =
        "none: nearest colour only; fs: Floyd-Steinberg; low-flicker: nearest colour to the "
        "eye, calm where it costs little";
    o.changesConversion = true;
    o.apply = ApplyDither;
  }
  {
    ConversionOption& o = rows.emplace_back();
    o.name = "no-dither";
    o.help = "the same as --dither none";
    o.changesConversion = true;
    o.apply = ApplyNoDither;
  }
  return rows;
}

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

std::string ConversionOption::Shape() const {
  if (choices.empty() || !value.empty()) return value;
  std::string shape;
  for (const OptionChoice& choice : choices) {
    shape += (shape.empty() ? "" : "|") + std::string(choice.name);
  }
  return shape;
}

std::string ConversionOption::HelpText() const {
  std::string text = help;
  if (const std::size_t at = text.find("{range}"); at != std::string::npos) {
    text.replace(at, 7, std::to_string(min) + ".." + std::to_string(max));
  }
  if (!defaultValue.empty()) text += " (default " + defaultValue + defaultNote + ")";
  return text;
}

std::span<const ConversionOption> ConversionOptions() {
  static const std::vector<ConversionOption> rows = Table();
  return rows;
}

const ConversionOption* FindOption(std::string_view name) {
  for (const ConversionOption& option : ConversionOptions()) {
    if (name == option.name || (!option.alias.empty() && name == option.alias)) return &option;
  }
  return nullptr;
}

std::string Spelled(std::string_view name, OptionSpelling spelling) {
  if (spelling == OptionSpelling::CommandLine) return "--" + std::string(name);
  std::string key;
  bool capital = false;
  for (const char c : name) {
    if (c == '-') {
      capital = true;
    } else {
      key += capital ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
      capital = false;
    }
  }
  return key;
}

void ApplyOption(const ConversionOption& option, const std::string& spelled,
                 const std::string& value, OptionValues& values) {
  int choice = -1;
  if (!option.choices.empty()) {
    std::vector<std::string_view> names;
    for (const OptionChoice& c : option.choices) names.push_back(c.name);
    const auto found = std::find(names.begin(), names.end(), value);
    if (found == names.end()) {
      throw VantrelError(Message::kNotAChoice, spelled, ChoiceList(names), value);
    }
    choice = static_cast<int>(found - names.begin());
  }
  // The effect works on a copy, so a refusal half-way leaves nothing changed.
  OptionValues changed = values;
  option.apply(changed, {option, spelled, value, choice});
  changed.given.push_back(option.name);
  values = std::move(changed);
}

bool OptionValues::Given(std::string_view name) const {
  return std::find(given.begin(), given.end(), name) != given.end();
}

void CheckOptionsTogether(const OptionValues& values, OptionSpelling spelling) {
  for (const ConversionOption& option : ConversionOptions()) {
    if (!option.excludes.empty() && values.Given(option.name) && values.Given(option.excludes)) {
      throw VantrelError(Message::kOptionsExclude, Spelled(option.excludes, spelling),
                         Spelled(option.name, spelling));
    }
  }
}

std::string ChoiceList(std::span<const std::string_view> names) {
  std::string list;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) list += i + 1 == names.size() ? " or " : ", ";
    list += names[i];
  }
  return list;
}

int ParseColour(std::string_view text) {
  if (const std::optional<int> number = WholeNumber(text)) {
    return *number >= 0 && *number < static_cast<int>(C64Palette.size()) ? *number : -1;
  }
  const std::string key = ColourKey(text);
  if (key.empty()) return -1;
  for (std::size_t index = 0; index < C64ColourNames.size(); ++index) {
    if (key == ColourKey(C64ColourNames[index])) return static_cast<int>(index);
  }
  return -1;
}

}  // namespace vantrel
