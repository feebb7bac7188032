// Decoding real JPEG files: pixels against libjpeg-turbo's own djpeg, picture sizes,
// four-component files and files that end early.
#include "picture/jpeg_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "core/bitmap32.h"
#include "picture/jpeg_samples.h"
#include "picture/photo.h"

namespace vantrel {
namespace {

using jpeg_samples::RawImage;
using jpeg_samples::WriteOptions;

// Colours of the CMYK test card, one 32 x 32 patch each, four to a row.
const std::vector<std::array<int, 3>> kCardColours = {
    {200, 30, 40},   {20, 180, 60}, {30, 60, 220},   {250, 240, 10},
    {128, 128, 128}, {10, 10, 10},  {255, 255, 255}, {90, 200, 210},
};
constexpr int kPatch = 32;

RawImage TestCard() {
  RawImage card(4 * kPatch, 2 * kPatch, 3);
  for (int y = 0; y < card.height; ++y) {
    for (int x = 0; x < card.width; ++x) {
      const auto& colour = kCardColours[(y / kPatch) * 4 + x / kPatch];
      for (int c = 0; c < 3; ++c) card.Pixel(x, y)[c] = static_cast<std::uint8_t>(colour[c]);
    }
  }
  return card;
}

// CMYK samples that print `rgb`: full black ink taken out first. Adobe-style files store
// every ink inverted (255 = no ink).
RawImage ToCmyk(const RawImage& rgb, bool inverted) {
  RawImage cmyk(rgb.width, rgb.height, 4);
  for (int y = 0; y < rgb.height; ++y) {
    for (int x = 0; x < rgb.width; ++x) {
      const std::uint8_t* p = rgb.Pixel(x, y);
      const int brightest = std::max({p[0], p[1], p[2]});
      std::uint8_t* out = cmyk.Pixel(x, y);
      for (int c = 0; c < 3; ++c) {
        // The share of the brightest channel each channel keeps, as 0..255.
        const int share = brightest == 0 ? 0 : (p[c] * 255 + brightest / 2) / brightest;
        out[c] = static_cast<std::uint8_t>(inverted ? share : 255 - share);
      }
      out[3] = static_cast<std::uint8_t>(inverted ? brightest : 255 - brightest);
    }
  }
  return cmyk;
}

// All test files, made once into a temporary folder from the sample picture.
class Samples {
 public:
  static const Samples& Get() {
    static const Samples samples;
    return samples;
  }
  std::string operator/(const std::string& name) const { return (folder_ / name).string(); }

 private:
  Samples() {
    const std::string sample = std::string(VANTREL_TEST_DATA) + "/astronaut.jpg";
    const std::vector<std::uint8_t> baseline = jpeg_samples::ReadBytes(sample);
    jpeg_samples::WriteBytes(folder_ / "astronaut.jpg", baseline);
    const RawImage rgb = jpeg_samples::ReadJpegRgb(sample);
    const RawImage grey = jpeg_samples::ToGrey(rgb);

    Write("progressive.jpg", rgb, {.progressive = true});
    Write("444.jpg", rgb, {.lumaH = 1, .lumaV = 1});
    Write("422.jpg", rgb, {.lumaH = 2, .lumaV = 1});
    Write("grey.jpg", grey, {.input = JCS_GRAYSCALE});
    Write("grey-progressive.jpg", grey, {.progressive = true, .input = JCS_GRAYSCALE});
    Write("150x300.jpg", jpeg_samples::Resize(rgb, 150, 300), {});
    Write("193x200.jpg", jpeg_samples::Resize(rgb, 193, 200), {});
    Write("192x200.jpg", jpeg_samples::Resize(rgb, 192, 200), {});
    Write("640x480.jpg", jpeg_samples::Resize(rgb, 640, 480), {});

    const RawImage inverted = ToCmyk(rgb, true);
    Write("cmyk-adobe.jpg", inverted, {.input = JCS_CMYK});
    Write("ycck.jpg", inverted, {.input = JCS_CMYK, .stored = JCS_YCCK});

    const RawImage card = TestCard();
    const RawImage cardInverted = ToCmyk(card, true);
    Write("card-cmyk-adobe.jpg", cardInverted, {.quality = 100, .input = JCS_CMYK});
    Write("card-cmyk-plain.jpg", ToCmyk(card, false),
          {.quality = 100, .input = JCS_CMYK, .adobeMarker = false});
    Write("card-ycck.jpg", cardInverted, {.quality = 100, .input = JCS_CMYK, .stored = JCS_YCCK});

    // Cut inside the entropy-coded data: libjpeg completes the picture itself.
    jpeg_samples::WriteBytes(folder_ / "truncated.jpg",
                             {baseline.begin(), baseline.begin() + baseline.size() * 3 / 5});
    const auto progressive = jpeg_samples::ReadBytes(folder_ / "progressive.jpg");
    jpeg_samples::WriteBytes(folder_ / "truncated-progressive.jpg",
                             {progressive.begin(), progressive.begin() + progressive.size() / 2});
  }

  void Write(const std::string& name, const RawImage& image, const WriteOptions& options) {
    jpeg_samples::WriteJpeg(folder_ / name, image, options);
  }

  jpeg_samples::TempFolder folder_;
};

// A picture that no decode produces, to see that a successful one replaces it.
Bitmap32 OldPicture() {
  Bitmap32 old(3, 2);
  for (int i = 0; i < 6; ++i) old.Words()[i] = 0xA5000000u + static_cast<std::uint32_t>(i);
  return old;
}

struct DjpegCase {
  const char* file;
  const char* djpegArguments;
  int width;
  int height;
};

void PrintTo(const DjpegCase& c, std::ostream* out) {
  *out << c.file << " / djpeg " << c.djpegArguments;
}

class MatchesDjpeg : public testing::TestWithParam<DjpegCase> {};

TEST_P(MatchesDjpeg, PixelForPixel) {
  const DjpegCase& c = GetParam();
  const std::string input = Samples::Get() / c.file;
  jpeg_samples::TempFolder scratch;
  const auto output = scratch / "djpeg.pnm";
  ASSERT_TRUE(jpeg_samples::RunDjpeg(c.djpegArguments, input, output))
      << "djpeg failed on " << input;
  const RawImage expected = jpeg_samples::ReadNetpbm(output);

  Bitmap32 picture = OldPicture();
  DecodeJpegFile(input, picture);

  ASSERT_EQ(picture.Width(), c.width);
  ASSERT_EQ(picture.Height(), c.height);
  ASSERT_EQ(expected.width, c.width);
  ASSERT_EQ(expected.height, c.height);
  int mismatches = 0;
  std::string first;
  for (int y = 0; y < c.height; ++y) {
    for (int x = 0; x < c.width; ++x) {
      const std::uint8_t* p = expected.Pixel(x, y);
      const std::uint32_t want = expected.components == 1
                                     ? p[0] * 0x010101u
                                     : (std::uint32_t{p[0]} << 16) | (p[1] << 8) | p[2];
      const std::uint32_t got = picture.ScanLine(y)[x] & 0xFFFFFFu;
      if (got != want && mismatches++ == 0) {
        first = "first at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
      }
    }
  }
  EXPECT_EQ(mismatches, 0) << first;
}

INSTANTIATE_TEST_SUITE_P(
    Files, MatchesDjpeg,
    testing::Values(DjpegCase{"astronaut.jpg", "-dct float -ppm", 512, 512},
                    DjpegCase{"progressive.jpg", "-dct float -ppm", 512, 512},
                    DjpegCase{"444.jpg", "-dct float -ppm", 512, 512},
                    DjpegCase{"422.jpg", "-dct float -ppm", 512, 512},
                    DjpegCase{"150x300.jpg", "-dct float -ppm", 150, 300},
                    DjpegCase{"193x200.jpg", "-dct float -ppm", 193, 200},
                    DjpegCase{"192x200.jpg", "-dct float -ppm", 192, 200},
                    DjpegCase{"640x480.jpg", "-dct float -ppm", 640, 480},
                    DjpegCase{"truncated.jpg", "-dct float -ppm", 512, 512},
                    DjpegCase{"truncated-progressive.jpg", "-dct float -ppm", 512, 512},
                    DjpegCase{"grey.jpg", "-dct float -colors 236 -ppm", 512, 512},
                    DjpegCase{"grey-progressive.jpg", "-dct float -colors 236 -ppm", 512, 512},
                    DjpegCase{"cmyk-adobe.jpg", "-dct float -ppm", 512, 512},
                    DjpegCase{"ycck.jpg", "-dct float -ppm", 512, 512}),
    [](const testing::TestParamInfo<DjpegCase>& info) {
      std::string name = info.param.file;
      name = name.substr(0, name.find('.'));
      for (char& ch : name) {
        if (ch == '-') ch = '_';
      }
      return "f" + name;
    });

// Quantised greyscale: equal channels, and only the library's 236 evenly spaced levels.
TEST(JpegDecoder, GreyscaleHas236LevelsAtMost) {
  Bitmap32 picture;
  DecodeJpegFile(Samples::Get() / "grey.jpg", picture);
  std::vector<bool> seen(256, false);
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      const std::uint32_t word = picture.ScanLine(y)[x] & 0xFFFFFFu;
      ASSERT_EQ(word, (word & 0xFFu) * 0x010101u) << "at (" << x << ", " << y << ")";
      seen[word & 0xFFu] = true;
    }
  }
  for (int level = 0; level < 256; ++level) {
    if (!seen[level]) continue;
    // Level j of n is (j * 255 + (n - 1) / 2) / (n - 1); 256 levels would include 1, 2, ...
    bool onScale = false;
    for (int j = 0; j < 236; ++j) onScale |= (j * 255 + 235 / 2) / 235 == level;
    EXPECT_TRUE(onScale) << "grey level " << level << " is not one of the 236";
  }
}

// A file cut short: the part that arrived is decoded as in the whole file, the rest is the
// mid grey of all-zero coefficients.
TEST(JpegDecoder, TruncatedFileIsCompletedInGrey) {
  Bitmap32 whole;
  Bitmap32 truncated;
  DecodeJpegFile(Samples::Get() / "astronaut.jpg", whole);
  DecodeJpegFile(Samples::Get() / "truncated.jpg", truncated);
  ASSERT_EQ(truncated.Width(), 512);
  ASSERT_EQ(truncated.Height(), 512);
  for (int y = 0; y < 128; ++y) {
    for (int x = 0; x < 512; ++x) {
      ASSERT_EQ(truncated.ScanLine(y)[x] & 0xFFFFFFu, whole.ScanLine(y)[x] & 0xFFFFFFu)
          << "at (" << x << ", " << y << ")";
    }
  }
  for (int x = 0; x < 512; ++x) EXPECT_EQ(truncated.ScanLine(511)[x] & 0xFFFFFFu, 0x808080u);
}

// A file that ends early still opens, completed in grey as before (djpeg's pixels), and
// the opened picture says so once a decode has met the end; a whole file says nothing.
TEST(JpegDecoder, FileThatEndsEarlyIsReported) {
  struct Cut {
    const char* file;
    double kept;    // share of the file's bytes
    int reduction;  // the level decoded: 1 through Prepare(100), others through Level
    bool endsEarly;
  };
  const Cut cuts[] = {
      {"astronaut.jpg", 1.0, 1, false},       {"astronaut.jpg", 0.25, 1, true},
      {"astronaut.jpg", 0.6, 8, true},        {"progressive.jpg", 1.0, 8, false},
      {"progressive.jpg", 0.5, 1, true},      {"grey-progressive.jpg", 0.3, 1, true},
      {"grey-progressive.jpg", 0.7, 2, true},
  };
  const std::string warning = "cut.jpg: the file ends early; the rest of the picture is grey";
  jpeg_samples::TempFolder scratch;
  for (const Cut& c : cuts) {
    SCOPED_TRACE(std::string(c.file) + " kept " + std::to_string(c.kept) + " at 1/" +
                 std::to_string(c.reduction));
    std::vector<std::uint8_t> bytes = jpeg_samples::ReadBytes(Samples::Get() / c.file);
    bytes.resize(static_cast<std::size_t>(bytes.size() * c.kept));
    Photo photo = Photo::OpenBytes(bytes, "cut.jpg");
    EXPECT_EQ(photo.Warning(), "") << "only the header has been read";
    if (c.reduction == 1) {
      photo.Prepare(100);
    } else {
      photo.Level(c.reduction);
    }
    EXPECT_EQ(photo.Warning(), c.endsEarly ? warning : "");

    Bitmap32 direct;
    EXPECT_EQ(DecodeJpegMemoryReduced(bytes.data(), bytes.size(), c.reduction, direct, "cut.jpg"),
              c.endsEarly);
    const Bitmap32& level = photo.Level(c.reduction);
    ASSERT_EQ(level.Width(), direct.Width());
    ASSERT_EQ(level.Height(), direct.Height());
    EXPECT_TRUE(std::equal(
        level.Words(), level.Words() + level.Width() * level.Height(), direct.Words(),
        [](std::uint32_t a, std::uint32_t b) { return (a & 0xFFFFFFu) == (b & 0xFFFFFFu); }));
    if (c.reduction != 1) continue;
    jpeg_samples::WriteBytes(scratch / "cut.jpg", bytes);
    const bool grey = std::string(c.file).rfind("grey", 0) == 0;
    ASSERT_TRUE(jpeg_samples::RunDjpeg(grey ? "-dct float -colors 236 -ppm" : "-dct float -ppm",
                                       scratch / "cut.jpg", scratch / "cut.pnm"));
    const RawImage expected = jpeg_samples::ReadNetpbm(scratch / "cut.pnm");
    ASSERT_EQ(expected.width, level.Width());
    int mismatches = 0;
    for (int y = 0; y < expected.height; ++y) {
      for (int x = 0; x < expected.width; ++x) {
        const std::uint8_t* p = expected.Pixel(x, y);
        const std::uint32_t want = expected.components == 1
                                       ? p[0] * 0x010101u
                                       : (std::uint32_t{p[0]} << 16) | (p[1] << 8) | p[2];
        mismatches += (level.ScanLine(y)[x] & 0xFFFFFFu) != want;
      }
    }
    EXPECT_EQ(mismatches, 0);
  }
}

struct CmykCase {
  const char* file;
};

void PrintTo(const CmykCase& c, std::ostream* out) { *out << c.file; }

class CmykFile : public testing::TestWithParam<CmykCase> {};

// The inside of each patch comes back as the colour the inks were made from.
TEST_P(CmykFile, DecodesToTheColoursItWasMadeFrom) {
  Bitmap32 picture;
  DecodeJpegFile(Samples::Get() / GetParam().file, picture);
  ASSERT_EQ(picture.Width(), 4 * kPatch);
  ASSERT_EQ(picture.Height(), 2 * kPatch);
  constexpr int kMargin = 8;  // away from the patch edges, where JPEG rings
  constexpr int kTolerance = 3;
  for (std::size_t patch = 0; patch < kCardColours.size(); ++patch) {
    const auto& colour = kCardColours[patch];
    const int left = static_cast<int>(patch % 4) * kPatch;
    const int top = static_cast<int>(patch / 4) * kPatch;
    int worst = 0;
    for (int y = top + kMargin; y < top + kPatch - kMargin; ++y) {
      for (int x = left + kMargin; x < left + kPatch - kMargin; ++x) {
        const std::uint32_t word = picture.ScanLine(y)[x];
        const int rgb[3] = {static_cast<int>((word >> 16) & 0xFF),
                            static_cast<int>((word >> 8) & 0xFF), static_cast<int>(word & 0xFF)};
        for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(rgb[c] - colour[c]));
      }
    }
    EXPECT_LE(worst, kTolerance) << "patch " << patch << " (" << colour[0] << ", " << colour[1]
                                 << ", " << colour[2] << ")";
  }
}

INSTANTIATE_TEST_SUITE_P(Inks, CmykFile,
                         testing::Values(CmykCase{"card-cmyk-adobe.jpg"},
                                         CmykCase{"card-cmyk-plain.jpg"},
                                         CmykCase{"card-ycck.jpg"}),
                         [](const testing::TestParamInfo<CmykCase>& info) {
                           const std::string file = info.param.file;
                           std::string name = file.substr(5, file.find('.') - 5);
                           for (char& ch : name) {
                             if (ch == '-') ch = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace vantrel
