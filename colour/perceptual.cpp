// CIELAB conversion, flicker and the blurred measure over whole windows.
#include "colour/perceptual.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "colour/cielab.h"
#include "colour/palettes.h"
#include "core/float4.h"
#include "core/srgb.h"

namespace vantrel {
namespace {

std::array<float, 256> MakeLinearTable() {
  std::array<float, 256> table{};
  for (int v = 0; v < 256; ++v) {
    table[v] = static_cast<float>(SrgbDecode(v / 255.0));
  }
  return table;
}

std::array<float, 7> MakeBlurWeights() {
  std::array<double, 7> w{};
  double sum = 0;
  for (int k = -3; k <= 3; ++k) sum += w[k + 3] = std::exp(-0.5 * k * k);
  std::array<float, 7> weights{};
  for (int k = 0; k < 7; ++k) weights[k] = static_cast<float>(w[k] / sum);
  return weights;
}

}  // namespace

const std::array<float, 256>& LinearTable() {
  static const std::array<float, 256> table = MakeLinearTable();
  return table;
}

float SrgbToLinear(std::uint8_t value) { return LinearTable()[value]; }

LabColour SrgbToLab(unsigned red, unsigned green, unsigned blue) {
  const double r = SrgbToLinear(red & 0xFF), g = SrgbToLinear(green & 0xFF),
               b = SrgbToLinear(blue & 0xFF);
  // sRGB primaries to XYZ, then relative to the D65 white.
  using namespace cielab;
  const auto row = [&](const double(&m)[3]) { return m[0] * r + m[1] * g + m[2] * b; };
  const double x = row(SrgbToXyz[0]) / WhiteX, y = row(SrgbToXyz[1]),
               z = row(SrgbToXyz[2]) / WhiteZ;
  const double fx = Companded(x), fy = Companded(y), fz = Companded(z);
  return {static_cast<float>(116 * fy - 16), static_cast<float>(500 * (fx - fy)),
          static_cast<float>(200 * (fy - fz))};
}

const std::array<float, 7>& BlurWeights() {
  static const std::array<float, 7> weights = MakeBlurWeights();
  return weights;
}

namespace {

// The seven taps around the fourth, for four neighbouring outputs; p[k] points at the four
// values of tap k. The kernel is symmetric, so opposite taps are added before they are
// weighted.
inline Float4 Taps(const std::array<float, 7>& w, const float* const p[7]) {
  const auto at = [&](int k) { return Load4(p[k]); };
  return (w[0] * (at(0) + at(6)) + w[1] * (at(1) + at(5))) +
         (w[2] * (at(2) + at(4)) + w[3] * at(3));
}

}  // namespace

void BlurPlane(const FloatPlane& in, FloatPlane& out, FloatPlane& scratch) {
  const std::array<float, 7>& w = BlurWeights();
  static_assert(WindowWidth % 4 == 0, "rows go four pixels at a time");
  alignas(16) std::array<float, WindowWidth + 8> row{};  // one row with its edges repeated
  for (int y = 0; y < WindowHeight; ++y) {
    const float* src = in.data() + y * WindowWidth;
    std::copy(src, src + WindowWidth, row.begin() + 3);
    for (int k = 0; k < 3; ++k) {
      row[k] = src[0];
      row[WindowWidth + 3 + k] = src[WindowWidth - 1];
    }
    float* dst = scratch.data() + y * WindowWidth;
    for (int x = 0; x < WindowWidth; x += 4) {
      const float* const p[7] = {&row[x],     &row[x + 1], &row[x + 2], &row[x + 3],
                                 &row[x + 4], &row[x + 5], &row[x + 6]};
      Store4(dst + x, Taps(w, p));
    }
  }
  for (int y = 0; y < WindowHeight; ++y) {
    const float* rows[7];
    for (int k = -3; k <= 3; ++k) {
      rows[k + 3] = scratch.data() + std::clamp(y + k, 0, WindowHeight - 1) * WindowWidth;
    }
    float* dst = out.data() + y * WindowWidth;
    for (int x = 0; x < WindowWidth; x += 4) {
      const float* const p[7] = {rows[0] + x, rows[1] + x, rows[2] + x, rows[3] + x,
                                 rows[4] + x, rows[5] + x, rows[6] + x};
      Store4(dst + x, Taps(w, p));
    }
  }
}

void ToLabPlanes(const PackedRGB* words, int stride, LabPlanes& out) {
  for (int y = 0; y < WindowHeight; ++y) {
    const PackedRGB* row = words + static_cast<std::ptrdiff_t>(y) * stride;
    for (int x = 0; x < WindowWidth; ++x) {
      const LabColour c = PackedRgbToLab(row[x]);
      const int i = y * WindowWidth + x;
      out.L[i] = c.L;
      out.a[i] = c.a;
      out.b[i] = c.b;
    }
  }
}

void BlurLabPlanes(LabPlanes& planes, FloatPlane& scratch) {
  BlurPlane(planes.L, planes.L, scratch);
  BlurPlane(planes.a, planes.a, scratch);
  BlurPlane(planes.b, planes.b, scratch);
}

std::array<float, 4> RowDeltaE(const float* firstL, const float* firstA, const float* firstB,
                               const float* secondL, const float* secondA, const float* secondB,
                               int width) {
  Float4 lanes = Splat4(0);
  for (int x = 0; x < width; x += 4) {
    const Float4 dL = Load4(firstL + x) - Load4(secondL + x);
    const Float4 da = Load4(firstA + x) - Load4(secondA + x);
    const Float4 db = Load4(firstB + x) - Load4(secondB + x);
    lanes += Sqrt4((dL * dL + da * da) + db * db);
  }
  return {lanes[0], lanes[1], lanes[2], lanes[3]};
}

double MeanDeltaE(const LabPlanes& first, const LabPlanes& second) {
  double total = 0;
  for (int i = 0; i < PixelCount; i += WindowWidth) {
    const std::array<float, 4> lanes =
        RowDeltaE(&first.L[i], &first.a[i], &first.b[i], &second.L[i], &second.a[i], &second.b[i],
                  WindowWidth);
    total +=
        (static_cast<double>(lanes[0]) + lanes[1]) + (static_cast<double>(lanes[2]) + lanes[3]);
  }
  return total / PixelCount;
}

double PerceivedError(const PackedRGB* source, const PackedRGB* preview, int previewStride) {
  struct Planes {
    LabPlanes source, preview;
    FloatPlane scratch;
  };
  const auto planes = std::make_unique<Planes>();
  ToLabPlanes(source, WindowWidth, planes->source);
  ToLabPlanes(preview, previewStride, planes->preview);
  BlurLabPlanes(planes->source, planes->scratch);
  BlurLabPlanes(planes->preview, planes->scratch);
  return MeanDeltaE(planes->source, planes->preview);
}

double InterlaceFlicker(const LayerPlanes& layers, const ColourRoleSet& roles,
                        const ColourModel& model) {
  const std::array<TColor, 16>& palette = PaletteColours(model.palette);
  std::array<float, RoleCount> lightness{};
  for (int role = 0; role < RoleCount; ++role) {
    lightness[role] = TColorToLab(palette[roles[role] & 0x0F]).L;
  }
  double total = 0;
  for (int i = 0; i < PixelCount; ++i) {
    // A set sprite pixel covers the bitmap; with neither the frame shows the background.
    const int first = layers.Sprite1Bits[i] ? 2 : (layers.Bitmap1Bits[i] ? 1 : 0);
    const int second = layers.Sprite2Bits[i] ? 4 : (layers.Bitmap2Bits[i] ? 3 : 0);
    total += std::fabs(lightness[first] - lightness[second]);
  }
  return total / PixelCount;
}

double InterlaceFlicker(const LayerPlanes& layers, const ColourRoleSet& roles,
                        const CellColours& cells, const ColourModel& model) {
  const std::array<TColor, 16>& palette = PaletteColours(model.palette);
  std::array<float, 16> lightness{};
  for (int c = 0; c < 16; ++c) lightness[c] = TColorToLab(palette[c]).L;
  double total = 0;
  for (int i = 0; i < PixelCount; ++i) {
    const CellColourSet& cell = cells[CellOf(i % WindowWidth, i / WindowWidth)];
    const int first = layers.Sprite1Bits[i]   ? roles.Sprite1Colour & 0x0F
                      : layers.Bitmap1Bits[i] ? cell.Bitmap1Colour
                                              : cell.Background1Colour;
    const int second = layers.Sprite2Bits[i]   ? roles.Sprite2Colour & 0x0F
                       : layers.Bitmap2Bits[i] ? cell.Bitmap2Colour
                                               : cell.Background2Colour;
    total += std::fabs(lightness[first] - lightness[second]);
  }
  return total / PixelCount;
}

}  // namespace vantrel
