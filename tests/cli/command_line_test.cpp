// Reading the command line: every option form, the kind and name of each output, and the
// help listing every option of the table. (Bad usage is one table with the program's, in
// program_test.cpp.)
#include "cli/command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "colour/palette.h"
#include "colour/palettes.h"

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
  if (request.jobs.size() != 1) return kinds;
  for (const OutputFile& output : request.jobs[0].outputs) kinds.push_back(output.kind);
  return kinds;
}

std::string InputOf(const ConvertRequest& request) {
  return request.jobs.size() == 1 ? request.jobs[0].input : "(not one input)";
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
      // The extension of the name's last part, from its last dot.
      {{"in.jpg", "-o", ".prg", "-o", "x.jpg.png", "-o", "jpg", "-o", "a.jpg/b"},
       {Exe, Png, Data, Data}},
  };
  for (const Case& c : cases) {
    const ConvertRequest request = Accepted(c.args);
    EXPECT_EQ(KindsOf(request), c.kinds) << ::testing::PrintToString(c.args);
    EXPECT_EQ(InputOf(request), "in.jpg");
  }
  const ConvertRequest three = Accepted({"in.jpg", "-o", "a.prg", "-o", "b.bin", "-o", "c.png"});
  ASSERT_EQ(three.jobs.size(), 1u);
  ASSERT_EQ(three.jobs[0].outputs.size(), 3u);
  EXPECT_EQ(three.jobs[0].outputs[0].name, "a.prg");
  EXPECT_EQ(three.jobs[0].outputs[1].name, "b.bin");
  EXPECT_EQ(three.jobs[0].outputs[2].name, "c.png");
}

// --output-dir: each picture's files in the folder, named after it (without its last
// extension), one per kind in the order given, a kind given twice once, a project among them.
TEST(CommandLine, OutputFolderNamesEachPicturesFilesAfterIt) {
  const ConvertRequest request = Accepted(
      {"--format", "exe", "a.jpg", "photos/b.PNG", "--output-dir", "out", "--format", "data",
       "--format=exe", "--format", "project", "--format", "png", "--", "-c.jpg.jpg"});
  using Files = std::vector<std::pair<std::string, OutputKind>>;
  const auto filesOf = [](const std::string& base) {
    return Files{{"out/" + base + ".prg", Exe},
                 {"out/" + base + ".bin", Data},
                 {"out/" + base + ".vantrel", Data},
                 {"out/" + base + ".png", Png}};
  };
  const std::pair<std::string, Files> expected[] = {
      {"a.jpg", filesOf("a")}, {"photos/b.PNG", filesOf("b")}, {"-c.jpg.jpg", filesOf("-c.jpg")}};
  ASSERT_EQ(request.jobs.size(), std::size(expected));
  for (std::size_t j = 0; j < request.jobs.size(); ++j) {
    const Job& job = request.jobs[j];
    EXPECT_EQ(job.input, expected[j].first);
    Files files;
    for (const OutputFile& output : job.outputs) {
      files.emplace_back(output.name, output.kind);
      EXPECT_EQ(output.project, output.name.ends_with(".vantrel")) << output.name;
      EXPECT_FALSE(output.named);
    }
    EXPECT_EQ(files, expected[j].second);
  }
}

TEST(CommandLine, SettingsDefaultToTheWindowsAndTakeEveryOptionForm) {
  const ConversionSettings defaults = Accepted({"in.jpg", "-o", "x"}).options.settings;
  EXPECT_EQ(defaults.crop.left, 0);
  EXPECT_EQ(defaults.crop.top, 0);
  EXPECT_EQ(defaults.adjustment.red, 0);
  EXPECT_EQ(defaults.adjustment.green, 0);
  EXPECT_EQ(defaults.adjustment.blue, 0);
  EXPECT_EQ(defaults.roles, (ColourRoleSet{0, 2, 3, 7, 10}));
  EXPECT_EQ(defaults.adjustment.dithering, vantrel::Dithering::FloydSteinberg);
  EXPECT_EQ(defaults.model, vantrel::DefaultColourModel);

  const ConversionSettings spaced =
      Accepted({"in.jpg", "--crop", "320,312", "--offsets", "-255,0,+255", "--colours",
                "black,LIGHT-RED,15,dark-grey,1", "--no-dither", "-o", "x"})
          .options.settings;
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
          .options.settings;
  EXPECT_EQ(joined.crop.left, 9) << "the last --crop counts";
  EXPECT_EQ(joined.crop.top, 11);
  EXPECT_EQ(joined.adjustment.red, 1);
  EXPECT_EQ(joined.adjustment.green, -2);
  EXPECT_EQ(joined.adjustment.blue, 3);
  EXPECT_EQ(joined.roles, (ColourRoleSet{6, 1, 4, 14, 8}));
  EXPECT_EQ(joined.adjustment.dithering, vantrel::Dithering::FloydSteinberg);
  // The American spellings are the same options.
  EXPECT_EQ(Accepted({"in.jpg", "--colors", "1,2,3,4,5", "-o", "x"}).options.settings.roles,
            (ColourRoleSet{1, 2, 3, 4, 5}));
  EXPECT_EQ(Accepted({"in.jpg", "--auto-colors=calm", "-o", "x"}).options.settings.autoColours,
            vantrel::ColourGoal::Calm);

  // --machine by name; PAL unless given.
  EXPECT_EQ(Accepted({"in.jpg", "-o", "x"}).options.machine, vantrel::Machine::Pal);
  for (const vantrel::Machine machine : vantrel::AllMachines) {
    const std::string name(vantrel::MachineName(machine));
    EXPECT_EQ(Accepted({"in.jpg", "--machine", name, "-o", "x"}).options.machine, machine) << name;
    EXPECT_EQ(Accepted({"in.jpg", "--machine=" + name, "-o", "x"}).options.machine, machine)
        << name;
  }

  // Every palette by its name, and the mix; the program's own colours mixed as bytes unless given.
  for (const vantrel::PaletteData& palette : vantrel::AllPalettes()) {
    const std::string name(palette.name);
    const vantrel::ColourModel model =
        Accepted({"in.jpg", "--palette", name, "--mix=light", "-o", "x"}).options.settings.model;
    EXPECT_EQ(vantrel::PaletteOf(model.palette).name, palette.name);
    EXPECT_EQ(model.mix, vantrel::MixRule::Light) << name;
  }
  EXPECT_EQ(Accepted({"in.jpg", "--mix", "light", "--mix", "average", "-o", "x"})
                .options.settings.model.mix,
            vantrel::MixRule::Average);

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
    EXPECT_EQ(Accepted(args).options.settings.adjustment.dithering, d.dithering)
        << ::testing::PrintToString(d.args);
  }

  // After "--" a name that starts with a dash is the input.
  EXPECT_EQ(InputOf(Accepted({"-o", "x.prg", "--", "-photo.jpg"})), "-photo.jpg");
  EXPECT_EQ(InputOf(Accepted({"-o", "x.prg", "-"})), "-");
}

TEST(CommandLine, ColoursByNumberOrPaletteName) {
  for (int index = 0; index < 16; ++index) {
    const std::string name(C64ColourNames[index]);
    EXPECT_EQ(vantrel::ParseColour(name), index) << name;
    EXPECT_EQ(vantrel::ParseColour(std::to_string(index)), index);
  }
  EXPECT_EQ(vantrel::ParseColour("Light-Grey"), 15);
  EXPECT_EQ(vantrel::ParseColour("+7"), 7);
  // Spellings people type: no hyphen, and gray for grey.
  const std::pair<const char*, int> spellings[] = {
      {"lightred", 10}, {"LightRed", 10},  {"gray", 12},        {"dark-gray", 11},
      {"darkgrey", 11}, {"LIGHTGRAY", 15}, {"light-green", 13}, {"lightblue", 14}};
  for (const auto& [text, index] : spellings) EXPECT_EQ(vantrel::ParseColour(text), index) << text;
  for (const char* bad :
       {"16", "-1", "", "-", "red ", " red", "light red", "0x3", "3a", "grayish", "lightgrayx"}) {
    EXPECT_EQ(vantrel::ParseColour(bad), -1) << "'" << bad << "'";
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

// Every option of the table, by each of its names, is accepted and explained in the help;
// and so are the command line's own.
TEST(CommandLine, HelpListsEveryOption) {
  const std::string help = HelpText();
  Args options = {"-o", "--format", "--output-dir", "-h", "--help", "--version"};
  for (const vantrel::ConversionOption& option : vantrel::ConversionOptions()) {
    options.push_back("--" + option.name);
    if (!option.alias.empty()) options.push_back("--" + option.alias);
    EXPECT_THAT(help, ::testing::HasSubstr(option.Shape())) << option.name;
  }
  for (const std::string& option : options) {
    EXPECT_NE(Refusal({option}).rfind("unknown option", 0), 0u) << option << " is not accepted";
    EXPECT_TRUE(MentionsOption(help, option)) << option;
  }
  EXPECT_THAT(help, ::testing::HasSubstr("  --format exe|data|png|d64|asm|project\n"));
  EXPECT_THAT(help, ::testing::HasSubstr("  --machine pal|ntsc|ntsc-old|drean|any\n"));
  EXPECT_THAT(help, ::testing::HasSubstr("  --dither none|fs|low-flicker\n"));
  EXPECT_THAT(help, ::testing::HasSubstr("  --colours, --colors BG,B1,S1,B2,S2\n"));
  EXPECT_THAT(help, ::testing::HasSubstr("offsets, each -255..255"));
  EXPECT_THAT(help, ::testing::HasSubstr("each 0..15 or a name (default 0,2,3,7,10)"));
  for (const std::string_view name : C64ColourNames) {
    EXPECT_THAT(help, ::testing::HasSubstr(" " + std::string(name))) << name;
  }
  EXPECT_THAT(help, ::testing::HasSubstr("  --palette NAME "));
  for (const vantrel::PaletteData& palette : vantrel::AllPalettes()) {
    EXPECT_THAT(help, ::testing::HasSubstr(std::string(palette.name))) << palette.name;
  }
}

}  // namespace
}  // namespace vantrel::cli
