// vantrel-convert run as a script runs it: exit status, what it prints, and which files it
// leaves behind, for good runs, bad usage and failing files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <jerror.h>
#include <jpeglib.h>  // after cstdio
#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "colour/mix_colours.h"
#include "run_program.h"
#include "support/jpeg_writer.h"

namespace {

using clitest::ProgramResult;
using clitest::ReadWhole;
using clitest::ScratchFolder;
using Args = std::vector<std::string>;

const std::string Sample = VANTREL_TEST_DATA "/astronaut.jpg";  // 512 x 512
const std::string Hint = "Try 'vantrel-convert --help' for more information.\n";

class ProgramTest : public ::testing::Test {
 protected:
  ProgramResult Run(const Args& arguments) {
    return clitest::RunProgram(VANTREL_CLI, arguments, streams.Path());
  }
  std::string File(const std::string& name) const { return dir.File(name); }

  ScratchFolder dir;      // the files the program writes
  ScratchFolder streams;  // what it prints
};

struct PngPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
};

// Reads a PNG through libpng's own reader, as RGB bytes.
PngPicture ReadPng(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  PngPicture picture;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    ADD_FAILURE() << path << ": " << image.message;
    return picture;
  }
  image.format = PNG_FORMAT_RGB;
  picture.rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr)) {
    ADD_FAILURE() << path << ": " << image.message;
    return picture;
  }
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  return picture;
}

// The colours a preview may hold: the nine mix colours of the roles, as 0xRRGGBB.
std::set<std::uint32_t> MixColoursOf(const vantrel::ColourRoleSet& roles) {
  std::set<std::uint32_t> colours;
  for (const vantrel::TColor mix : vantrel::BuildMixTable(vantrel::RoleColours(roles))) {
    colours.insert(vantrel::ToPackedRGB(mix));
  }
  return colours;
}

void ExpectPreviewOfRoles(const std::string& path, const vantrel::ColourRoleSet& roles) {
  const PngPicture preview = ReadPng(path);
  ASSERT_EQ(preview.width, 192);
  ASSERT_EQ(preview.height, 200);
  const std::set<std::uint32_t> allowed = MixColoursOf(roles);
  std::set<std::uint32_t> seen;
  for (std::size_t i = 0; i < preview.rgb.size(); i += 3) {
    seen.insert(preview.rgb[i] << 16 | preview.rgb[i + 1] << 8 | preview.rgb[i + 2]);
  }
  EXPECT_TRUE(std::includes(allowed.begin(), allowed.end(), seen.begin(), seen.end()))
      << "the preview holds colours that are no mix colour of the roles";
  EXPECT_GE(seen.size(), 4u) << "a photo uses several mix colours";
}

TEST_F(ProgramTest, OneConversionWritesEveryRequestedFileSilently) {
  const ProgramResult result = Run(
      {Sample, "-o",      File("a.prg"), "-o",       File("a.bin"), "-o",          File("a.png"),
       "-o",   File("a"), "--format",    "exe",      "-o",          File("b.png"), "--format",
       "png",  "-o",      File("b.dat"), "--format", "data",        "-o",          File("b.prg")});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(dir.Files(),
            (std::vector<std::string>{"a", "a.bin", "a.png", "a.prg", "b.dat", "b.png", "b.prg"}))
      << "no temporary file is left behind";

  const std::string exe = ReadWhole(File("a.prg"));
  const std::string data = ReadWhole(File("a.bin"));
  ASSERT_EQ(exe.size(), 35840u);
  ASSERT_EQ(data.size(), 32768u);
  EXPECT_EQ(exe.substr(0, 2), std::string("\x00\x08", 2)) << "loads at $0800";
  EXPECT_EQ(ReadWhole(File("a")), data);
  EXPECT_EQ(ReadWhole(File("b.png")), exe);
  EXPECT_EQ(ReadWhole(File("b.prg")), data);
  EXPECT_EQ(ReadWhole(File("b.dat")), ReadWhole(File("a.png")));
  ExpectPreviewOfRoles(File("a.png"), {0, 2, 3, 7, 10});
}

// Each option reaches the conversion: changing it changes the files (the exact bytes are
// compared with the window's in the window tests).
TEST_F(ProgramTest, EveryOptionChangesTheResult) {
  ASSERT_EQ(Run({Sample, "-o", File("default.bin")}).status, 0);
  const std::string defaults = ReadWhole(File("default.bin"));
  const std::vector<Args> variants = {
      {"--crop", "1,0"},
      {"--crop", "0,1"},
      {"--crop", "320,312"},
      {"--offsets", "8,0,0"},
      {"--offsets", "0,-8,0"},
      {"--offsets", "0,0,255"},
      {"--colours", "0,2,3,7,9"},
      {"--colours", "blue,white,purple,light-blue,orange"},
      {"--no-dither"},
  };
  std::set<std::string> results = {defaults};
  for (const Args& variant : variants) {
    Args args = {Sample, "-o", File("variant.bin")};
    args.insert(args.end(), variant.begin(), variant.end());
    const ProgramResult result = Run(args);
    ASSERT_EQ(result.status, 0) << ::testing::PrintToString(variant) << result.err;
    results.insert(ReadWhole(File("variant.bin")));
  }
  EXPECT_EQ(results.size(), variants.size() + 1) << "some option made no difference";
  // The default colours spelled out by name give the default file again.
  ASSERT_EQ(
      Run({Sample, "-o", File("named.bin"), "--colours", "black,red,cyan,yellow,light-red"}).status,
      0);
  EXPECT_EQ(ReadWhole(File("named.bin")), defaults);

  ASSERT_EQ(
      Run({Sample, "--colours", "blue,white,purple,light-blue,orange", "-o", File("p.png")}).status,
      0);
  ExpectPreviewOfRoles(File("p.png"), {6, 1, 4, 14, 8});
}

TEST_F(ProgramTest, BadUsageSaysWhyAndWritesNothing) {
  struct Case {
    Args args;
    std::string reason;
  };
  const std::string out = File("out.prg");
  const Case cases[] = {
      {{Sample, "-o", out, "--bogus"}, "unknown option '--bogus'"},
      {{Sample}, "no output file (-o)"},
      {{"-o", out}, "no input file"},
      {{Sample, "-o", out, "--offsets", "0,300,0"},
       "--offsets 0,300,0: 300 is out of range -255..255"},
      {{Sample, "-o", out, "--colours", "0,2,3,7,pink"},
       "--colours: unknown colour 'pink' (0..15 or a name such as light-red)"},
      {{Sample, "-o", out, "--crop", "-1,0"},
       "--crop -1,0 lies outside the picture (X and Y start at 0)"},
      // Known only once the picture is decoded: 512 x 512 leaves X 0..320 and Y 0..312.
      {{Sample, "-o", out, "--crop", "321,0"},
       "--crop 321,0 puts the window outside the 512 x 512 picture at 100 % (X 0..320, Y "
       "0..312)"},
      {{Sample, "-o", out, "-o", File("out.png"), "--crop", "0,313"},
       "--crop 0,313 puts the window outside the 512 x 512 picture at 100 % (X 0..320, Y "
       "0..312)"},
      // The crop is in the scaled picture's pixels: 512 x 512 at 50 % is 256 x 256.
      {{Sample, "--scale", "50", "-o", out, "--crop", "65,0"},
       "--crop 65,0 puts the window outside the 256 x 256 picture at 50 % (X 0..64, Y 0..56)"},
      // Known once the picture is open: 512 x 512 can be shown at 40..100 %.
      {{Sample, "--scale", "39", "-o", out},
       "--scale 39 is outside 40..100 for the 512 x 512 picture " + Sample},
      {{Sample, "--scale=101", "-o", out},
       "--scale 101 is outside 40..100 for the 512 x 512 picture " + Sample},
      {{Sample, "--scale", "big", "-o", out},
       "--scale must be fit or a percentage 1..3200, not 'big'"},
  };
  for (const Case& c : cases) {
    const ProgramResult result = Run(c.args);
    EXPECT_EQ(result.status, 2) << c.reason;
    EXPECT_EQ(result.err, "vantrel-convert: " + c.reason + "\n" + Hint);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(dir.Files(), std::vector<std::string>()) << c.reason;
  }
}

TEST_F(ProgramTest, FileErrorsGiveTheMessageAndLoseNothing) {
  testsupport::WriteJpeg(File("tiny.jpg"), 5, 6);
  {
    std::FILE* text = std::fopen(File("text.jpg").c_str(), "w");
    std::fputs("not a picture\n", text);
    std::fclose(text);
    std::fclose(std::fopen(File("empty.jpg").c_str(), "w"));
    std::FILE* old = std::fopen(File("old.prg").c_str(), "w");
    std::fputs("keep me", old);
    std::fclose(old);
  }
  std::filesystem::create_directory(File("folder"));
  const std::vector<std::string> before = dir.Files();

  struct Case {
    Args args;
    std::string message;
  };
  const Case cases[] = {
      {{File("missing.jpg"), "-o", File("old.prg")}, "Cannot open file " + File("missing.jpg")},
      // Messages about the picture name it.
      {{File("text.jpg"), "-o", File("old.prg"), "-o", File("new.bin")},
       File("text.jpg") + ": JPEG error #" + std::to_string(JERR_NO_SOI)},
      {{File("empty.jpg"), "-o", File("old.prg")},
       File("empty.jpg") + ": JPEG error #" + std::to_string(JERR_INPUT_EMPTY)},
      {{File("tiny.jpg"), "-o", File("old.prg"), "-o", File("new.png")},
       File("tiny.jpg") + ": Picture too small (5 x 6 pixels)"},
      {{Sample, "-o", File("no/such/folder.prg")},
       "Cannot create file " + File("no/such/folder.prg") + ": No such file or directory"},
      {{Sample, "-o", File("folder")}, "Cannot create file " + File("folder") + ": Is a directory"},
  };
  for (const Case& c : cases) {
    const ProgramResult result = Run(c.args);
    EXPECT_EQ(result.status, 1) << c.message;
    EXPECT_EQ(result.err, "vantrel-convert: " + c.message + "\n");
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(dir.Files(), before) << c.message;
    EXPECT_EQ(ReadWhole(File("old.prg")), "keep me") << c.message;
  }
}

// An -o that names the input picture, by its own name or through a link, is bad usage and
// leaves the photo as it was; -o - writes the kind --format names to standard output.
TEST_F(ProgramTest, TheInputIsNeverAnOutputAndStandardOutputTakesAFile) {
  const std::string photo = File("cat.jpg");
  std::filesystem::copy_file(Sample, photo);
  std::filesystem::create_symlink(photo, File("soft.jpg"));
  std::filesystem::create_hard_link(photo, File("hard.jpg"));
  const std::string original = ReadWhole(photo);
  for (const std::string& output :
       {photo, File("soft.jpg"), File("hard.jpg"),
        File("../" + std::filesystem::path(dir.File("")).parent_path().filename().string() +
             "/cat.jpg")}) {
    const ProgramResult result = Run({photo, "-o", File("fine.prg"), "-o", output});
    EXPECT_EQ(result.status, 2) << output;
    EXPECT_EQ(result.err, "vantrel-convert: -o " + output + " would replace the input picture " +
                              photo + "\n" + Hint);
    EXPECT_EQ(ReadWhole(photo), original);
    EXPECT_FALSE(std::filesystem::exists(File("fine.prg"))) << "nothing is written";
  }

  const ProgramResult piped = Run({photo, "--format", "exe", "-o", "-", "-o", File("cat.prg")});
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.err, "");
  EXPECT_EQ(piped.out.size(), 35840u);
  EXPECT_EQ(piped.out, ReadWhole(File("cat.prg")));
  // The roles the search found then go to standard error, beside the messages.
  const ProgramResult automatic = Run({photo, "--auto-colours", "--format=png", "-o", "-"});
  EXPECT_EQ(automatic.status, 0) << automatic.err;
  EXPECT_EQ(automatic.out.substr(1, 3), "PNG");
  EXPECT_THAT(automatic.err, ::testing::MatchesRegex("[0-9,]+ [a-z,-]+\n"));
}

// A JPEG cut short converts (libjpeg completes it in grey), with a warning on standard error.
TEST_F(ProgramTest, AJpegCutShortConvertsWithAWarning) {
  const std::string whole = ReadWhole(Sample);
  const std::string cut = File("cut.jpg");
  {
    std::FILE* file = std::fopen(cut.c_str(), "wb");
    std::fwrite(whole.data(), 1, whole.size() / 2, file);
    std::fclose(file);
  }
  const ProgramResult result = Run({cut, "-o", File("cut.prg")});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err,
            "vantrel-convert: " + cut + ": the file ends early; the rest of the picture is grey\n");
  EXPECT_EQ(ReadWhole(File("cut.prg")).size(), 35840u);
  EXPECT_EQ(Run({Sample, "-o", File("whole.prg")}).err, "");
}

TEST_F(ProgramTest, APictureOfExactlyTheWindowSizeConverts) {
  testsupport::WriteJpeg(File("exact.jpg"), 192, 200);
  EXPECT_EQ(Run({File("exact.jpg"), "-o", File("exact.prg")}).status, 0);
  EXPECT_EQ(ReadWhole(File("exact.prg")).size(), 35840u);
  const ProgramResult shifted = Run({File("exact.jpg"), "--crop", "1,0", "-o", File("x.prg")});
  EXPECT_EQ(shifted.status, 2);
  EXPECT_THAT(shifted.err,
              ::testing::HasSubstr("outside the 192 x 200 picture at 100 % (X 0..0, Y 0..0)"));
}

TEST_F(ProgramTest, HelpAndVersionGoToStandardOutput) {
  const ProgramResult help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_THAT(help.out,
              ::testing::StartsWith("Usage: vantrel-convert [options] PICTURE -o OUTPUT"));
  EXPECT_EQ(Run({"-h"}).out, help.out);

  const ProgramResult version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "vantrel-convert " VANTREL_VERSION "\n");
}

}  // namespace

// A project and the pictures this program saved are inputs too: a project gives the files it
// was saved with (also moved to another folder with its photo), a saved picture gives itself
// back or retargeted. The rows run in order, some on what the rows before wrote.
TEST_F(ProgramTest, ProjectsAndSavedPicturesConvertAsTheyWereSaved) {
  std::filesystem::copy_file(Sample, File("photo.jpg"));
  const Args settings = {"--crop", "40,50", "--offsets", "10,0,-5", "--dither", "low-flicker"};
  Args made = {File("photo.jpg"), "--machine", "ntsc",          "-o", File("ref.prg"), "-o",
               File("ref.bin"),   "-o",        File("ref.png"), "-o", File("ref.d64"), "-o",
               File("p.vantrel")};
  made.insert(made.begin() + 1, settings.begin(), settings.end());
  ASSERT_EQ(Run(made).status, 0);
  Args any = {File("photo.jpg"), "--machine", "any", "-o", File("any.prg")};
  any.insert(any.begin() + 1, settings.begin(), settings.end());
  ASSERT_EQ(Run(any).status, 0);
  std::filesystem::create_directory(File("moved"));
  std::filesystem::copy_file(File("photo.jpg"), File("moved/photo.jpg"));
  std::filesystem::copy_file(File("p.vantrel"), File("moved/p.vantrel"));
  std::filesystem::create_directory(File("alone"));
  std::filesystem::copy_file(File("p.vantrel"), File("alone/p.vantrel"));
  const std::string prg = ReadWhole(File("ref.prg"));
  std::ofstream(File("cut.prg"), std::ios::binary) << prg.substr(0, 1000);
  std::ofstream(File("bad.vantrel")) << "{\"vantrel\": 1,\n";

  struct Row {
    Args arguments;
    int status;
    std::vector<std::pair<std::string, std::string>> sameAs;  // written, reference
    std::string message;                                      // in standard error
  };
  const Row rows[] = {
      {{"moved/p.vantrel", "-o", "o.prg", "-o", "o.bin", "-o", "o.png", "-o", "o.d64"},
       0,
       {{"o.prg", "ref.prg"}, {"o.bin", "ref.bin"}, {"o.png", "ref.png"}, {"o.d64", "ref.d64"}},
       ""},
      {{"ref.prg", "-o", "s.bin", "-o", "s.prg", "-o", "s.png"},
       0,
       {{"s.bin", "ref.bin"}, {"s.prg", "ref.prg"}, {"s.png", "ref.png"}},
       ""},
      {{"ref.prg", "--machine", "any", "-o", "t.prg"}, 0, {{"t.prg", "any.prg"}}, ""},
      {{"ref.d64", "-o", "d.bin"}, 0, {{"d.bin", "ref.bin"}}, ""},
      {{"ref.bin", "--machine", "ntsc", "-o", "b.prg"}, 0, {{"b.prg", "ref.prg"}}, ""},
      {{"ref.prg", "--format", "project", "-o", "saved.json"}, 0, {}, ""},
      {{"saved.json", "-o", "j.prg"}, 0, {{"j.prg", "ref.prg"}}, ""},
      {{"ref.prg", "--crop", "1,1", "-o", "x.prg"},
       2,
       {},
       "--crop cannot change the saved picture"},
      {{"p.vantrel", "--colours", "0,1,2,3,4", "-o", "x.prg"}, 2, {}, "cannot change the project"},
      {{"p.vantrel", "-o", "x.prg", "-o", "photo.jpg"}, 2, {}, "would replace the project's photo"},
      {{"p.vantrel", "--format", "project", "-o", "-"}, 2, {}, "cannot go to standard output"},
      {{"cut.prg", "-o", "x.prg"}, 1, {}, "ends early"},
      {{"bad.vantrel", "-o", "x.prg"}, 1, {}, "is not a usable project file"},
      {{"alone/p.vantrel", "-o", "x.prg"}, 1, {}, "is missing"},
  };
  for (const Row& row : rows) {
    Args arguments;
    for (const std::string& argument : row.arguments) {
      const bool name = argument.find('.') != std::string::npos;
      arguments.push_back(name ? File(argument) : argument);
    }
    const std::string context = ::testing::PrintToString(row.arguments);
    const ProgramResult result = Run(arguments);
    EXPECT_EQ(result.status, row.status) << context << "\n" << result.err;
    if (row.message.empty()) {
      EXPECT_EQ(result.err, "") << context;
    } else {
      EXPECT_THAT(result.err, ::testing::HasSubstr(row.message)) << context;
    }
    for (const auto& [written, reference] : row.sameAs) {
      EXPECT_EQ(ReadWhole(File(written)), ReadWhole(File(reference))) << context << " " << written;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(File("x.prg"))) << "a refused input writes nothing";
  EXPECT_EQ(ReadWhole(File("photo.jpg")), ReadWhole(Sample));
}
