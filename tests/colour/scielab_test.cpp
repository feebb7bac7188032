// Tests of S-CIELAB on patches whose answers a reader can check.
#include "colour/scielab.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "colour/perceptual.h"
#include "core/srgb.h"

namespace vantrel {
namespace {

// The sRGB value of linear light `v` (0..1).
unsigned Encode(double v) {
  const double e = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
  return static_cast<unsigned>(std::lround(255 * e));
}

// What a fine pattern of two colours averages to as light.
PackedRGB LightMean(PackedRGB p, PackedRGB q) {
  const auto mean = [&](int shift) {
    return Encode((SrgbDecode(((p >> shift) & 0xFF) / 255.0) +
                   SrgbDecode(((q >> shift) & 0xFF) / 255.0)) /
                  2);
  };
  return MakePackedRGB(mean(16), mean(8), mean(0));
}

TEST(Scielab, FollowsTheEyeFromBothDistances) {
  const PackedRGB orange = MakePackedRGB(200, 120, 40), teal = MakePackedRGB(30, 140, 150);
  const PackedRGB white = 0xFFFFFF, black = 0, red = MakePackedRGB(230, 30, 30),
                  green = MakePackedRGB(30, 150, 30);
  const auto checks = [](PackedRGB p, PackedRGB q) {
    return [p, q](int x, int y) { return (x + y) % 2 ? p : q; };
  };
  const auto flat = [](PackedRGB c) { return [c](int, int) { return c; }; };
  struct Case {
    std::string name;
    std::function<PackedRGB(int, int)> source, preview;
    double near = 0, far = 0;
  } cases[] = {
      {"orange against teal", flat(orange), flat(teal)},
      {"black-and-white checkerboard against its mean", flat(LightMean(white, black)),
       checks(white, black)},
      {"red-green checkerboard against its mean", flat(LightMean(red, green)), checks(red, green)},
      // The preview's rows are a bitmap's 256 words apart; the columns beyond 192 never count.
      {"orange against orange", flat(orange), flat(orange)},
  };
  for (Case& c : cases) {
    std::vector<PackedRGB> source(PixelCount), preview(256 * WindowHeight, 0x123456);
    for (int y = 0; y < WindowHeight; ++y) {
      for (int x = 0; x < WindowWidth; ++x) {
        source[y * WindowWidth + x] = c.source(x, y);
        preview[y * 256 + x] = c.preview(x, y);
      }
    }
    const auto measure = [&](double pixelsPerDegree) {
      return ScielabDifference(source.data(), WindowWidth, preview.data(), 256, WindowWidth,
                               WindowHeight, pixelsPerDegree);
    };
    c.near = measure(NearPixelsPerDegree);
    c.far = measure(FarPixelsPerDegree);
    SCOPED_TRACE(c.name);
    EXPECT_GE(c.far, 0);
  }
  const Case &uniform = cases[0], &greys = cases[1], &hues = cases[2], &same = cases[3];

  // A uniform patch: the plain CIELAB difference, whatever the distance.
  const LabColour o = SrgbToLab(200, 120, 40), t = SrgbToLab(30, 140, 150);
  const double plain = std::sqrt((o.L - t.L) * (o.L - t.L) + (o.a - t.a) * (o.a - t.a) +
                                 (o.b - t.b) * (o.b - t.b));
  EXPECT_NEAR(uniform.near, plain, 0.01);
  EXPECT_NEAR(uniform.far, plain, 0.01);
  EXPECT_EQ(same.near, 0);
  EXPECT_EQ(same.far, 0);

  // Up close the eye sees single pixels of light and dark; from twice as far far less of them.
  EXPECT_GT(greys.near, 50);
  EXPECT_LT(greys.far, greys.near / 2);
  EXPECT_GT(greys.far, 5);
  // Colour is blurred more than lightness: a pattern of hues averages out sooner.
  EXPECT_LT(hues.near, greys.near / 2);
  EXPECT_LT(hues.far, greys.far / 2);
  EXPECT_LT(hues.far, hues.near);
}

}  // namespace
}  // namespace vantrel
