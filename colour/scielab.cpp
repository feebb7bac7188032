// The opponent transform, the separable Gaussian sums and the CIELAB difference.
#include "colour/scielab.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

#include "colour/cielab.h"
#include "colour/perceptual.h"
#include "core/float8.h"

namespace vantrel {
namespace {

using Int8 = std::int32_t __attribute__((vector_size(32)));

// XYZ to the opponent channels: luminance, red-green, blue-yellow (the paper's matrix).
constexpr double XyzToOpponent[3][3] = {
    {0.279, 0.72, -0.107}, {-0.449, 0.29, -0.077}, {0.086, -0.59, 0.501}};

// The paper's fit of each channel's point spread: weights, and spreads in degrees of visual
// angle of the Gaussians exp(-(x^2 + y^2) / spread^2).
struct Component {
  double weight, spread;
};
const std::vector<Component> Components[3] = {{{0.921, 0.0283}, {0.105, 0.133}, {-0.108, 4.336}},
                                              {{0.531, 0.0392}, {0.330, 0.494}},
                                              {{0.488, 0.0536}, {0.371, 0.386}}};

// Taps below a thousandth of the centre are left out. No Gaussian reaches further than half a
// degree to either side: the widest (luminance, 4.3 degrees) is a slow surround that a window
// of a few degrees cannot hold; cut there it is a one-degree surround.
constexpr double TailCut = 1e-3;

// A Gaussian whose taps stay within 2 % of its centre up to its reach is taken as flat there.
constexpr double FlatWithin = 0.02;

struct Matrices {
  float toOpponent[3][3];  // linear sRGB to opponent
  float toXyz[3][3];       // opponent to XYZ relative to the white
};

const Matrices& Transforms() {
  static const Matrices m = [] {
    Matrices out{};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        double sum = 0;
        for (int k = 0; k < 3; ++k) sum += XyzToOpponent[i][k] * cielab::SrgbToXyz[k][j];
        out.toOpponent[i][j] = static_cast<float>(sum);
      }
    }
    // The inverse by cofactors, its rows divided by the white.
    const auto& a = XyzToOpponent;
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                       a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                       a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    const double white[3] = {cielab::WhiteX, 1.0, cielab::WhiteZ};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        const int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
        const double cofactor = a[r0][c0] * a[r1][c1] - a[r0][c1] * a[r1][c0];
        out.toXyz[i][j] = static_cast<float>(cofactor / det / white[i]);
      }
    }
    return out;
  }();
  return m;
}

std::array<float, 3> Opponent(float r, float g, float b) {
  const auto& m = Transforms().toOpponent;
  return {m[0][0] * r + m[0][1] * g + m[0][2] * b, m[1][0] * r + m[1][1] * g + m[1][2] * b,
          m[2][0] * r + m[2][1] * g + m[2][2] * b};
}

GaussianSum MakeChannel(const std::vector<Component>& components, double pixelsPerDegree) {
  GaussianSum sum;
  double total = 0;
  for (const Component& c : components) total += c.weight;
  const int reach = static_cast<int>(pixelsPerDegree / 2);
  for (const Component& c : components) {
    const double spread = c.spread * pixelsPerDegree;
    const int radius =
        std::min(reach, static_cast<int>(std::floor(spread * std::sqrt(-std::log(TailCut)))));
    const bool flat = std::exp(-(radius * radius) / (spread * spread)) > 1 - FlatWithin;
    std::vector<double> g(radius + 1);
    double area = 0;
    for (int t = 0; t <= radius; ++t) {
      g[t] = flat ? 1.0 : std::exp(-(t * t) / (spread * spread));
      area += t == 0 ? g[t] : 2 * g[t];
    }
    std::vector<float> taps(radius + 1);
    for (int t = 0; t <= radius; ++t) taps[t] = static_cast<float>(g[t] / area);
    sum.taps.push_back(std::move(taps));
    sum.flat.push_back(flat);
    sum.weight.push_back(static_cast<float>(c.weight / total));
  }
  return sum;
}

// One row through a symmetric kernel: `padded` holds the row with `radius` repeated edge
// pixels on either side.
VANTREL_WIDE_CLONES void HorizontalPass(const float* padded, int width, const float* taps,
                                        int radius, float* out) {
  for (int x = 0; x < width; x += 8) {
    const float* p = padded + radius + x;
    Float8 sum = taps[0] * Load8(p);
    for (int t = 1; t <= radius; ++t) sum += taps[t] * (Load8(p - t) + Load8(p + t));
    Store8(out + x, sum);
  }
}

// One output row from the rows around it (`rows[radius]` the centre, already clamped at the
// picture's edges), times `weight`, stored or added to `out`.
VANTREL_WIDE_CLONES void VerticalPass(const float* const* rows, int width, const float* taps,
                                      int radius, float weight, bool add, float* out) {
  for (int x = 0; x < width; x += 8) {
    Float8 sum = taps[0] * Load8(rows[radius] + x);
    for (int t = 1; t <= radius; ++t) {
      sum += taps[t] * (Load8(rows[radius - t] + x) + Load8(rows[radius + t] + x));
    }
    sum *= weight;
    Store8(out + x, add ? Load8(out + x) + sum : sum);
  }
}

// One row through a flat kernel of 2 * radius + 1 taps of `tap` each: a running sum.
void HorizontalBox(const float* padded, int width, float tap, int radius, float* out) {
  float sum = 0;
  for (int t = 0; t <= 2 * radius; ++t) sum += padded[t];
  for (int x = 0; x < width; ++x) {
    out[x] = sum * tap;
    sum += padded[x + 2 * radius + 1] - padded[x];
  }
}

// The running sums down the columns: `sums` holds the sum of the rows around the current one
// and moves down a row, `leaving` and `entering` the rows that drop out and come in.
VANTREL_WIDE_CLONES void VerticalBoxStep(float* sums, const float* leaving, const float* entering,
                                         int width, float scale, bool add, float* out) {
  for (int x = 0; x < width; x += 8) {
    const Float8 s = Load8(sums + x);
    Store8(out + x, add ? Load8(out + x) + s * scale : s * scale);
    Store8(sums + x, s + (Load8(entering + x) - Load8(leaving + x)));
  }
}

// CIELAB's cube root for eight values: an estimate from the float's bits (within about 3 %)
// and one Halley step (then within about 2e-5), the straight line below Delta^3.
inline Float8 Companded8(Float8 t) {
  Int8 bits;
  std::memcpy(&bits, &t, sizeof bits);
  const Int8 guess =
      __builtin_convertvector(__builtin_convertvector(bits, Float8) * (1.0f / 3.0f), Int8) +
      709921077;
  Float8 y;
  std::memcpy(&y, &guess, sizeof y);
  const Float8 cube = y * y * y;
  y = y * (cube + t + t) / (cube + cube + t);
  const Float8 line = t * static_cast<float>(1 / (3 * cielab::Delta * cielab::Delta)) +
                      static_cast<float>(cielab::LinearOffset);
  return t > static_cast<float>(cielab::Delta3) ? y : line;
}

VANTREL_WIDE_CLONES void OpponentToLab(float* o1, float* o2, float* o3, int count) {
  const auto& m = Transforms().toXyz;
  for (int i = 0; i < count; i += 8) {
    const Float8 a = Load8(o1 + i), b = Load8(o2 + i), c = Load8(o3 + i);
    const Float8 fx = Companded8(m[0][0] * a + m[0][1] * b + m[0][2] * c);
    const Float8 fy = Companded8(m[1][0] * a + m[1][1] * b + m[1][2] * c);
    const Float8 fz = Companded8(m[2][0] * a + m[2][1] * b + m[2][2] * c);
    Store8(o1 + i, 116.0f * fy - 16.0f);
    Store8(o2 + i, 500.0f * (fx - fy));
    Store8(o3 + i, 200.0f * (fy - fz));
  }
}

// The CIE76 differences along one row, in eight running sums added in a fixed order.
VANTREL_WIDE_CLONES double RowDifference(const float* const first[3], const float* const second[3],
                                         int width) {
  Float8 lanes = Splat8(0);
  for (int x = 0; x < width; x += 8) {
    const Float8 dL = Load8(first[0] + x) - Load8(second[0] + x);
    const Float8 da = Load8(first[1] + x) - Load8(second[1] + x);
    const Float8 db = Load8(first[2] + x) - Load8(second[2] + x);
    const Float8 squared = (dL * dL + da * da) + db * db;
    Float8 root;
    for (int k = 0; k < 8; ++k) root[k] = __builtin_sqrtf(squared[k]);
    lanes += root;
  }
  return ((static_cast<double>(lanes[0]) + lanes[1]) + (static_cast<double>(lanes[2]) + lanes[3])) +
         ((static_cast<double>(lanes[4]) + lanes[5]) + (static_cast<double>(lanes[6]) + lanes[7]));
}

}  // namespace

FloatPicture::FloatPicture(int width, int height) : width(width), height(height) {
  for (auto& p : plane) p.assign(static_cast<std::size_t>(width) * height, 0.0f);
}

std::array<float, 3> OpponentOf(unsigned red, unsigned green, unsigned blue) {
  return Opponent(SrgbToLinear(red & 0xFF), SrgbToLinear(green & 0xFF), SrgbToLinear(blue & 0xFF));
}

void ToOpponent(const PackedRGB* words, int stride, FloatPicture& picture) {
  const auto& linear = LinearTable();
  for (int y = 0; y < picture.height; ++y) {
    const PackedRGB* row = words + static_cast<std::ptrdiff_t>(y) * stride;
    for (int x = 0; x < picture.width; ++x) {
      const PackedRGB c = row[x];
      const auto o = Opponent(linear[(c >> 16) & 0xFF], linear[(c >> 8) & 0xFF], linear[c & 0xFF]);
      const int i = y * picture.width + x;
      for (int k = 0; k < 3; ++k) picture.plane[k][i] = o[k];
    }
  }
}

ScielabEye::ScielabEye(double pixelsPerDegree, int width, int height)
    : pixelsPerDegree_(pixelsPerDegree), width_(width), height_(height) {
  for (int c = 0; c < 3; ++c) channels_[c] = MakeChannel(Components[c], pixelsPerDegree);
  int radius = 0;
  for (const auto& channel : channels_) {
    for (const auto& taps : channel.taps) {
      radius = std::max(radius, static_cast<int>(taps.size()) - 1);
    }
  }
  row_.assign(width + 2 * radius + 1, 0.0f);
  sums_.assign(width, 0.0f);
  rows_.assign(2 * radius + 1, nullptr);
  for (auto& h : horizontal_) h.assign(static_cast<std::size_t>(width) * height, 0.0f);
  filtered_.assign(static_cast<std::size_t>(width) * height, 0.0f);
}

void ScielabEye::Filter(const std::vector<float>& in, const GaussianSum& sum,
                        std::vector<float>& out) {
  const int w = width_, h = height_;
  const int count = static_cast<int>(sum.taps.size());
  int reach = 0;
  for (const auto& taps : sum.taps) reach = std::max(reach, static_cast<int>(taps.size()) - 1);
  // Every row once into the padded buffer, then through each Gaussian that spreads.
  for (int y = 0; y < h; ++y) {
    const float* src = in.data() + y * w;
    std::copy(src, src + w, row_.begin() + reach);
    std::fill(row_.begin(), row_.begin() + reach, src[0]);
    std::fill(row_.begin() + reach + w, row_.begin() + 2 * reach + w + 1, src[w - 1]);
    for (int k = 0; k < count; ++k) {
      const int radius = static_cast<int>(sum.taps[k].size()) - 1;
      if (radius == 0) continue;
      const float* padded = row_.data() + reach - radius;
      float* target = horizontal_[k].data() + y * w;
      if (sum.flat[k]) {
        HorizontalBox(padded, w, sum.taps[k][0], radius, target);
      } else {
        HorizontalPass(padded, w, sum.taps[k].data(), radius, target);
      }
    }
  }
  for (int k = 0; k < count; ++k) {
    const float* taps = sum.taps[k].data();
    const int radius = static_cast<int>(sum.taps[k].size()) - 1;
    const bool add = k > 0;
    const float weight = sum.weight[k];
    // Narrower than a pixel: the plane itself.
    const float* plane = radius == 0 ? in.data() : horizontal_[k].data();
    const auto row = [&](int y) { return plane + std::clamp(y, 0, h - 1) * w; };
    if (radius > 0 && sum.flat[k]) {
      std::fill(sums_.begin(), sums_.end(), 0.0f);
      for (int t = -radius; t <= radius; ++t) {
        for (int x = 0; x < w; ++x) sums_[x] += row(t)[x];
      }
      for (int y = 0; y < h; ++y) {
        VerticalBoxStep(sums_.data(), row(y - radius), row(y + radius + 1), w, taps[0] * weight,
                        add, out.data() + y * w);
      }
      continue;
    }
    for (int y = 0; y < h; ++y) {
      for (int t = -radius; t <= radius; ++t) rows_[t + radius] = row(y + t);
      VerticalPass(rows_.data(), w, taps, radius, weight, add, out.data() + y * w);
    }
  }
}

void ScielabEye::Blur(FloatPicture& picture) {
  for (int c = 0; c < 3; ++c) {
    Filter(picture.plane[c], channels_[c], filtered_);
    std::swap(picture.plane[c], filtered_);
  }
}

void ScielabEye::Perceive(FloatPicture& picture) {
  Blur(picture);
  OpponentToLab(picture.plane[0].data(), picture.plane[1].data(), picture.plane[2].data(),
                width_ * height_);
}

void BlurredOpponentToLab(float* first, float* second, float* third, int count) {
  OpponentToLab(first, second, third, count);
}

double MeanLabDifference(const FloatPicture& first, const FloatPicture& second) {
  double total = 0;
  for (int y = 0; y < first.height; ++y) {
    const std::size_t i = static_cast<std::size_t>(y) * first.width;
    const float* a[3] = {&first.plane[0][i], &first.plane[1][i], &first.plane[2][i]};
    const float* b[3] = {&second.plane[0][i], &second.plane[1][i], &second.plane[2][i]};
    total += RowDifference(a, b, first.width);
  }
  return total / (static_cast<double>(first.width) * first.height);
}

double ScielabDifference(const PackedRGB* source, int sourceStride, const PackedRGB* preview,
                         int previewStride, int width, int height, double pixelsPerDegree) {
  ScielabEye eye(pixelsPerDegree, width, height);
  FloatPicture a(width, height), b(width, height);
  ToOpponent(source, sourceStride, a);
  ToOpponent(preview, previewStride, b);
  eye.Perceive(a);
  eye.Perceive(b);
  return MeanLabDifference(a, b);
}

}  // namespace vantrel
