// Tests of CIELAB, flicker and the blurred measure.
#include "colour/perceptual.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "colour/palette.h"

namespace vantrel {
namespace {

constexpr int Index(int x, int y) { return y * WindowWidth + x; }

TEST(Perceptual, SrgbToLabMatchesPublishedValues) {
  struct Case {
    unsigned r, g, b;
    float L, a, bb;
  } cases[] = {
      {0, 0, 0, 0, 0, 0},
      {255, 255, 255, 100, 0, 0},
      {128, 128, 128, 53.585f, 0, 0},
      {255, 0, 0, 53.241f, 80.092f, 67.203f},
      {0, 255, 0, 87.735f, -86.183f, 83.179f},
      {0, 0, 255, 32.297f, 79.188f, -107.860f},
      {255, 255, 0, 97.139f, -21.554f, 94.478f},
      {1, 1, 1, 0.274f, 0, 0},  // the linear segment near black
  };
  for (const auto& c : cases) {
    const LabColour lab = SrgbToLab(c.r, c.g, c.b);
    EXPECT_NEAR(lab.L, c.L, 0.01) << c.r << "," << c.g << "," << c.b;
    EXPECT_NEAR(lab.a, c.a, 0.02) << c.r << "," << c.g << "," << c.b;
    EXPECT_NEAR(lab.b, c.bb, 0.02) << c.r << "," << c.g << "," << c.b;
  }
  // Both colour words reach the same colour: red and blue are not swapped.
  const LabColour red = SrgbToLab(104, 55, 43);
  EXPECT_EQ(TColorToLab(C64Palette[2]).a, red.a);
  EXPECT_EQ(PackedRgbToLab(ToPackedRGB(C64Palette[2])).b, red.b);
}

TEST(Perceptual, LinearisationTable) {
  EXPECT_EQ(SrgbToLinear(0), 0.0f);
  EXPECT_FLOAT_EQ(SrgbToLinear(255), 1.0f);
  EXPECT_FLOAT_EQ(SrgbToLinear(10), 10 / 255.0f / 12.92f);
  EXPECT_NEAR(SrgbToLinear(128), 0.2158605f, 1e-6);
  for (int v = 1; v < 256; ++v) EXPECT_LT(SrgbToLinear(v - 1), SrgbToLinear(v)) << v;
}

TEST(Perceptual, BlurWeightsAreANormalisedGaussianOfSigmaOne) {
  const auto& w = BlurWeights();
  float sum = 0;
  for (float weight : w) sum += weight;
  EXPECT_NEAR(sum, 1.0f, 1e-6);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(w[k], w[6 - k]);
  for (int k = 1; k <= 3; ++k) EXPECT_NEAR(w[3] / w[3 + k], std::exp(0.5 * k * k), 1e-4);
}

struct BlurPlanes {
  FloatPlane in{}, out{}, scratch{};
};

TEST(Perceptual, BlurSpreadsAPointByTheKernelInBothDirections) {
  auto p = std::make_unique<BlurPlanes>();
  p->in[Index(100, 50)] = 1;
  BlurPlane(p->in, p->out, p->scratch);
  const auto& w = BlurWeights();
  for (int y = 40; y <= 60; ++y) {
    for (int x = 90; x <= 110; ++x) {
      const int dx = x - 100, dy = y - 50;
      const float expected = std::abs(dx) <= 3 && std::abs(dy) <= 3 ? w[dx + 3] * w[dy + 3] : 0;
      EXPECT_NEAR(p->out[Index(x, y)], expected, 1e-7) << x << "," << y;
    }
  }
}

TEST(Perceptual, BlurRepeatsTheEdgePixels) {
  auto p = std::make_unique<BlurPlanes>();
  // A flat plane stays flat right up to its edges.
  p->in.fill(42.5f);
  BlurPlane(p->in, p->out, p->scratch);
  for (int i = 0; i < PixelCount; ++i) ASSERT_NEAR(p->out[i], 42.5f, 1e-4) << i;

  // Only the first column lit: at the edge the taps beyond it see the column again.
  p->in.fill(0);
  for (int y = 0; y < WindowHeight; ++y) p->in[Index(0, y)] = 1;
  BlurPlane(p->in, p->out, p->scratch);
  const auto& w = BlurWeights();
  for (int y : {0, 1, 100, 199}) {
    EXPECT_NEAR(p->out[Index(0, y)], w[0] + w[1] + w[2] + w[3], 1e-6) << y;
    EXPECT_NEAR(p->out[Index(1, y)], w[0] + w[1] + w[2], 1e-6) << y;
    EXPECT_NEAR(p->out[Index(3, y)], w[0], 1e-6) << y;
    EXPECT_EQ(p->out[Index(4, y)], 0) << y;
    EXPECT_EQ(p->out[Index(191, y)], 0) << y;
  }

  // The same for the last row, and in place.
  p->in.fill(0);
  for (int x = 0; x < WindowWidth; ++x) p->in[Index(x, 199)] = 1;
  BlurPlane(p->in, p->in, p->scratch);
  EXPECT_NEAR(p->in[Index(77, 199)], w[6] + w[5] + w[4] + w[3], 1e-6);
  EXPECT_NEAR(p->in[Index(77, 196)], w[6], 1e-6);
  EXPECT_EQ(p->in[Index(77, 195)], 0);
}

// 200 rows of PackedRGB words `stride` apart, from a colour per pixel.
std::vector<PackedRGB> Picture(int stride, PackedRGB (*colour)(int, int)) {
  std::vector<PackedRGB> words(static_cast<std::size_t>(stride) * WindowHeight, 0xABCDEF);
  for (int y = 0; y < WindowHeight; ++y) {
    for (int x = 0; x < WindowWidth; ++x) words[y * stride + x] = colour(x, y);
  }
  return words;
}

double DeltaE(const LabColour& p, const LabColour& q) {
  return std::sqrt((p.L - q.L) * (p.L - q.L) + (p.a - q.a) * (p.a - q.a) +
                   (p.b - q.b) * (p.b - q.b));
}

TEST(Perceptual, PerceivedErrorIsTheMeanLabDistanceOfTheBlurredPictures) {
  const auto orange = [](int, int) { return MakePackedRGB(200, 120, 40); };
  const auto teal = [](int, int) { return MakePackedRGB(30, 140, 150); };
  const auto black = [](int, int) { return MakePackedRGB(0, 0, 0); };
  const auto white = [](int, int) { return MakePackedRGB(255, 255, 255); };
  const auto checks = [](int x, int y) { return (x + y) % 2 ? 0xFFFFFFu : 0u; };
  // The grey whose lightness lies halfway between black and white (L 50).
  const auto halfway = [](int, int) { return MakePackedRGB(119, 119, 119); };
  // The preview comes with the bitmap's stride; its columns 192..255 must not count.
  const auto error = [](PackedRGB (*source)(int, int), PackedRGB (*preview)(int, int)) {
    return PerceivedError(Picture(WindowWidth, source).data(), Picture(256, preview).data(), 256);
  };

  EXPECT_EQ(error(orange, orange), 0);
  EXPECT_NEAR(error(orange, teal), DeltaE(SrgbToLab(200, 120, 40), SrgbToLab(30, 140, 150)), 1e-3);
  EXPECT_NEAR(error(black, white), 100, 1e-3);
  // The eye sees a fine checkerboard as its average, not as either of its colours.
  EXPECT_LT(error(halfway, checks), 1.0);
  EXPECT_NEAR(error(black, checks), 50, 1.0);
  EXPECT_NEAR(error(white, checks), 50, 1.0);
}

TEST(Perceptual, MeanDeltaEAveragesEveryPixel) {
  auto first = std::make_unique<LabPlanes>();
  auto second = std::make_unique<LabPlanes>();
  EXPECT_EQ(MeanDeltaE(*first, *second), 0);
  second->L.fill(3);
  second->a.fill(-4);
  EXPECT_NEAR(MeanDeltaE(*first, *second), 5, 1e-6);
  // One pixel 12 away in b, anywhere, adds 12 / 38400.
  for (int i : {0, 191, 38399}) {
    auto third = std::make_unique<LabPlanes>();
    third->b[i] = 12;
    EXPECT_NEAR(MeanDeltaE(*first, *third), 12.0 / PixelCount, 1e-9) << i;
  }
}

TEST(Perceptual, FlickerComparesTheColourEachFrameShows) {
  // Background white, bitmap 1 black, sprite 1 white, bitmap 2 grey, sprite 2 black.
  const ColourRoleSet roles{1, 0, 1, 12, 0};
  const float white = 100, black = 0, grey = TColorToLab(C64Palette[12]).L;
  struct Case {
    int bitmap1, sprite1, bitmap2, sprite2;
    float frame1, frame2;
  } cases[] = {
      {0, 0, 0, 0, white, white},                              // background in both frames
      {1, 0, 0, 0, black, white}, {1, 1, 0, 0, white, white},  // the sprite covers the bitmap
      {0, 1, 0, 0, white, white}, {0, 0, 1, 0, white, grey},  {0, 0, 0, 1, white, black},
      {1, 0, 1, 0, black, grey},  {0, 1, 1, 1, white, black},
  };
  auto layers = std::make_unique<LayerPlanes>();
  for (const auto& c : cases) {
    layers->Bitmap1Bits.fill(c.bitmap1);
    layers->Sprite1Bits.fill(c.sprite1);
    layers->Bitmap2Bits.fill(c.bitmap2);
    layers->Sprite2Bits.fill(c.sprite2);
    EXPECT_NEAR(InterlaceFlicker(*layers, roles), std::fabs(c.frame1 - c.frame2), 1e-3)
        << c.bitmap1 << c.sprite1 << c.bitmap2 << c.sprite2;
  }
  // A quarter of the pixels black against white, the rest steady.
  layers = std::make_unique<LayerPlanes>();
  for (int i = 0; i < PixelCount; i += 4) layers->Bitmap1Bits[i] = 1;
  EXPECT_NEAR(InterlaceFlicker(*layers, roles), 25, 1e-3);
}

}  // namespace
}  // namespace vantrel
