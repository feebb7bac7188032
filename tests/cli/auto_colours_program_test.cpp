// vantrel-convert --auto-colours: the printed roles, and a run that gives them back with
// --colours writes the same files.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <variant>

#include "cli/command_line.h"
#include "cli/run.h"
#include "colour/palette.h"
#include "run_program.h"
#include "session/session.h"

namespace {

using clitest::ReadWhole;
using clitest::ScratchFolder;
using Args = std::vector<std::string>;

const std::string Sample = VANTREL_TEST_DATA "/astronaut.jpg";

// Numbers and names of the printed line "0,8,1,15,6 black,orange,white,light-grey,blue".
struct PrintedRoles {
  std::string numbers, names;
  vantrel::ColourRoleSet roles;
};

PrintedRoles ParsePrinted(const std::string& out) {
  static const std::regex line(R"(((\d+),(\d+),(\d+),(\d+),(\d+)) ([a-z-]+(,[a-z-]+){4})\n)");
  std::smatch match;
  PrintedRoles printed;
  if (!std::regex_match(out, match, line)) {
    ADD_FAILURE() << "printed: '" << out << "'";
    return printed;
  }
  printed.numbers = match[1];
  printed.names = match[7];
  std::istringstream names(printed.names);
  std::string name;
  for (int role = 0; role < vantrel::RoleCount; ++role) {
    printed.roles[role] = std::stoi(match[role + 2]);
    std::getline(names, name, ',');
    EXPECT_EQ(name, vantrel::C64ColourNames.at(printed.roles[role])) << role;
  }
  return printed;
}

TEST(AutoColoursProgram, PrintedRolesGiveTheSameFilesAsGivingThemWithColours) {
  struct Case {
    Args settings;
    bool dither;
    int left, top, red, green, blue;
  } cases[] = {
      {{}, true, 0, 0, 0, 0, 0},
      {{"--crop", "130,10", "--offsets", "20,0,-40", "--no-dither"}, false, 130, 10, 20, 0, -40},
  };
  for (const auto& c : cases) {
    ScratchFolder dir, streams;
    const auto run = [&](const Args& extra, const std::string& stem) {
      Args args = {Sample,
                   "-o",
                   dir.File(stem + ".prg"),
                   "-o",
                   dir.File(stem + ".png"),
                   "-o",
                   dir.File(stem + ".bin")};
      args.insert(args.end(), c.settings.begin(), c.settings.end());
      args.insert(args.end(), extra.begin(), extra.end());
      return clitest::RunProgram(VANTREL_CLI, args, streams.Path());
    };
    const auto chosen = run({"--auto-colours"}, "auto");
    ASSERT_EQ(chosen.status, 0) << chosen.err;
    EXPECT_EQ(chosen.err, "");
    const PrintedRoles printed = ParsePrinted(chosen.out);

    // The roles are the ones the library chooses for the same crop, offsets and dithering.
    vantrel::Session session;
    session.OpenFile(Sample);
    session.ReadSourceWindow(-c.left, -c.top);
    const vantrel::Dithering dithering = vantrel::DitheringOf(c.dither);
    session.Reconvert({c.red, c.green, c.blue, dithering});
    EXPECT_EQ(printed.roles, session.FindColourRoles(dithering, vantrel::ColourGoal::Faithful));
    EXPECT_NE(printed.roles, vantrel::DefaultColourRoles);

    for (const std::string& given : {printed.numbers, printed.names}) {
      const auto again = run({"--colours", given}, "given");
      ASSERT_EQ(again.status, 0) << again.err;
      EXPECT_EQ(again.out, "");
      for (const char* extension : {".prg", ".png", ".bin"}) {
        EXPECT_EQ(ReadWhole(dir.File(std::string("auto") + extension)),
                  ReadWhole(dir.File(std::string("given") + extension)))
            << given << extension;
      }
    }
    // And the defaults would have written something else.
    run({}, "default");
    EXPECT_NE(ReadWhole(dir.File("auto.bin")), ReadWhole(dir.File("default.bin")));
  }
}

// --per-cell prints the sprite colours the search found, writes every cell's own colours into
// the screens, starts from the colours given with --colours, and its project makes the same
// files again.
TEST(AutoColoursProgram, PerCellPrintsItsSpriteColoursAndItsProjectMakesTheSameFiles) {
  const struct {
    Args extra;
    vantrel::ColourGoal goal;
    std::optional<vantrel::ColourRoleSet> start;
  } cases[] = {
      {{"--per-cell"}, vantrel::ColourGoal::Faithful, std::nullopt},
      {{"--per-cell=calm", "--colours", "6,14,3,1,9"},
       vantrel::ColourGoal::Calm,
       vantrel::ColourRoleSet{6, 14, 3, 1, 9}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.extra[0]);
    ScratchFolder dir, streams;
    Args args = {Sample,
                 "--crop",
                 "130,10",
                 "-o",
                 dir.File("cell.prg"),
                 "-o",
                 dir.File("cell.bin"),
                 "-o",
                 dir.File("cell.vantrel")};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const auto made = clitest::RunProgram(VANTREL_CLI, args, streams.Path());
    ASSERT_EQ(made.status, 0) << made.err;

    vantrel::Session session;
    session.OpenFile(Sample);
    session.ReadSourceWindow(-130, -10);
    session.Reconvert({0, 0, 0, vantrel::Dithering::FloydSteinberg});
    if (c.start) session.SetColourRoles(*c.start);
    const auto choice =
        session.FindCellColours(vantrel::Dithering::FloydSteinberg, c.goal, c.start);
    ASSERT_TRUE(choice);
    const auto sprite = [](int index) { return std::string(vantrel::C64ColourNames.at(index)); };
    EXPECT_EQ(made.out, std::to_string(choice->roles.Sprite1Colour) + "," +
                            std::to_string(choice->roles.Sprite2Colour) + " " +
                            sprite(choice->roles.Sprite1Colour) + "," +
                            sprite(choice->roles.Sprite2Colour) + "\n");
    // Frame 1's screen holds more than one colour byte across the picture's cells.
    const std::string data = ReadWhole(dir.File("cell.bin"));
    std::set<char> bytes;
    for (int row = 0; row < 25; ++row) {
      for (int column = 8; column < 32; ++column) bytes.insert(data[row * 40 + column]);
    }
    EXPECT_GT(bytes.size(), 1u);

    const auto again = clitest::RunProgram(
        VANTREL_CLI,
        {dir.File("cell.vantrel"), "-o", dir.File("again.prg"), "-o", dir.File("again.bin")},
        streams.Path());
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(ReadWhole(dir.File("again.prg")), ReadWhole(dir.File("cell.prg")));
    EXPECT_EQ(ReadWhole(dir.File("again.bin")), data);
  }
}

// Its refusals (a goal that is none, beside --colours) are rows of the bad-usage table.
TEST(AutoColoursProgram, OptionIsAFlagWhoseGoalFollowsAnEqualsSign) {
  using vantrel::cli::ConvertRequest;
  using vantrel::cli::ParseCommandLine;
  EXPECT_FALSE(std::get<ConvertRequest>(ParseCommandLine({"in.jpg", "-o", "x"}))
                   .options.settings.autoColours);
  EXPECT_NE(
      vantrel::cli::HelpText().find("  --auto-colours, --auto-colors[=faithful|balanced|calm]\n"),
      std::string::npos);
  // Plain --auto-colours is faithful; the goal goes after an equals sign only.
  const struct {
    Args args;
    vantrel::ColourGoal goal;
  } goals[] = {{{"in.jpg", "--auto-colours", "-o", "x"}, vantrel::ColourGoal::Faithful},
               {{"in.jpg", "--auto-colours=faithful", "-o", "x"}, vantrel::ColourGoal::Faithful},
               {{"in.jpg", "--auto-colours=balanced", "-o", "x"}, vantrel::ColourGoal::Balanced},
               {{"--auto-colours=calm", "in.jpg", "-o", "x"}, vantrel::ColourGoal::Calm}};
  for (const auto& g : goals) {
    const auto parsed = ParseCommandLine(g.args);
    ASSERT_TRUE(std::holds_alternative<ConvertRequest>(parsed)) << g.args[1];
    EXPECT_EQ(std::get<ConvertRequest>(parsed).options.settings.autoColours, g.goal) << g.args[1];
  }
}

TEST(AutoColoursProgram, NothingIsPrintedWhenThePictureCannotBeRead) {
  ScratchFolder dir;
  std::ostringstream out, err;
  const int status = vantrel::cli::Run(
      {dir.File("missing.jpg"), "--auto-colours", "-o", dir.File("x.prg")}, out, err);
  EXPECT_EQ(status, vantrel::cli::ExitFailure);
  EXPECT_EQ(out.str(), "");
  EXPECT_NE(err.str(), "");
  EXPECT_TRUE(dir.Files().empty());
}

}  // namespace
