// Scale geometry, and scaled windows against a plain double-precision area average in
// linear light computed here from the full-size picture.
#include "picture/picture_scale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/converter_state.h"
#include "picture/area_resampler.h"
#include "picture/jpeg_decoder.h"
#include "picture/jpeg_samples.h"
#include "picture/orientation.h"
#include "picture/photo.h"
#include "picture/source_window.h"
#include "support/picture_writers.h"

namespace {

using namespace vantrel;
using picture_writers::Pixels;

TEST(PictureScale, Geometry) {
  struct Parse {
    const char* text;
    std::optional<ScaleSetting> want;
  };
  const Parse parses[] = {
      {"fit", ScaleSetting{true, 0}},
      {"FIT", ScaleSetting{true, 0}},
      {"Fit", ScaleSetting{true, 0}},
      {"50", ScaleSetting{false, 50}},
      {"50%", ScaleSetting{false, 50}},
      {"3200", ScaleSetting{false, 3200}},
      {"1", ScaleSetting{false, 1}},
      {"0", std::nullopt},
      {"3201", std::nullopt},
      {"", std::nullopt},
      {"%", std::nullopt},
      {"-5", std::nullopt},
      {"5.5", std::nullopt},
      {"fit%", std::nullopt},
      {" 50", std::nullopt},
      {"50%%", std::nullopt},
      {"000050", std::nullopt},
      {"fits", std::nullopt},
  };
  for (const Parse& p : parses) EXPECT_EQ(ParseScale(p.text), p.want) << '"' << p.text << '"';

  struct Size {
    int width, height, fit, min, max, shown37;  // shown37: what 37 % becomes
  };
  const Size sizes[] = {
      {6000, 4000, 5, 5, 100, 37},
      {4000, 6000, 5, 5, 100, 37},
      {4000, 3000, 7, 7, 100, 37},
      {192, 200, 100, 100, 100, 100},
      {193, 201, 100, 100, 100, 100},
      {191, 200, 101, 101, 404, 101},
      {150, 300, 128, 128, 512, 128},
      {100, 100, 200, 200, 800, 200},
      {6, 7, 3200, 3200, 3200, 3200},
      {1, 1, 20000, 20000, 3200, 3200},  // empty: cannot fill the window at any scale
  };
  for (const Size& s : sizes) {
    SCOPED_TRACE(std::to_string(s.width) + " x " + std::to_string(s.height));
    EXPECT_EQ(FitPercent(s.width, s.height), s.fit);
    EXPECT_EQ(ResolvePercent({true, 0}, s.width, s.height), s.fit);
    EXPECT_EQ(ResolvePercent({false, 37}, s.width, s.height), s.shown37);
    const PercentRange range = AllowedPercents(s.width, s.height);
    EXPECT_EQ(range.min, s.min);
    EXPECT_EQ(range.max, s.max);
    // Every allowed scale covers the window; one below Fit does not.
    for (int p = range.min; p <= range.max; ++p) {
      ASSERT_GE(ScaledLength(s.width, p), WindowWidth) << p;
      ASSERT_GE(ScaledLength(s.height, p), WindowHeight) << p;
    }
    EXPECT_TRUE(ScaledLength(s.width, s.fit - 1) < WindowWidth ||
                ScaledLength(s.height, s.fit - 1) < WindowHeight);
  }
  EXPECT_EQ(ScaledLength(6000, 5), 300);
  EXPECT_EQ(ScaledLength(333, 50), 166);  // rounded down
  EXPECT_EQ(ScaledLength(150, 128), 192);

  const std::pair<int, int> reductions[] = {{100, 1}, {51, 1}, {26, 1}, {25, 2}, {13, 2},
                                            {12, 4},  {7, 4},  {6, 8},  {1, 8},  {400, 1}};
  for (const auto& [percent, reduction] : reductions) {
    EXPECT_EQ(LevelReduction(percent), reduction) << percent << " %";
  }
}

TEST(PictureScale, CropKeepsCentre) {
  struct Case {
    int width, height, from;
    CropCorner old;
    int to;
    CropCorner want;
  };
  const Case cases[] = {
      // The photo's centre stays at the window's centre.
      {6000, 4000, 100, {2904, 1900}, 50, {1404, 900}},
      {6000, 4000, 50, {1404, 900}, 100, {2904, 1900}},
      {6000, 4000, 100, {2904, 1900}, 5, {54, 0}},  // Fit: 300 x 200
      {6000, 4000, 37, {500, 600}, 38, {516, 619}},
      // Clamped at the top-left and bottom-right edges.
      {6000, 4000, 100, {0, 0}, 50, {0, 0}},
      {6000, 4000, 100, {5808, 3800}, 50, {2808, 1800}},
      // A small picture, enlarged.
      {120, 90, 223, {0, 0}, 446, {96, 100}},
      {120, 90, 446, {96, 100}, 223, {0, 0}},
  };
  for (const Case& c : cases) {
    const CropCorner got = CropKeepingCentre(c.width, c.height, c.from, c.old, c.to);
    EXPECT_EQ(got, c.want) << c.from << " % (" << c.old.left << ", " << c.old.top << ") -> " << c.to
                           << " %: (" << got.left << ", " << got.top << ")";
  }
}

double Linear(int c) {
  const double v = c / 255.0;
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

int Srgb(double l) {
  const double v = l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
  return static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
}

// Pixel (X, Y) of `source` scaled down or up so that one pixel of the result spans `scale`
// pixels of it: the linear-light mean over the area it covers.
std::uint32_t Reference(const Pixels& source, double scale, int X, int Y) {
  const double x0 = X * scale, x1 = (X + 1) * scale, y0 = Y * scale, y1 = (Y + 1) * scale;
  double sum[3] = {}, area = 0;
  for (int y = static_cast<int>(y0); y < std::min<double>(source.height, y1); ++y) {
    const double h = std::min<double>(y + 1, y1) - std::max<double>(y, y0);
    for (int x = static_cast<int>(x0); x < std::min<double>(source.width, x1); ++x) {
      const double w = (std::min<double>(x + 1, x1) - std::max<double>(x, x0)) * h;
      const std::uint32_t p = source.At(x, y);
      sum[0] += w * Linear((p >> 16) & 0xFF);
      sum[1] += w * Linear((p >> 8) & 0xFF);
      sum[2] += w * Linear(p & 0xFF);
      area += w;
    }
  }
  return static_cast<std::uint32_t>(Srgb(sum[0] / area) << 16 | Srgb(sum[1] / area) << 8 |
                                    Srgb(sum[2] / area));
}

// Photo-like: smooth shading, hard edges and one-pixel detail.
Pixels Scene(int width, int height) {
  Pixels p(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int r = (x * 255 / width + ((x / 7 + y / 5) % 2) * 60) % 256;
      const int g = ((x ^ y) & 1) ? 230 : 20;
      const int b = (y * 255 / height + (x * y) % 37) % 256;
      p.At(x, y) = 0xFF000000u | r << 16 | g << 8 | b;
    }
  }
  return p;
}

ViewSurface Filled(TColor colour) {
  ViewSurface s;
  for (int y = 0; y < WindowHeight; ++y) {
    for (int x = 0; x < WindowWidth; ++x) s.SetPixel(x, y, colour);
  }
  return s;
}

Pixels FromBitmap(const Bitmap32& bitmap) {
  Pixels p(bitmap.Width(), bitmap.Height());
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) p.At(x, y) = 0xFF000000u | bitmap.ScanLine(y)[x];
  }
  return p;
}

// Both steps of a reduced scale: the level's pixels are the linear-light means of their
// blocks, and the window is the area average of the level. Within 1 of the reference's
// rounding; a scale below 26 % thus differs from the full-size area average where a level
// pixel straddles the edge of a window pixel's area.
TEST(PictureScale, WindowsMatchReferenceAverage) {
  struct Case {
    int width, height;
    std::vector<int> percents;
  };
  const Case cases[] = {
      {1600, 1200, {17, 25}},
      {3400, 3400, {6, 9}},  // from the 1/8 and 1/4 levels
      {700, 560, {36, 50, 77, 99}},
      {120, 90, {223, 300, 401}},
  };
  for (const Case& c : cases) {
    const Pixels scene = Scene(c.width, c.height);
    const picture_writers::Bytes file = picture_writers::EncodeBmp(scene);  // quick to write
    Photo photo = Photo::OpenBytes(file, "scene.bmp");
    Photo cached = Photo::OpenBytes(file, "scene.bmp");
    for (int reduction : {2, 4, 8}) cached.Level(reduction);
    for (const int percent : c.percents) {
      const int reduction = LevelReduction(percent);
      const Pixels level = FromBitmap(photo.Level(reduction));
      if (reduction > 1) {
        int worstLevel = 0;
        for (int y = 0; y < level.height; y += 3) {
          for (int x = 0; x < level.width; x += 3) {
            const std::uint32_t want = Reference(scene, reduction, x, y);
            for (int shift : {0, 8, 16}) {
              worstLevel =
                  std::max(worstLevel, std::abs(static_cast<int>((level.At(x, y) >> shift) & 0xFF) -
                                                static_cast<int>((want >> shift) & 0xFF)));
            }
          }
        }
        EXPECT_LE(worstLevel, 1) << "level 1/" << reduction;
      }
      const int scaledWidth = ScaledLength(c.width, percent);
      const int scaledHeight = ScaledLength(c.height, percent);
      const CropCorner crops[] = {
          {0, 0},
          {(scaledWidth - WindowWidth) / 2, (scaledHeight - WindowHeight) / 3},
          {scaledWidth - WindowWidth, scaledHeight - WindowHeight}};
      for (const CropCorner crop : crops) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + " at " +
                     std::to_string(percent) + " %, crop " + std::to_string(crop.left) + "," +
                     std::to_string(crop.top));
        ViewSurface window = Filled(0x123456);
        photo.DrawScaled(percent, -crop.left, -crop.top, window);
        int worst = 0;
        for (int y = 0; y < WindowHeight; ++y) {
          for (int x = 0; x < WindowWidth; ++x) {
            const std::uint32_t want =
                Reference(level, 100.0 / (percent * reduction), crop.left + x, crop.top + y);
            const std::uint32_t got = ToPackedRGB(window.Pixel(x, y));
            for (int shift : {0, 8, 16}) {
              worst = std::max(worst, std::abs(static_cast<int>((got >> shift) & 0xFF) -
                                               static_cast<int>((want >> shift) & 0xFF)));
            }
          }
        }
        EXPECT_LE(worst, 1);
        // The same pixels whatever levels were made before, and from a window one pixel
        // further right and down wherever the two overlap.
        ViewSurface again = Filled(0);
        cached.DrawScaled(percent, -crop.left, -crop.top, again);
        EXPECT_TRUE(std::equal(window.Words(), window.Words() + PixelCount, again.Words()));
        // Freed when the scale moves far, made again from the picture when next needed.
        cached.KeepLevelsNear(LevelReduction(percent) == 8 ? 100 : 3);
        ViewSurface remade = Filled(0);
        cached.DrawScaled(percent, -crop.left, -crop.top, remade);
        EXPECT_TRUE(std::equal(window.Words(), window.Words() + PixelCount, remade.Words()));
        ViewSurface shifted = Filled(0);
        photo.DrawScaled(percent, -crop.left + 1, -crop.top + 1, shifted);
        for (int y = 1; y < WindowHeight; ++y) {
          for (int x = 1; x < WindowWidth; ++x) {
            ASSERT_EQ(shifted.Pixel(x, y), window.Pixel(x - 1, y - 1)) << x << "," << y;
          }
        }
      }
    }
  }
}

// A JPEG draws from libjpeg's reduced decodes, turned upright: a 1200 x 1600 file stored
// turned (orientation 6) shows as 1600 x 1200, and a window is the area average of the
// upright level whether the photo was fresh or had every level made before.
TEST(PictureScale, JpegDrawsFromUprightReducedDecodes) {
  const jpeg_samples::TempFolder folder;
  jpeg_samples::RawImage stored(1200, 1600, 3);
  for (int y = 0; y < stored.height; ++y) {
    for (int x = 0; x < stored.width; ++x) {
      std::uint8_t* p = stored.Pixel(x, y);
      p[0] = static_cast<std::uint8_t>(x / 5), p[1] = static_cast<std::uint8_t>(y / 7);
      p[2] = static_cast<std::uint8_t>((x / 40 + y / 40) % 2 ? 220 : 30);
    }
  }
  jpeg_samples::WriteJpeg(folder / "stored.jpg", stored);
  const picture_writers::Bytes plain = jpeg_samples::ReadBytes(folder / "stored.jpg");
  for (const int orientation : {1, 6}) {
    const picture_writers::Bytes bytes = picture_writers::WithJpegExif(plain, orientation);
    Photo fresh = Photo::OpenBytes(bytes, "photo.jpg");
    Photo cached = Photo::OpenBytes(bytes, "photo.jpg");
    for (int reduction : {1, 2, 4, 8}) cached.Level(reduction);
    EXPECT_EQ(fresh.Width(), orientation == 6 ? 1600 : 1200);
    for (const int percent : {FitPercent(fresh.Width(), fresh.Height()), 25, 60}) {
      SCOPED_TRACE("orientation " + std::to_string(orientation) + " at " + std::to_string(percent) +
                   " %");
      const int reduction = LevelReduction(percent);
      Bitmap32 level;
      DecodeJpegMemoryReduced(bytes.data(), bytes.size(), reduction, level, "photo.jpg");
      ApplyOrientation(level, orientation);
      const Pixels upright = FromBitmap(level);
      const CropCorner crop{ScaledLength(fresh.Width(), percent) - WindowWidth, 3};
      ViewSurface window = Filled(0), again = Filled(0);
      fresh.DrawScaled(percent, -crop.left, -crop.top, window);
      cached.DrawScaled(percent, -crop.left, -crop.top, again);
      EXPECT_TRUE(std::equal(window.Words(), window.Words() + PixelCount, again.Words()));
      int worst = 0;
      for (int y = 0; y < WindowHeight; y += 3) {
        for (int x = 0; x < WindowWidth; x += 3) {
          const std::uint32_t want =
              Reference(upright, 100.0 / (percent * reduction), crop.left + x, crop.top + y);
          const std::uint32_t got = ToPackedRGB(window.Pixel(x, y));
          for (int shift : {0, 8, 16}) {
            worst = std::max(worst, std::abs(static_cast<int>((got >> shift) & 0xFF) -
                                             static_cast<int>((want >> shift) & 0xFF)));
          }
        }
      }
      EXPECT_LE(worst, 1);
    }
  }
}

// One-pixel black and white squares average to one even grey, the grey of half the light
// (188), not the 128 of averaging the sRGB numbers.
TEST(PictureScale, CheckerboardBecomesEvenGrey) {
  Pixels board(400, 400);
  for (int y = 0; y < board.height; ++y) {
    for (int x = 0; x < board.width; ++x) board.At(x, y) = (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u;
  }
  Photo photo = Photo::OpenBytes(picture_writers::EncodePng(board), "board.png");
  EXPECT_EQ(FitPercent(400, 400), 50);
  for (const int percent : {50, 25, 20}) {
    ViewSurface window = Filled(0x123456);
    photo.DrawScaled(percent, 0, 0, window);
    const TColor first = window.Pixel(0, 0);
    EXPECT_EQ(first, 188u * 0x010101u) << percent << " %";
    const int coveredWidth = std::min(WindowWidth, ScaledLength(400, percent));
    const int coveredHeight = std::min(WindowHeight, ScaledLength(400, percent));
    for (int y = 0; y < WindowHeight; ++y) {
      for (int x = 0; x < WindowWidth; ++x) {
        const bool covered = x < coveredWidth && y < coveredHeight;
        ASSERT_EQ(window.Pixel(x, y), covered ? first : 0x123456u) << x << "," << y;
      }
    }
  }
  for (int c = 0; c < 256; ++c) {
    ASSERT_EQ(SrgbFromLinear(LinearFromSrgb(static_cast<std::uint8_t>(c))), c);
  }
}

// At 100 % the scaled read-back is today's read-back of the decoded picture: same pixels,
// and what the picture does not cover keeps what the view showed.
TEST(PictureScale, HundredPercentIsTodaysWindow) {
  const std::string sample = VANTREL_TEST_DATA "/astronaut.jpg";
  Photo jpeg = Photo::OpenFile(sample);
  const Pixels small = Scene(150, 120);
  Photo png = Photo::OpenBytes(picture_writers::EncodePng(small), "small.png");
  struct Case {
    Photo* photo;
    int x, y;
  };
  const Case cases[] = {
      {&jpeg, 0, 0}, {&jpeg, -17, -33}, {&jpeg, 5, 9}, {&png, 0, 0}, {&png, -3, 2}};
  for (const Case& c : cases) {
    auto today = std::make_unique<ConverterState>();
    auto scaled = std::make_unique<ConverterState>();
    // Something already in the view, for the parts the picture leaves uncovered.
    today->Image1 = scaled->Image1 = Filled(0x405060);
    if (c.photo == &jpeg) {
      DecodeJpegFile(sample, today->PictureBitmap);
    } else {
      today->PictureBitmap.SetSize(small.width, small.height);
      for (int y = 0; y < small.height; ++y) {
        for (int x = 0; x < small.width; ++x) {
          today->PictureBitmap.ScanLine(y)[x] = small.At(x, y) & 0xFFFFFFu;
        }
      }
    }
    ReadSourceWindow(*today, c.x, c.y);
    scaled->Picture = std::shared_ptr<PictureSource>(std::shared_ptr<PictureSource>(), c.photo);
    ReadSourceWindow(*scaled, c.x, c.y);
    EXPECT_EQ(scaled->SourceWindow, today->SourceWindow) << c.x << "," << c.y;
    EXPECT_TRUE(std::equal(scaled->Image1.Words(), scaled->Image1.Words() + PixelCount,
                           today->Image1.Words()));
  }
}

}  // namespace
