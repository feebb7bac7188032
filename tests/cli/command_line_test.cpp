// Reading the command line: every option form, the kind of each output, and the reason
// given for each kind of bad usage.
#include "cli/command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "colour/palette.h"

namespace vantrel::cli {
namespace {

using Args = std::vector<std::string>;
using Kinds = std::vector<OutputKind>;

constexpr OutputKind Exe = OutputKind::Executable;
constexpr OutputKind Data = OutputKind::Data;
constexpr OutputKind Png = OutputKind::Png;
constexpr OutputKind D64 = OutputKind::DiskImage;

ConvertRequest Accepted(const Args& args) {
  const ParsedCommandLine parsed = ParseCommandLine(args);
  if (const auto* error = std::get_if<UsageError>(&parsed)) {
    ADD_FAILURE() << "refused: " << error->reason;
    return {};
  }
  if (!std::holds_alternative<ConvertRequest>(parsed)) {
    ADD_FAILURE() << "not a conversion";
    return {};
  }
  return std::get<ConvertRequest>(parsed);
}

std::string Refusal(const Args& args) {
  const ParsedCommandLine parsed = ParseCommandLine(args);
  if (const auto* error = std::get_if<UsageError>(&parsed)) return error->reason;
  return "(accepted)";
}

Kinds KindsOf(const ConvertRequest& request) {
  Kinds kinds;
  for (const OutputFile& output : request.outputs) kinds.push_back(output.kind);
  return kinds;
}

TEST(CommandLine, OutputKindsFollowTheExtensionUnlessFormatOverridesOne) {
  struct Case {
    Args args;
    Kinds kinds;
  };
  const Case cases[] = {
      {{"in.jpg", "-o", "a.prg"}, {Exe}},
      {{"-o", "A.PRG", "in.jpg"}, {Exe}},
      {{"in.jpg", "-o", "a.png", "-o", "a.PNG", "-o", "a.bin", "-o", "a", "-o", "prg"},
       {Png, Png, Data, Data, Data}},
      {{"in.jpg", "-o", "a.prg.bak", "-o", "dir.png/x"}, {Data, Data}},
      // --format applies to the next -o only.
      {{"in.jpg", "--format", "data", "-o", "x.prg", "-o", "y.prg"}, {Data, Exe}},
      {{"in.jpg", "-o", "x.png", "--format=exe", "-o", "y.png"}, {Png, Exe}},
      {{"--format", "png", "-o", "x.bin", "--format", "data", "-o", "y.png", "in.jpg"},
       {Png, Data}},
      {{"in.jpg", "-o", "disk.d64", "-o", "DISK.D64", "--format", "d64", "-o", "x.prg"},
       {D64, D64, D64}},
  };
  for (const Case& c : cases) {
    const ConvertRequest request = Accepted(c.args);
    EXPECT_EQ(KindsOf(request), c.kinds) << ::testing::PrintToString(c.args);
    EXPECT_EQ(request.input, "in.jpg");
  }
  const ConvertRequest three = Accepted({"in.jpg", "-o", "a.prg", "-o", "b.bin", "-o", "c.png"});
  ASSERT_EQ(three.outputs.size(), 3u);
  EXPECT_EQ(three.outputs[0].name, "a.prg");
  EXPECT_EQ(three.outputs[1].name, "b.bin");
  EXPECT_EQ(three.outputs[2].name, "c.png");
}

TEST(CommandLine, SettingsDefaultToTheWindowsAndTakeEveryOptionForm) {
  const ConversionSettings defaults = Accepted({"in.jpg", "-o", "x"}).settings;
  EXPECT_EQ(defaults.crop.left, 0);
  EXPECT_EQ(defaults.crop.top, 0);
  EXPECT_EQ(defaults.adjustment.red, 0);
  EXPECT_EQ(defaults.adjustment.green, 0);
  EXPECT_EQ(defaults.adjustment.blue, 0);
  EXPECT_EQ(defaults.roles, (ColourRoleSet{0, 2, 3, 7, 10}));
  EXPECT_EQ(defaults.adjustment.dithering, vantrel::Dithering::FloydSteinberg);

  const ConversionSettings spaced =
      Accepted({"in.jpg", "--crop", "320,312", "--offsets", "-255,0,+255", "--colours",
                "black,LIGHT-RED,15,dark-grey,1", "--no-dither", "-o", "x"})
          .settings;
  EXPECT_EQ(spaced.crop.left, 320);
  EXPECT_EQ(spaced.crop.top, 312);
  EXPECT_EQ(spaced.adjustment.red, -255);
  EXPECT_EQ(spaced.adjustment.green, 0);
  EXPECT_EQ(spaced.adjustment.blue, 255);
  EXPECT_EQ(spaced.roles, (ColourRoleSet{0, 10, 15, 11, 1}));
  EXPECT_EQ(spaced.adjustment.dithering, vantrel::Dithering::None);

  const ConversionSettings joined =
      Accepted({"--crop=5,7", "--offsets=1,-2,3", "--colours=6,white,purple,14,orange", "in.jpg",
                "-o", "x", "--crop", "9,11"})
          .settings;
  EXPECT_EQ(joined.crop.left, 9) << "the last --crop counts";
  EXPECT_EQ(joined.crop.top, 11);
  EXPECT_EQ(joined.adjustment.red, 1);
  EXPECT_EQ(joined.adjustment.green, -2);
  EXPECT_EQ(joined.adjustment.blue, 3);
  EXPECT_EQ(joined.roles, (ColourRoleSet{6, 1, 4, 14, 8}));
  EXPECT_EQ(joined.adjustment.dithering, vantrel::Dithering::FloydSteinberg);

  // --machine by name; PAL unless given.
  EXPECT_EQ(Accepted({"in.jpg", "-o", "x"}).machine, vantrel::Machine::Pal);
  for (const vantrel::Machine machine : vantrel::AllMachines) {
    const std::string name(vantrel::MachineName(machine));
    EXPECT_EQ(Accepted({"in.jpg", "--machine", name, "-o", "x"}).machine, machine) << name;
    EXPECT_EQ(Accepted({"in.jpg", "--machine=" + name, "-o", "x"}).machine, machine) << name;
  }

  // --dither by name, in either form; the last one given counts, --no-dither among them.
  const struct {
    Args args;
    vantrel::Dithering dithering;
  } ditherings[] = {
      {{"--dither", "none"}, vantrel::Dithering::None},
      {{"--dither=fs"}, vantrel::Dithering::FloydSteinberg},
      {{"--dither", "low-flicker"}, vantrel::Dithering::LowFlicker},
      {{"--dither=low-flicker", "--no-dither"}, vantrel::Dithering::None},
      {{"--no-dither", "--dither", "fs"}, vantrel::Dithering::FloydSteinberg},
  };
  for (const auto& d : ditherings) {
    Args args = {"in.jpg", "-o", "x"};
    args.insert(args.end(), d.args.begin(), d.args.end());
    EXPECT_EQ(Accepted(args).settings.adjustment.dithering, d.dithering)
        << ::testing::PrintToString(d.args);
  }

  // After "--" a name that starts with a dash is the input.
  EXPECT_EQ(Accepted({"-o", "x.prg", "--", "-photo.jpg"}).input, "-photo.jpg");
  EXPECT_EQ(Accepted({"-o", "x.prg", "-"}).input, "-");
}

TEST(CommandLine, BadUsageGivesItsReason) {
  struct Case {
    Args args;
    std::string reason;
  };
  const Case cases[] = {
      {{"in.jpg", "-o", "x", "--bogus"}, "unknown option '--bogus'"},
      {{"in.jpg", "-o", "x", "-x"}, "unknown option '-x'"},
      {{"in.jpg", "-o", "x", "--colors=0,1,2,3,4"}, "unknown option '--colors=0,1,2,3,4'"},
      {{"in.jpg", "-o", "x", "--no-dither=1"}, "option '--no-dither' takes no value"},
      {{"in.jpg", "-o", "x", "--dither", "FS"},
       "--dither must be none, fs or low-flicker, not 'FS'"},
      {{"in.jpg", "-o", "x", "--dither"}, "option '--dither' needs a value"},
      {{"in.jpg"}, "no output file (-o)"},
      {{"-o", "x.prg"}, "no input file"},
      {{"a.jpg", "b.jpg", "-o", "x"}, "one input file only, not 'a.jpg' and 'b.jpg'"},
      {{"in.jpg", "-o"}, "option '-o' needs a value"},
      {{"in.jpg", "-o", "x", "--crop"}, "option '--crop' needs a value"},
      {{"in.jpg", "-o", "x", "--crop", "1"}, "--crop needs X,Y (two whole numbers), not '1'"},
      {{"in.jpg", "-o", "x", "--crop", "1,2,3"},
       "--crop needs X,Y (two whole numbers), not '1,2,3'"},
      {{"in.jpg", "-o", "x", "--crop", "1, 2"}, "--crop needs X,Y (two whole numbers), not '1, 2'"},
      {{"in.jpg", "-o", "x", "--crop", "1.5,2"},
       "--crop needs X,Y (two whole numbers), not '1.5,2'"},
      {{"in.jpg", "-o", "x", "--crop", "-1,0"},
       "--crop -1,0 lies outside the picture (X and Y start at 0)"},
      {{"in.jpg", "-o", "x", "--crop", "0,-200"},
       "--crop 0,-200 lies outside the picture (X and Y start at 0)"},
      {{"in.jpg", "-o", "x", "--offsets", "256,0,0"},
       "--offsets 256,0,0: 256 is out of range -255..255"},
      {{"in.jpg", "-o", "x", "--offsets", "0,0,-256"},
       "--offsets 0,0,-256: -256 is out of range -255..255"},
      {{"in.jpg", "-o", "x", "--offsets", "0,99999999999,0"},
       "--offsets needs R,G,B (three whole numbers), not '0,99999999999,0'"},
      {{"in.jpg", "-o", "x", "--offsets", "1,2"},
       "--offsets needs R,G,B (three whole numbers), not '1,2'"},
      {{"in.jpg", "-o", "x", "--offsets", "a,0,0"},
       "--offsets needs R,G,B (three whole numbers), not 'a,0,0'"},
      {{"in.jpg", "-o", "x", "--colours", "0,1,2,3,pink"},
       "--colours: unknown colour 'pink' (0..15 or a name such as light-red)"},
      {{"in.jpg", "-o", "x", "--colours", "0,16,2,3,4"},
       "--colours: unknown colour '16' (0..15 or a name such as light-red)"},
      {{"in.jpg", "-o", "x", "--colours", "0,1,,3,4"},
       "--colours: unknown colour '' (0..15 or a name such as light-red)"},
      {{"in.jpg", "-o", "x", "--colours", "0,1,2,3"},
       "--colours needs five colours BG,B1,S1,B2,S2, not '0,1,2,3'"},
      {{"in.jpg", "-o", "x", "--format", "gif"},
       "--format must be exe, data, png, d64 or project, not 'gif'"},
      {{"in.jpg", "-o", "x", "--format", "PRG"},
       "--format must be exe, data, png, d64 or project, not 'PRG'"},
      {{"in.jpg", "-o", "x", "--machine", "c64"},
       "--machine must be pal, ntsc, ntsc-old, drean or any, not 'c64'"},
      {{"in.jpg", "-o", "x", "--machine", "NTSC"},
       "--machine must be pal, ntsc, ntsc-old, drean or any, not 'NTSC'"},
      {{"in.jpg", "-o", "x", "--format", "png"},
       "--format is not followed by the -o it applies to"},
      {{"in.jpg", "-o", "-"}, "-o - (standard output) needs --format before it"},
      {{"in.jpg", "--format", "exe", "-o", "x", "-o", "-"},
       "-o - (standard output) needs --format before it"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Refusal(c.args), c.reason) << ::testing::PrintToString(c.args);
  }
}

TEST(CommandLine, ColoursByNumberOrPaletteName) {
  for (int index = 0; index < 16; ++index) {
    const std::string name(C64ColourNames[index]);
    EXPECT_EQ(ParseColour(name), index) << name;
    EXPECT_EQ(ParseColour(std::to_string(index)), index);
  }
  EXPECT_EQ(ParseColour("Light-Grey"), 15);
  EXPECT_EQ(ParseColour("+7"), 7);
  // Spellings people type: no hyphen, and gray for grey.
  const std::pair<const char*, int> spellings[] = {
      {"lightred", 10}, {"LightRed", 10},  {"gray", 12},        {"dark-gray", 11},
      {"darkgrey", 11}, {"LIGHTGRAY", 15}, {"light-green", 13}, {"lightblue", 14}};
  for (const auto& [text, index] : spellings) EXPECT_EQ(ParseColour(text), index) << text;
  for (const char* bad :
       {"16", "-1", "", "-", "red ", " red", "light red", "0x3", "3a", "grayish", "lightgrayx"}) {
    EXPECT_EQ(ParseColour(bad), -1) << "'" << bad << "'";
  }
}

TEST(CommandLine, HelpAndVersionWinOverEverythingAfterThem) {
  EXPECT_EQ(std::get<InfoRequest>(ParseCommandLine({"-h"})), InfoRequest::Help);
  EXPECT_EQ(std::get<InfoRequest>(ParseCommandLine({"in.jpg", "--help", "--bogus"})),
            InfoRequest::Help);
  EXPECT_EQ(std::get<InfoRequest>(ParseCommandLine({"--version"})), InfoRequest::Version);
}

// Whether `option` stands in `text` as a word of its own (after a blank, before a blank
// or a comma), so "-h" is not found inside "--help".
bool MentionsOption(const std::string& text, const std::string& option) {
  for (std::size_t at = text.find(" " + option); at != std::string::npos;
       at = text.find(" " + option, at + 1)) {
    const std::size_t end = at + 1 + option.size();
    if (end < text.size() && (text[end] == ' ' || text[end] == ',' || text[end] == '[')) {
      return true;
    }
  }
  return false;
}

// Every option the program accepts is explained in the help text.
TEST(CommandLine, HelpListsEveryOption) {
  const std::string help = HelpText();
  const Args options = {"-o",        "--format",    "--crop",   "--offsets",
                        "--colours", "--no-dither", "--dither", "--auto-colours",
                        "--machine", "-h",          "--help",   "--version"};
  for (const std::string& option : options) {
    EXPECT_NE(Refusal({option}).rfind("unknown option", 0), 0u) << option << " is not accepted";
    EXPECT_TRUE(MentionsOption(help, option)) << option;
  }
  EXPECT_THAT(help, ::testing::HasSubstr("exe|data|png|d64"));
  EXPECT_THAT(help, ::testing::HasSubstr("  --machine pal|ntsc|ntsc-old|drean|any\n"));
  EXPECT_THAT(help, ::testing::HasSubstr("  --dither none|fs|low-flicker\n"));
  EXPECT_THAT(help, ::testing::HasSubstr("BG,B1,S1,B2,S2"));
  for (const std::string_view name : C64ColourNames) {
    EXPECT_THAT(help, ::testing::HasSubstr(" " + std::string(name))) << name;
  }
}

}  // namespace
}  // namespace vantrel::cli
