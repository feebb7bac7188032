// vantrel-convert run as a script runs it: exit status, what it prints, and which files it
// leaves behind, for good runs, bad usage and failing files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <jerror.h>
#include <jpeglib.h>  // after cstdio
#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "c64/saved_picture.h"
#include "cli/command_line.h"
#include "colour/mix_colours.h"
#include "colour/palettes.h"
#include "run_program.h"
#include "support/jpeg_writer.h"
#include "support/vice_palettes.h"

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
      {"--palette", "colodore"},
      {"--mix", "light"},
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

// The preview is what the data file's two frames show at each pixel, mixed: in VICE's colours of
// the palette chosen (read from its palette file where VICE is installed), by the bytes' average
// exactly or as light within one level a channel (worked out here from the sRGB curve).
TEST_F(ProgramTest, ThePreviewIsTheDataFilesFramesMixedInThePaletteAndMix) {
  const struct {
    Args options;
    vantrel::PaletteId palette;
    bool light;
  } cases[] = {
      {{}, vantrel::PaletteId::Pepto, false},
      {{"--palette", "colodore"}, vantrel::PaletteId::Colodore, false},
      {{"--palette=colodore", "--auto-colours", "--dither", "low-flicker"},
       vantrel::PaletteId::Colodore,
       false},
      {{"--mix", "light"}, vantrel::PaletteId::Pepto, true},
      {{"--palette", "community-colors", "--mix=light", "--auto-colours=calm", "--no-dither"},
       vantrel::PaletteId::CommunityColors,
       true},
  };
  const auto linear = [](int level) {
    const double v = level / 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  const auto encoded = [](double light) {
    return 255 * (light <= 0.0031308 ? 12.92 * light : 1.055 * std::pow(light, 1 / 2.4) - 0.055);
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options));
    Args args = {Sample, "-o", File("p.bin"), "-o", File("p.png")};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const ProgramResult result = Run(args);
    ASSERT_EQ(result.status, 0) << result.err;
    const vantrel::PaletteData& data = vantrel::PaletteOf(c.palette);
    const auto palette =
        vantrel::testsupport::ReadVicePalette(std::string(data.viceFile)).value_or(data.colours);
    const std::string bytes = ReadWhole(File("p.bin"));
    const vantrel::SavedPicture saved = vantrel::ReadSavedPicture(
        {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, "p.bin");
    const PngPicture preview = ReadPng(File("p.png"));
    ASSERT_EQ(preview.rgb.size(), 3u * vantrel::PixelCount);
    int worst = 0;
    for (int i = 0; i < vantrel::PixelCount; ++i) {
      const vantrel::LayerPlanes& l = saved.layers;
      const vantrel::ColourRoleSet& r = saved.roles;
      const vantrel::CellColourSet cell = saved.cells
                                              ? (*saved.cells)[vantrel::CellOf(i % 192, i / 192)]
                                              : vantrel::CellColoursOfRoles(r);
      const int one = l.Sprite1Bits[i]   ? r.Sprite1Colour
                      : l.Bitmap1Bits[i] ? cell.Bitmap1Colour
                                         : cell.Background1Colour;
      const int two = l.Sprite2Bits[i]   ? r.Sprite2Colour
                      : l.Bitmap2Bits[i] ? cell.Bitmap2Colour
                                         : cell.Background2Colour;
      const vantrel::TColor a = palette[one], b = palette[two];
      const int levels[3][2] = {{vantrel::RedOf(a), vantrel::RedOf(b)},
                                {vantrel::GreenOf(a), vantrel::GreenOf(b)},
                                {vantrel::BlueOf(a), vantrel::BlueOf(b)}};
      for (int channel = 0; channel < 3; ++channel) {
        const auto [p, q] = levels[channel];
        const int shown = preview.rgb[3 * i + channel];
        if (c.light) {
          const double mixed = encoded((linear(p) + linear(q)) / 2);
          worst = std::max(worst, static_cast<int>(std::ceil(std::fabs(shown - mixed) - 0.5)));
        } else {
          ASSERT_EQ(shown, (p + q) / 2) << "pixel " << i;
        }
      }
    }
    EXPECT_LE(worst, 1) << "light mix off by more than a level";
  }
}

// Bad usage, whether the reading of the command line finds it or the program once the picture
// is open: exit status 2, the reason and the hint on standard error, nothing else printed,
// nothing written. A row the reading refuses gives it the same reason; it takes any other.
TEST_F(ProgramTest, BadUsageSaysWhyAndWritesNothing) {
  struct Case {
    Args args;
    std::string reason;
    bool read = true;  // refused by ParseCommandLine already
  };
  const std::string in = Sample;
  const std::string out = File("out.prg");
  const std::string needsColour = "(0..15 or a name such as light-red)";
  const std::string notWritten = "pictures but does not write them (the preview is saved as .png)";
  const Case cases[] = {
      // Options the table does not have, and their values' shapes.
      {{in, "-o", out, "--bogus"}, "unknown option '--bogus'"},
      {{in, "-o", out, "-x"}, "unknown option '-x'"},
      {{in, "-o", out, "--colour=0,1,2,3,4"}, "unknown option '--colour=0,1,2,3,4'"},
      {{in, "-o", out, "--no-dither=1"}, "option '--no-dither' takes no value"},
      {{in, "-o", out, "--dither"}, "option '--dither' needs a value"},
      {{in, "-o"}, "option '-o' needs a value"},
      {{in, "-o", out, "--crop"}, "option '--crop' needs a value"},
      // Choices.
      {{in, "-o", out, "--dither", "FS"}, "--dither must be none, fs or low-flicker, not 'FS'"},
      {{in, "-o", out, "--format", "gif"},
       "--format must be exe, data, png, d64, asm or project, not 'gif'"},
      {{in, "-o", out, "--format", "PRG"},
       "--format must be exe, data, png, d64, asm or project, not 'PRG'"},
      {{in, "-o", out, "--machine", "c64"},
       "--machine must be pal, ntsc, ntsc-old, drean or any, not 'c64'"},
      {{in, "-o", out, "--machine", "NTSC"},
       "--machine must be pal, ntsc, ntsc-old, drean or any, not 'NTSC'"},
      {{in, "-o", out, "--auto-colours=yes"},
       "--auto-colours must be faithful, balanced or calm, not 'yes'"},
      {{in, "-o", out, "--auto-colours="},
       "--auto-colours must be faithful, balanced or calm, not ''"},
      {{in, "-o", out, "--mix", "Light"}, "--mix must be average or light, not 'Light'"},
      {{in, "-o", out, "--palette=pepto-pal"},
       "--palette must be pepto, colodore, community-colors, vice, c64hq, deekay, ptoing, "
       "pixcen, cjam, godot, frodo, ccs64 or pc64, not 'pepto-pal'"},
      {{in, "--scale", "big", "-o", out}, "--scale must be fit or a percentage 1..3200, not 'big'"},
      // Numbers.
      {{in, "-o", out, "--crop", "1"}, "--crop needs X,Y (two whole numbers), not '1'"},
      {{in, "-o", out, "--crop", "1,2,3"}, "--crop needs X,Y (two whole numbers), not '1,2,3'"},
      {{in, "-o", out, "--crop", "1, 2"}, "--crop needs X,Y (two whole numbers), not '1, 2'"},
      {{in, "-o", out, "--crop", "1.5,2"}, "--crop needs X,Y (two whole numbers), not '1.5,2'"},
      {{in, "-o", out, "--crop", "-1,0"},
       "--crop -1,0 lies outside the picture (X and Y start at 0)"},
      {{in, "-o", out, "--crop", "0,-200"},
       "--crop 0,-200 lies outside the picture (X and Y start at 0)"},
      {{in, "-o", out, "--offsets", "256,0,0"}, "--offsets 256,0,0: 256 is out of range -255..255"},
      {{in, "-o", out, "--offsets", "0,300,0"}, "--offsets 0,300,0: 300 is out of range -255..255"},
      {{in, "-o", out, "--offsets", "0,0,-256"},
       "--offsets 0,0,-256: -256 is out of range -255..255"},
      {{in, "-o", out, "--offsets", "0,99999999999,0"},
       "--offsets needs R,G,B (three whole numbers), not '0,99999999999,0'"},
      {{in, "-o", out, "--offsets", "1,2"},
       "--offsets needs R,G,B (three whole numbers), not '1,2'"},
      {{in, "-o", out, "--offsets", "a,0,0"},
       "--offsets needs R,G,B (three whole numbers), not 'a,0,0'"},
      // Colours, named as the option was written.
      {{in, "-o", out, "--colours", "0,1,2,3,pink"},
       "--colours: unknown colour 'pink' " + needsColour},
      {{in, "-o", out, "--colors=0,1,2,3,pink"}, "--colors: unknown colour 'pink' " + needsColour},
      {{in, "-o", out, "--colours", "0,16,2,3,4"}, "--colours: unknown colour '16' " + needsColour},
      {{in, "-o", out, "--colours", "0,1,,3,4"}, "--colours: unknown colour '' " + needsColour},
      {{in, "-o", out, "--colours", "0,1,2,3"},
       "--colours needs five colours BG,B1,S1,B2,S2, not '0,1,2,3'"},
      {{in, "--colours", "0,1,2,3,4", "--auto-colours", "-o", out},
       "--colours and --auto-colours exclude each other"},
      {{"--auto-colors", in, "-o", out, "--colors=black,1,2,3,4"},
       "--colours and --auto-colours exclude each other"},
      // Inputs and outputs.
      {{in}, "no output file (-o, or --output-dir with --format)"},
      {{"-o", out}, "no input file"},
      {{in, File("b.jpg"), "-o", out},
       "-o names the file of one picture, not of 2: give --output-dir DIR and a --format for "
       "each kind of file"},
      {{in, "-o", out, "--format", "png"}, "--format is not followed by the -o it applies to"},
      {{in, "-o", "-"}, "-o - (standard output) needs --format before it"},
      {{in, "--format", "exe", "-o", out, "-o", "-"},
       "-o - (standard output) needs --format before it"},
      {{in, "-o", out, "--output-dir", File("d"), "--format", "exe"},
       "-o and --output-dir exclude each other"},
      {{in, "--output-dir", File("d")},
       "--output-dir needs the kinds to write (--format exe, --format data ...)"},
      {{in, File("x/Astronaut.PNG"), "--output-dir", File("d"), "--format", "exe"},
       in + " and " + File("x/Astronaut.PNG") + " would both write " + File("d/Astronaut.prg")},
      // A name that says it holds a picture of another format.
      {{in, "-o", File("p.jpg")},
       "Cannot save as " + File("p.jpg") + ": this program reads JPEG " + notWritten},
      {{in, "-o", out, "-o", File("p.JPEG")},
       "Cannot save as " + File("p.JPEG") + ": this program reads JPEG " + notWritten},
      {{in, "-o", File("p.gif")},
       "Cannot save as " + File("p.gif") + ": this program reads GIF " + notWritten},
      {{in, "-o", File("p.bmp")},
       "Cannot save as " + File("p.bmp") + ": this program reads BMP " + notWritten},
      {{in, "-o", File("p.webp")},
       "Cannot save as " + File("p.webp") + ": this program reads WebP " + notWritten},
      {{in, "-o", File("p.tif")},
       "Cannot save as " + File("p.tif") + ": this program reads TIFF " + notWritten},
      {{in, "-o", File("p.tiff")},
       "Cannot save as " + File("p.tiff") + ": this program reads TIFF " + notWritten},
      {{in, "-o", File("p.heic")},
       "Cannot save as " + File("p.heic") + ": this program reads HEIF " + notWritten},
      {{in, "-o", File("p.avif")},
       "Cannot save as " + File("p.avif") + ": this program reads HEIF " + notWritten},
      {{in, "--format", "data", "-o", File("p.gif")},
       "Cannot save as " + File("p.gif") + ": this program reads GIF " + notWritten},
      // Known only once the picture is decoded: 512 x 512 leaves X 0..320 and Y 0..312.
      {{in, "-o", out, "--crop", "321,0"},
       "--crop 321,0 puts the window outside the 512 x 512 picture at 100 % (X 0..320, Y "
       "0..312)",
       false},
      {{in, "-o", out, "-o", File("out.png"), "--crop", "0,313"},
       "--crop 0,313 puts the window outside the 512 x 512 picture at 100 % (X 0..320, Y "
       "0..312)",
       false},
      // The crop is in the scaled picture's pixels: 512 x 512 at 50 % is 256 x 256.
      {{in, "--scale", "50", "-o", out, "--crop", "65,0"},
       "--crop 65,0 puts the window outside the 256 x 256 picture at 50 % (X 0..64, Y 0..56)",
       false},
      // Known once the picture is open: 512 x 512 can be shown at 40..100 %.
      {{in, "--scale", "39", "-o", out},
       "--scale 39 is outside 40..100 for the 512 x 512 picture " + in,
       false},
      {{in, "--scale=101", "-o", out},
       "--scale 101 is outside 40..100 for the 512 x 512 picture " + in,
       false},
  };
  for (const Case& c : cases) {
    const vantrel::cli::ParsedCommandLine parsed = vantrel::cli::ParseCommandLine(c.args);
    if (c.read) {
      const auto* usage = std::get_if<vantrel::cli::UsageError>(&parsed);
      EXPECT_EQ(usage ? usage->reason : "(accepted)", c.reason);
    } else {
      EXPECT_TRUE(std::holds_alternative<vantrel::cli::ConvertRequest>(parsed)) << c.reason;
    }
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
      // The specified text, and the system's reason after it.
      {{File("missing.jpg"), "-o", File("old.prg")},
       "Cannot open file " + File("missing.jpg") + ": No such file or directory"},
      {{File("folder"), "-o", File("old.prg")},
       "Cannot open file " + File("folder") + ": Is a directory"},
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
      // Once one output fails, none after it is written, a project neither.
      {{Sample, "-o", File("no/such/folder.prg"), "-o", File("p.vantrel"), "-o", File("new.bin")},
       "Cannot create file " + File("no/such/folder.prg") + ": No such file or directory"},
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
// leaves the photo as it was; -o - writes the kind --format names to standard output. (The
// names have no picture extension, which would be refused before.)
TEST_F(ProgramTest, TheInputIsNeverAnOutputAndStandardOutputTakesAFile) {
  const std::string photo = File("cat");
  std::filesystem::copy_file(Sample, photo);
  std::filesystem::create_symlink(photo, File("soft"));
  std::filesystem::create_hard_link(photo, File("hard.bin"));
  const std::string original = ReadWhole(photo);
  for (const std::string& output :
       {photo, File("soft"), File("hard.bin"),
        File("../" + std::filesystem::path(dir.File("")).parent_path().filename().string() +
             "/cat")}) {
    const ProgramResult result = Run({photo, "-o", File("fine.prg"), "-o", output});
    EXPECT_EQ(result.status, 2) << output;
    EXPECT_EQ(result.err, "vantrel-convert: -o " + output + " would replace the input picture " +
                              photo + "\n" + Hint);
    EXPECT_EQ(ReadWhole(photo), original);
    EXPECT_FALSE(std::filesystem::exists(File("fine.prg"))) << "nothing is written";
  }

  // A file --output-dir makes is refused the same when it is another input.
  ASSERT_EQ(Run({photo, "-o", File("dog.prg")}).status, 0);
  const ProgramResult folder =
      Run({photo, File("dog.prg"), "--output-dir", dir.Path().string(), "--format", "exe"});
  EXPECT_EQ(folder.status, 2);
  EXPECT_EQ(folder.err, "vantrel-convert: " + File("dog.prg") +
                            " would replace the input picture " + File("dog.prg") + "\n" + Hint);
  EXPECT_FALSE(std::filesystem::exists(File("cat.prg"))) << "nothing is written";

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

// Several pictures in one run: each one's files in the folder, byte for byte those of a run
// of its own. One that fails is told and the others go on; the status is the highest.
TEST_F(ProgramTest, SeveralPicturesConvertEachAsARunOfItsOwn) {
  std::filesystem::copy_file(Sample, File("a.jpg"));
  std::filesystem::copy_file(VANTREL_TEST_DATA "/hubble.jpg", File("b.jpg"));  // 192 x 200
  std::ofstream(File("bad.jpg")) << "not a picture\n";
  std::filesystem::create_directory(File("out"));
  std::filesystem::create_directory(File("one"));
  const Args settings = {"--offsets", "10,0,-5", "--dither", "low-flicker", "--machine", "ntsc"};
  for (const std::string name : {"a", "b"}) {
    Args alone = {File(name + ".jpg"), "-o", File("one/" + name + ".prg"), "-o",
                  File("one/" + name + ".bin")};
    alone.insert(alone.end(), settings.begin(), settings.end());
    ASSERT_EQ(Run(alone).status, 0) << name;
  }
  Args several = {File("a.jpg"), File("bad.jpg"), File("missing.jpg"), File("b.jpg"),
                  "--format",    "exe",           "--output-dir",      File("out"),
                  "--format",    "data",          "--format",          "exe"};
  several.insert(several.end(), settings.begin(), settings.end());
  const ProgramResult result = Run(several);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "vantrel-convert: " + File("bad.jpg") + ": JPEG error #" +
                            std::to_string(JERR_NO_SOI) + "\nvantrel-convert: Cannot open file " +
                            File("missing.jpg") + ": No such file or directory\n");
  EXPECT_EQ(result.out, "");
  for (const std::string name : {"a.prg", "a.bin", "b.prg", "b.bin"}) {
    EXPECT_EQ(ReadWhole(File("out/" + name)), ReadWhole(File("one/" + name))) << name;
  }

  // A crop that one of them cannot take is its bad usage: named, the hint once at the end.
  std::filesystem::remove_all(File("out"));
  std::filesystem::create_directory(File("out"));
  const ProgramResult cropped =
      Run({File("b.jpg"), File("a.jpg"), "--crop", "100,0", "--auto-colours=calm", "--output-dir",
           File("out"), "--format", "png"});
  EXPECT_EQ(cropped.status, 2);
  EXPECT_EQ(cropped.err, "vantrel-convert: " + File("b.jpg") +
                             ": --crop 100,0 puts the window outside the 192 x 200 picture at "
                             "100 % (X 0..0, Y 0..0)\n" +
                             Hint);
  // The roles found are printed after each picture's name.
  EXPECT_THAT(cropped.out, ::testing::MatchesRegex(File("a.jpg") + ": [0-9,]+ [a-z,-]+\n"));
  EXPECT_TRUE(std::filesystem::exists(File("out/a.png")));
  EXPECT_FALSE(std::filesystem::exists(File("out/b.png")));
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
  Args packed = {File("photo.jpg"), "--machine", "ntsc",        "--pack", "-o",
                 File("pk.prg"),    "-o",        File("pk.d64")};
  packed.insert(packed.begin() + 1, settings.begin(), settings.end());
  ASSERT_EQ(Run(packed).status, 0);
  EXPECT_LT(ReadWhole(File("pk.prg")).size(), ReadWhole(File("ref.prg")).size() / 2);
  std::filesystem::create_hard_link(File("photo.jpg"), File("photo.link"));
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
      // A disk image keeps its program's name; a packed picture is packed again, unless told.
      {{"ref.d64", "-o", "r.d64"}, 0, {{"r.d64", "ref.d64"}}, ""},
      {{"pk.prg", "-o", "k.prg", "-o", "k.bin"},
       0,
       {{"k.prg", "pk.prg"}, {"k.bin", "ref.bin"}},
       ""},
      {{"pk.d64", "-o", "kd.d64"}, 0, {{"kd.d64", "pk.d64"}}, ""},
      {{"pk.prg", "--pack=no", "-o", "u.prg"}, 0, {{"u.prg", "ref.prg"}}, ""},
      {{"ref.prg", "--pack", "-o", "n.prg"}, 0, {{"n.prg", "pk.prg"}}, ""},
      {{"ref.bin", "--machine", "ntsc", "-o", "b.prg"}, 0, {{"b.prg", "ref.prg"}}, ""},
      {{"ref.prg", "--format", "project", "-o", "saved.json"}, 0, {}, ""},
      {{"saved.json", "-o", "j.prg"}, 0, {{"j.prg", "ref.prg"}}, ""},
      // Another palette and mix show the conversion in them: the preview, not the C64 files.
      {{"p.vantrel", "--mix", "light", "--palette", "colodore", "-o", "pl.png", "-o", "pl.bin"},
       0,
       {{"pl.bin", "ref.bin"}},
       ""},
      {{"ref.prg", "--palette=colodore", "--mix=light", "-o", "sl.png"},
       0,
       {{"sl.png", "pl.png"}},
       ""},
      {{"ref.prg", "--crop", "1,1", "-o", "x.prg"},
       2,
       {},
       "--crop cannot change the saved picture"},
      {{"p.vantrel", "--colours", "0,1,2,3,4", "-o", "x.prg"}, 2, {}, "cannot change the project"},
      {{"p.vantrel", "-o", "x.prg", "-o", "photo.link"},
       2,
       {},
       "would replace the project's photo"},
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
  EXPECT_NE(ReadWhole(File("pl.png")), ReadWhole(File("ref.png"))) << "shown in other colours";
  EXPECT_EQ(ReadWhole(File("photo.jpg")), ReadWhole(Sample));

  // The data file as a source, by its extension or by --format: 64tass assembles it to the
  // data file's bytes.
  ASSERT_EQ(
      Run({File("ref.prg"), "-o", File("s.asm"), "--format", "asm", "-o", File("t.txt")}).status,
      0);
  EXPECT_EQ(ReadWhole(File("s.asm")), ReadWhole(File("t.txt")));
  const std::string assemble = std::string(VANTREL_64TASS) + " --quiet --nostart -o '" +
                               File("s.assembled") + "' '" + File("s.asm") + "'";
  ASSERT_EQ(std::system(assemble.c_str()), 0) << assemble;
  EXPECT_EQ(ReadWhole(File("s.assembled")), ReadWhole(File("ref.bin")));
}
