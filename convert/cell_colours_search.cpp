// The search for colours per cell: passes over the cells, each cell scored by the change its
// dithered pixels make to S-CIELAB around it, between passes the sprite colours, and the real
// conversion measured after each.
#include "convert/cell_colours_search.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "colour/blockiness.h"
#include "colour/mix_colours.h"
#include "colour/perceptual.h"
#include "colour/scielab.h"
#include "convert/error_diffusion.h"
#include "convert/lab16.h"
#include "convert/low_flicker_dither.h"
#include "convert/nearest_mix.h"
#include "core/float8.h"

namespace vantrel {
namespace {

constexpr int Width = WindowWidth, Height = WindowHeight;
constexpr int PaletteSize = 16;
constexpr int PairCount = PaletteSize * PaletteSize;  // frame 1's colour * 16 + frame 2's
constexpr int CellPixels = CellSize * CellSize;

// What the search looks up about the mix of palette colour a in frame 1 with b in frame 2.
struct PaletteTables {
  explicit PaletteTables(const ColourModel& model) {
    for (int c = 0; c < PaletteSize; ++c) {
      const TColor colour = PaletteColour(c, model);
      lightness[c] = TColorToLab(colour).L;
      lightness16[c] = SrgbToLab16(RedOf(colour), GreenOf(colour), BlueOf(colour))[0];
    }
    for (int a = 0; a < PaletteSize; ++a) {
      for (int b = 0; b < PaletteSize; ++b) {
        // Made as every cell's mixes are made: a frame showing a, the other b.
        const TColor colourA = PaletteColour(a, model), colourB = PaletteColour(b, model);
        const FrameColours first{colourA, colourA, colourA};
        const FrameColours second{colourB, colourB, colourB};
        const int pair = a * PaletteSize + b;
        const TColor m = BuildMixTable(first, second, model)[0];
        mix[pair] = m;
        opponent[pair] = OpponentOf(RedOf(m), GreenOf(m), BlueOf(m));
        lab16[pair] = SrgbToLab16(RedOf(m), GreenOf(m), BlueOf(m));
        lab[pair] = TColorToLab(m);
        flicker[pair] = std::fabs(lightness[a] - lightness[b]);
        penalty[pair] = FlickerPenalty * std::abs(lightness16[a] - lightness16[b]);
      }
    }
  }
  std::array<TColor, PairCount> mix{};
  std::array<std::array<float, 3>, PairCount> opponent{};
  std::array<std::array<int, 3>, PairCount> lab16{};
  std::array<LabColour, PairCount> lab{};
  std::array<float, PairCount> flicker{};
  std::array<int, PairCount> penalty{};
  std::array<float, PaletteSize> lightness{};
  std::array<int, PaletteSize> lightness16{};
};

// One set of tables per colour model, made when first asked for; the threads share them.
const PaletteTables& Palette(const ColourModel& model) {
  constexpr int Models = PaletteCount * MixRuleCount;
  static std::array<std::unique_ptr<const PaletteTables>, Models> owned;
  static std::array<std::atomic<const PaletteTables*>, Models> made{};
  static std::mutex making;
  const int k = static_cast<int>(model.palette) % PaletteCount * MixRuleCount +
                static_cast<int>(model.mix) % MixRuleCount;
  const PaletteTables* tables = made[k].load(std::memory_order_acquire);
  if (!tables) {
    const std::lock_guard<std::mutex> lock(making);
    tables = made[k].load(std::memory_order_relaxed);
    if (!tables) {
      owned[k] = std::make_unique<const PaletteTables>(model);
      tables = owned[k].get();
      made[k].store(tables, std::memory_order_release);
    }
  }
  return *tables;
}

// The pair each MixCode of a cell shows.
using CellPairs = std::array<int, 9>;

CellPairs PairsOf(const CellColourSet& cell, int sprite1, int sprite2) {
  const int first[3] = {cell.Background1Colour, cell.Bitmap1Colour, sprite1};
  const int second[3] = {cell.Background2Colour, cell.Bitmap2Colour, sprite2};
  CellPairs pairs{};
  for (int code = 1; code <= 9; ++code) {
    const auto [one, two] = MixSlotLayers(code);
    pairs[code - 1] = first[one] * PaletteSize + second[two];
  }
  return pairs;
}

MixSlots TableOf(const CellPairs& pairs, const PaletteTables& palette) {
  MixSlots table{};
  for (int k = 0; k < 9; ++k) table[k] = palette.mix[pairs[k]];
  return table;
}

int RoundUp8(int n) { return (n + 7) / 8 * 8; }

// --- The eye's filters on a change confined to one cell ----------------------------------

// Each filter of ScielabEye, as it spreads a change of a cell's 8 x 8 pixels: per axis, the
// weights from each of the cell's 8 positions to the outputs around it, for a cell inside the
// picture and for one at either edge (where the filter repeats the edge pixel).
class CellSpread {
 public:
  struct Component {
    float weight = 0;
    int radius = 0;
    int span = 0;  // outputs 8 + 2 radius, padded to a multiple of 8
    // [axis 0 across, 1 down][place 0 inside, 1 first cell, 2 last cell]: [u * span + o]
    std::array<std::array<std::vector<float>, 3>, 2> weights;
  };

  explicit CellSpread(const ScielabEye& eye) {
    for (int channel = 0; channel < 3; ++channel) {
      const GaussianSum& sum = eye.Channel(channel);
      for (std::size_t k = 0; k < sum.taps.size(); ++k) {
        reach_ = std::max(reach_, static_cast<int>(sum.taps[k].size()) - 1);
      }
    }
    span_ = RoundUp8(CellSize + 2 * reach_);
    for (int channel = 0; channel < 3; ++channel) {
      const GaussianSum& sum = eye.Channel(channel);
      for (std::size_t k = 0; k < sum.taps.size(); ++k) {
        Component c;
        c.weight = sum.weight[k];
        c.radius = static_cast<int>(sum.taps[k].size()) - 1;
        c.span = RoundUp8(CellSize + 2 * c.radius);
        for (int axis = 0; axis < 2; ++axis) {
          const int size = axis == 0 ? Width : Height;
          for (int place = 0; place < 3; ++place) {
            const int start = place == 0   ? CellSize * (size / 16)
                              : place == 1 ? 0
                                           : size - CellSize;
            std::vector<float>& w = c.weights[axis][place];
            w.assign(static_cast<std::size_t>(CellSize) * c.span, 0.0f);
            for (int o = 0; o < CellSize + 2 * c.radius; ++o) {
              const int at = start - c.radius + o;
              for (int t = -c.radius; t <= c.radius; ++t) {
                const int from = std::clamp(at + t, 0, size - 1) - start;
                if (from >= 0 && from < CellSize) w[from * c.span + o] += sum.taps[k][std::abs(t)];
              }
            }
          }
        }
        channels_[channel].push_back(std::move(c));
      }
    }
  }

  int Reach() const { return reach_; }
  int Span() const { return span_; }

  // `change`: three planes of the cell's 64 pixels; `out`: three planes of Span() x Span(),
  // output (py, px) the pixel (x0 - Reach() + px, y0 - Reach() + py).
  void Spread(const float (&change)[3][CellPixels], int placeX, int placeY, float* across,
              float* const out[3]) const {
    for (int channel = 0; channel < 3; ++channel) {
      std::fill_n(out[channel], span_ * span_, 0.0f);
      for (const Component& c : channels_[channel]) {
        const float* wx = c.weights[0][placeX].data();
        const float* wy = c.weights[1][placeY].data();
        Across(change[channel], wx, c.span, across);
        Down(across, wy, c.span, c.weight, CellSize + 2 * c.radius, reach_ - c.radius, span_,
             out[channel]);
      }
    }
  }

 private:
  // across[i * span + o] = sum over u of change[i * 8 + u] * wx[u * span + o]; span is a
  // multiple of 8.
  VANTREL_WIDE_CLONES static void Across(const float* change, const float* wx, int span,
                                         float* across) {
    for (int i = 0; i < CellSize; ++i) {
      for (int o = 0; o < span; o += 8) {
        Float8 sum = Float8{} + 0.0f;
        for (int u = 0; u < CellSize; ++u)
          sum += change[i * CellSize + u] * Load8(wx + u * span + o);
        Store8(across + i * span + o, sum);
      }
    }
  }

  // out[(offset + p) * outSpan + offset + o] += weight * sum over i of wy[i * span + p] *
  // across[i * span + o], for p < outputs: row p of the outputs gets the cell rows the filter
  // reaches it from.
  VANTREL_WIDE_CLONES static void Down(const float* across, const float* wy, int span, float weight,
                                       int outputs, int offset, int outSpan, float* out) {
    for (int p = 0; p < outputs; ++p) {
      float* row = out + (offset + p) * outSpan + offset;
      float c[CellSize];
      int first = CellSize, last = -1;
      for (int i = 0; i < CellSize; ++i) {
        c[i] = weight * wy[i * span + p];
        if (c[i] != 0) first = std::min(first, i), last = i;
      }
      for (int o = 0; o < span; o += 8) {
        Float8 sum = Load8(row + o);
        for (int i = first; i <= last; ++i) sum += c[i] * Load8(across + i * span + o);
        Store8(row + o, sum);
      }
    }
  }

  int reach_ = 0, span_ = 0;
  std::array<std::vector<Component>, 3> channels_;
};

// The blockiness measure compares the mean step of the lightness error across cell borders with
// the mean inside cells; the search weighs the sum of the border steps against this share of
// the sum inside, the border pairs' count over the inside pairs' (about 0.137).
constexpr int BorderPairs = (CellColumns - 1) * Height + (CellRows - 1) * Width;
constexpr int InsidePairs = (Width - 1) * Height + Width * (Height - 1) - BorderPairs;
constexpr double InsideShare = static_cast<double>(BorderPairs) / InsidePairs;
// The steps of a* and b* count this much beside those of L*: cells of one tint beside cells
// of another show on smooth ground even where their lightness agrees.
constexpr double TintSteps = 0.5;
// Working memory of one thread.
struct Scratch {
  explicit Scratch(int span) {
    for (auto& p : spread) p.assign(static_cast<std::size_t>(span) * span, 0.0f);
    for (auto& p : lab) p.assign(static_cast<std::size_t>(span) * span + 8, 0.0f);
    across.assign(static_cast<std::size_t>(CellSize) * span, 0.0f);
    for (auto& p : difference) p.assign(static_cast<std::size_t>(span) * span, 0.0f);
    error = difference[0];
    before.assign(static_cast<std::size_t>(span + 2) * (span + 2), 0.0f);
    after = before;
  }
  std::array<std::vector<float>, 3> spread, lab, difference;
  std::vector<float> across, error, before, after;
};

// to[x] = a[x] + b[x] (`to` may be `a`).
VANTREL_WIDE_CLONES void AddRow(const float* a, const float* b, float* to, int count) {
  int x = 0;
  for (; x + 8 <= count; x += 8) Store8(to + x, Load8(a + x) + Load8(b + x));
  for (; x < count; ++x) to[x] = a[x] + b[x];
}

// The CIE76 differences of a row, each into `error` and the differences of L*, a* and b* into
// `difference`; returns their sum.
VANTREL_WIDE_CLONES double ErrorRow(const float* const lab[3], const float* const source[3],
                                    float* const difference[3], float* error, int count) {
  double sum = 0;
  int x = 0;
  for (; x + 8 <= count; x += 8) {
    const Float8 dL = Load8(lab[0] + x) - Load8(source[0] + x);
    const Float8 da = Load8(lab[1] + x) - Load8(source[1] + x);
    const Float8 db = Load8(lab[2] + x) - Load8(source[2] + x);
    const Float8 squared = (dL * dL + da * da) + db * db;
    Float8 root;
    for (int k = 0; k < 8; ++k) root[k] = __builtin_sqrtf(squared[k]);
    Store8(difference[0] + x, dL);
    Store8(difference[1] + x, da);
    Store8(difference[2] + x, db);
    Store8(error + x, root);
    for (int k = 0; k < 8; ++k) sum += root[k];
  }
  for (; x < count; ++x) {
    const float dL = lab[0][x] - source[0][x], da = lab[1][x] - source[1][x],
                db = lab[2][x] - source[2][x];
    difference[0][x] = dL, difference[1][x] = da, difference[2][x] = db;
    error[x] = __builtin_sqrtf((dL * dL + da * da) + db * db);
    sum += error[x];
  }
  return sum;
}

inline Float8 Absolute8(Float8 v) {
  using Bits8 = std::int32_t __attribute__((vector_size(32)));
  return reinterpret_cast<Float8>(reinterpret_cast<Bits8>(v) & 0x7fffffff);
}

// The sum over `count` places of |now[x + step] - now[x]| - |was[x + step] - was[x]|.
VANTREL_WIDE_CLONES double StepSum(const float* was, const float* now, int step, int count) {
  Float8 sums{};
  int x = 0;
  for (; x + 8 <= count; x += 8) {
    sums += Absolute8(Load8(now + x + step) - Load8(now + x)) -
            Absolute8(Load8(was + x + step) - Load8(was + x));
  }
  double sum = 0;
  for (int k = 0; k < 8; ++k) sum += sums[k];
  for (; x < count; ++x)
    sum += std::fabs(now[x + step] - now[x]) - std::fabs(was[x + step] - was[x]);
  return sum;
}

// The sum of `count` floats.
VANTREL_WIDE_CLONES double RowSum(const float* values, int count) {
  Float8 sums{};
  int x = 0;
  for (; x + 8 <= count; x += 8) sums += Load8(values + x);
  double sum = 0;
  for (int k = 0; k < 8; ++k) sum += sums[k];
  for (; x < count; ++x) sum += values[x];
  return sum;
}

// The eye at one distance over the whole window: the photo as it sees it, and the preview on
// show blurred (before CIELAB) with the error at every pixel, kept up to date as cells change.
class EyeState {
 public:
  EyeState(double pixelsPerDegree, const FloatPicture& sourceOpponent)
      : eye_(pixelsPerDegree, Width, Height),
        spread_(eye_),
        source_(sourceOpponent),
        blurred_(Width, Height),
        error_(PixelCount, 0.0f) {
    for (auto& plane : difference_) plane.assign(PixelCount, 0.0f);
    eye_.Perceive(source_);
  }

  int Span() const { return spread_.Span(); }
  // The blockiness of the preview on show, as seen from this distance.
  double Blockiness() const { return BlockinessOfError(difference_[0].data(), Width, Height); }

  // The preview's opponent planes: blurs them and measures every pixel. Returns S-CIELAB.
  double Reset(const FloatPicture& previewOpponent) {
    blurred_ = previewOpponent;
    eye_.Blur(blurred_);
    FloatPicture lab = blurred_;
    BlurredOpponentToLab(lab.plane[0].data(), lab.plane[1].data(), lab.plane[2].data(), PixelCount);
    for (int i = 0; i < PixelCount; ++i) {
      const float dL = lab.plane[0][i] - source_.plane[0][i];
      const float da = lab.plane[1][i] - source_.plane[1][i];
      const float db = lab.plane[2][i] - source_.plane[2][i];
      error_[i] = std::sqrt(dL * dL + da * da + db * db);
      difference_[0][i] = dL, difference_[1][i] = da, difference_[2][i] = db;
    }
    return MeanLabDifference(source_, lab);
  }

  // How much the sum of the errors changes when the cell's pixels change by `change` in the
  // opponent channels, and the sum of the steps of the error across cell borders (of L* as
  // Blockiness measures it, and of a* and b*, TintSteps times); with `commit`, the change is
  // made.
  struct Changes {
    double error = 0, steps = 0;
  };
  Changes Change(int cell, const float (&change)[3][CellPixels], Scratch& s, bool commit,
                 bool withSteps) {
    const int x0 = cell % CellColumns * CellSize, y0 = cell / CellColumns * CellSize;
    const int placeX = x0 == 0 ? 1 : x0 + CellSize == Width ? 2 : 0;
    const int placeY = y0 == 0 ? 1 : y0 + CellSize == Height ? 2 : 0;
    float* const out[3] = {s.spread[0].data(), s.spread[1].data(), s.spread[2].data()};
    spread_.Spread(change, placeX, placeY, s.across.data(), out);
    const int reach = spread_.Reach(), span = spread_.Span();
    const int left = std::max(0, x0 - reach), right = std::min(Width, x0 + CellSize + reach);
    const int top = std::max(0, y0 - reach), bottom = std::min(Height, y0 + CellSize + reach);
    const int columns = right - left;
    int n = 0;
    for (int y = top; y < bottom; ++y, n += columns) {
      const int row = (y - y0 + reach) * span - x0 + reach + left;
      for (int c = 0; c < 3; ++c) {
        AddRow(blurred_.plane[c].data() + y * Width + left, out[c] + row, s.lab[c].data() + n,
               columns);
      }
    }
    const int count = RoundUp8(n);
    for (int c = 0; c < 3; ++c) std::fill(s.lab[c].begin() + n, s.lab[c].begin() + count, 0.0f);
    BlurredOpponentToLab(s.lab[0].data(), s.lab[1].data(), s.lab[2].data(), count);
    double before = 0, after = 0;
    n = 0;
    for (int y = top; y < bottom; ++y, n += columns) {
      const int i = y * Width + left;
      const float* lab[3] = {s.lab[0].data() + n, s.lab[1].data() + n, s.lab[2].data() + n};
      const float* source[3] = {source_.plane[0].data() + i, source_.plane[1].data() + i,
                                source_.plane[2].data() + i};
      float* const difference[3] = {s.difference[0].data() + n, s.difference[1].data() + n,
                                    s.difference[2].data() + n};
      after += ErrorRow(lab, source, difference, s.error.data() + n, columns);
      before += RowSum(error_.data() + i, columns);
    }
    Changes result{after - before, 0};
    if (withSteps) result.steps = StepsChange(left, right, top, bottom, s);
    if (commit) {
      n = 0;
      for (int y = top; y < bottom; ++y, n += columns) {
        const int i = y * Width + left;
        std::copy_n(s.error.data() + n, columns, error_.data() + i);
        for (int c = 0; c < 3; ++c) {
          std::copy_n(s.difference[c].data() + n, columns, difference_[c].data() + i);
        }
        const int row = (y - y0 + reach) * span - x0 + reach + left;
        for (int c = 0; c < 3; ++c) {
          AddRow(blurred_.plane[c].data() + i, out[c] + row, blurred_.plane[c].data() + i, columns);
        }
      }
    }
    return result;
  }

  // Of the pairs of neighbouring pixels the change reaches, the steps of the error across
  // cell borders less InsideShare times those inside cells: how the sum the blockiness measure
  // compares changes, for L*, plus TintSteps times the same for a* and b*. `s.difference`
  // holds the region's new differences.
  double StepsChange(int left, int right, int top, int bottom, Scratch& s) const {
    double change = 0;
    for (int c = 0; c < 3; ++c) {
      change += (c == 0 ? 1.0 : TintSteps) * StepsChange(c, left, right, top, bottom, s);
    }
    return change;
  }

  double StepsChange(int channel, int left, int right, int top, int bottom, Scratch& s) const {
    // The region with a margin of one pixel of unchanged errors on each side (where the
    // picture has one): the pairs that reach out of the region change at their end inside.
    const int x0 = std::max(left - 1, 0), x1 = std::min(right + 1, Width);
    const int y0 = std::max(top - 1, 0), y1 = std::min(bottom + 1, Height);
    const int w = x1 - x0, columns = right - left;
    const std::vector<float>& shown = difference_[channel];
    const std::vector<float>& tried = s.difference[channel];
    float* const was = s.before.data();
    float* const now = s.after.data();
    for (int y = y0; y < y1; ++y) {
      float* const wasRow = was + (y - y0) * w;
      float* const nowRow = now + (y - y0) * w;
      std::copy_n(shown.data() + y * Width + x0, w, wasRow);
      std::copy_n(wasRow, w, nowRow);
      if (y >= top && y < bottom) {
        std::copy_n(tried.data() + (y - top) * columns, columns, nowRow + left - x0);
      }
    }
    // Each row's steps across, the border pairs (x + 1 a multiple of CellSize) counted whole
    // and the others -InsideShare times; then the steps down to the next row, weighed alike.
    double change = 0;
    for (int y = y0; y < y1; ++y) {
      const float* a = was + (y - y0) * w;
      const float* b = now + (y - y0) * w;
      double border = 0;
      for (int x = (x0 / CellSize + 1) * CellSize - 1; x + 1 < x1; x += CellSize) {
        border += std::fabs(b[x - x0 + 1] - b[x - x0]) - std::fabs(a[x - x0 + 1] - a[x - x0]);
      }
      change += (1 + InsideShare) * border - InsideShare * StepSum(a, b, 1, w - 1);
      if (y + 1 >= y1) continue;
      const double weight = (y + 1) % CellSize == 0 ? 1.0 : -InsideShare;
      change += weight * StepSum(a, b, w, w);
    }
    return change;
  }

 private:
  ScielabEye eye_;
  CellSpread spread_;
  FloatPicture source_;   // CIELAB, as the eye sees the photo
  FloatPicture blurred_;  // the preview's opponent planes, blurred
  std::vector<float> error_;
  // The preview's L*, a* and b* minus the photo's.
  std::array<std::vector<float>, 3> difference_;
};

// --- The window, its cells and the conversion ------------------------------------------------

// A cell's colours as an estimate sees them: its pixels' colours grouped into boxes of 3 bits
// per channel, each box's cost against every mix (CIELAB distance plus the goal's weight times
// the mix's flicker), weighted by its pixels. It ignores the dithering, which the search
// measures; it only ranks the colours worth dithering with.
class CellEstimate {
 public:
  CellEstimate(const PackedRGB* adjusted, int cell, float lambda, const ColourModel& model) {
    const int x0 = cell % CellColumns * CellSize, y0 = cell / CellColumns * CellSize;
    std::vector<std::pair<int, std::array<unsigned, 4>>> boxes;
    for (int y = y0; y < y0 + CellSize; ++y) {
      for (int x = x0; x < x0 + CellSize; ++x) {
        const PackedRGB c = adjusted[y * Width + x];
        const int box = static_cast<int>(((c >> 15) & 0x1C0) | ((c >> 10) & 0x38) | ((c >> 5) & 7));
        auto found = std::find_if(boxes.begin(), boxes.end(),
                                  [box](const auto& b) { return b.first == box; });
        if (found == boxes.end()) {
          boxes.push_back({box, {0, 0, 0, 0}});
          found = boxes.end() - 1;
        }
        found->second[0] += (c >> 16) & 0xFF;
        found->second[1] += (c >> 8) & 0xFF;
        found->second[2] += c & 0xFF;
        ++found->second[3];
      }
    }
    const PaletteTables& p = Palette(model);
    for (const auto& [box, sums] : boxes) {
      const unsigned n = sums[3];
      const LabColour lab =
          SrgbToLab((sums[0] + n / 2) / n, (sums[1] + n / 2) / n, (sums[2] + n / 2) / n);
      for (int pair = 0; pair < PairCount; ++pair) {
        const float dL = lab.L - p.lab[pair].L, da = lab.a - p.lab[pair].a,
                    db = lab.b - p.lab[pair].b;
        cost_.push_back(static_cast<float>(n) *
                        (std::sqrt(dL * dL + da * da + db * db) + lambda * p.flicker[pair]));
      }
    }
  }

  float Cost(const CellPairs& pairs) const {
    float total = 0;
    for (std::size_t row = 0; row < cost_.size(); row += PairCount) {
      float best = cost_[row + pairs[0]];
      for (int k = 1; k < 9; ++k) best = std::min(best, cost_[row + pairs[k]]);
      total += best;
    }
    return total;
  }

 private:
  std::vector<float> cost_;  // per box, per pair
};

// The four colours of a cell by number: background 1, bitmap 1, background 2, bitmap 2.
std::uint8_t& Colour(CellColourSet& cell, int which) {
  return which == 0   ? cell.Background1Colour
         : which == 1 ? cell.Bitmap1Colour
         : which == 2 ? cell.Background2Colour
                      : cell.Bitmap2Colour;
}
int Colour(const CellColourSet& cell, int which) {
  return Colour(const_cast<CellColourSet&>(cell), which);
}

// The real conversion of the window with colours per cell, and which pair every pixel shows.
class Conversion {
 public:
  Conversion(const PackedRGB* adjusted, Dithering dithering, const ColourModel& model)
      : dithering_(dithering), model_(model), paletteTables_(Palette(model)) {
    for (int i = 0; i < PixelCount; ++i) {
      adjusted_.red[i] = (adjusted[i] >> 16) & 0xFF;
      adjusted_.green[i] = (adjusted[i] >> 8) & 0xFF;
      adjusted_.blue[i] = adjusted[i] & 0xFF;
    }
    ToLabPlanes16(adjusted_, lab_);
  }

  const ColourPlanes& Adjusted() const { return adjusted_; }
  const ColourModel& Model() const { return model_; }
  const PaletteTables& Tables() const { return paletteTables_; }
  const LabPlanes16& Lab() const { return lab_; }

  // Converts and fills `pairs` (the pair every pixel shows).
  void Convert(const CellColours& cells, const ColourRoleSet& roles, std::vector<int>& pairs) {
    BuildCellMixTables(cells, roles, *tables_, model_);
    if (dithering_ == Dithering::LowFlicker) {
      const std::vector<LowFlickerSlots> slots =
          MakeCellLowFlickerSlots(*tables_, cells, roles, model_);
      LowFlickerDitherCells(lab_.L.data(), lab_.a.data(), lab_.b.data(), Width, Height,
                            slots.data(), codes_.data(), nullptr);
    } else {
      work_ = adjusted_;
      DiffuseErrorsCells(work_, *tables_, dithering_ == Dithering::FloydSteinberg, codes_, nullptr);
    }
    pairs.resize(PixelCount);
    for (int cell = 0; cell < CellCount; ++cell) {
      const CellPairs p = PairsOf(cells[cell], roles.Sprite1Colour, roles.Sprite2Colour);
      const int x0 = cell % CellColumns * CellSize, y0 = cell / CellColumns * CellSize;
      for (int y = y0; y < y0 + CellSize; ++y) {
        for (int x = x0; x < x0 + CellSize; ++x)
          pairs[y * Width + x] = p[codes_[y * Width + x] - 1];
      }
    }
  }

 private:
  Dithering dithering_;
  ColourModel model_;
  const PaletteTables& paletteTables_;
  ColourPlanes adjusted_, work_;
  LabPlanes16 lab_;
  MixCodes codes_{};
  std::unique_ptr<CellMixSlots> tables_ = std::make_unique<CellMixSlots>();
};

// The preview's opponent planes from the pair every pixel shows.
void PreviewOpponent(const std::vector<int>& pairs, FloatPicture& picture,
                     const ColourModel& model) {
  const PaletteTables& p = Palette(model);
  for (int i = 0; i < PixelCount; ++i) {
    for (int c = 0; c < 3; ++c) picture.plane[c][i] = p.opponent[pairs[i]][c];
  }
}

double FlickerOf(const std::vector<int>& pairs, const ColourModel& model) {
  const PaletteTables& p = Palette(model);
  double total = 0;
  for (const int pair : pairs) total += p.flicker[pair];
  return total / PixelCount;
}

// --- The conversion's dithering, replayed where a cell changes ------------------------------

// Every pixel's dithering follows from its input and the errors of the pixels before it, so
// with every pixel's error kept, the conversion can be replayed over any part of the window
// exactly as it ran. Floyd-Steinberg's planes are one run of bytes: pixel i gets e(i - 193),
// 5 e(i - 192), 3 e(i - 191) and 7 e(i - 1), added in that order, each clamped on its own
// (which is also how the shares round the side edges arrive). The low-flicker dithering adds
// its shares from the left and the row above (none round the edges) and bounds the sum.
//
// A cell's colours change its own pixels, those after it in its rows, and through the shares
// below left the pixels of the cell on its left down a diagonal: in row k of the cell, the
// last k pixels of that cell. The search replays that window, the cell and one column of the
// next, whose share below left the cell's last column gets; what lies beyond keeps the errors
// it has until its own cell's turn.
constexpr int WindowRows = CellSize, WindowColumns = 2 * CellSize + 1;  // x0 - 7 .. x0 + 8

struct Replay {
  int x0 = 0, y0 = 0;
  // Per window pixel, (row, x - x0 + 7): its pair, its error per channel, its lightness error.
  int pair[WindowRows][WindowColumns];
  int error[WindowRows][WindowColumns][3];
  int lightness[WindowRows][WindowColumns];
  int first[WindowRows], last[WindowRows];  // the window's columns of each row, x - x0 + 7
};

class DitherReplay {
 public:
  DitherReplay(const Conversion& conversion, Dithering dithering)
      : conversion_(conversion), dithering_(dithering) {
    for (auto& e : error_) e.assign(PixelCount, 0);
    lightness_.assign(PixelCount, 0);
  }

  // The three cells a window touches, their pairs: the one on the left, the one replayed,
  // the one on the right (as they are: the left one chosen, the right one still to choose).
  struct Sets {
    CellPairs left, own, right;
  };

  // The whole window, from the start: every pixel's pair and error as the conversion made them
  // with `cellPairs`. Returns the pairs.
  void ReplayAll(const std::vector<CellPairs>& cellPairs, std::vector<int>& pairs) {
    pairs.assign(PixelCount, 0);
    for (int y = 0; y < Height; ++y) {
      for (int x = 0; x < Width; ++x) {
        const int i = y * Width + x;
        const CellPairs& p = cellPairs[CellOf(x, y)];
        int e[3], light = 0;
        const int code = Pixel(
            x, y, TableChannels(p), p, [&](int d, int c) { return error_[c][i - d]; },
            [&](int d) { return lightness_[i - d]; }, e, light);
        pairs[i] = p[code - 1];
        for (int c = 0; c < 3; ++c) error_[c][i] = e[c];
        lightness_[i] = light;
      }
    }
  }

  void Window(int cell, const Sets& sets, Replay& r) const {
    r.x0 = cell % CellColumns * CellSize;
    r.y0 = cell / CellColumns * CellSize;
    const bool chained = dithering_ != Dithering::None;
    const MixChannels mixes[3] = {TableChannels(sets.left), TableChannels(sets.own),
                                  TableChannels(sets.right)};
    const CellPairs* pairs[3] = {&sets.left, &sets.own, &sets.right};
    for (int row = 0; row < WindowRows; ++row) {
      r.first[row] = chained ? std::max(0, r.x0 - row) - r.x0 + 7 : 7;
      r.last[row] = chained ? std::min(Width - 1, r.x0 + CellSize) - r.x0 + 7 : 14;
    }
    // Floyd-Steinberg's shares round the side edges reach pixels far off in the planes; the
    // cells there look them up one by one, the others in a grid around the window.
    if (dithering_ == Dithering::FloydSteinberg && (r.x0 == 0 || r.x0 + CellSize == Width)) {
      WindowAtTheEdge(mixes, pairs, r);
    } else {
      WindowInside(mixes, pairs, r);
    }
  }

  // What the last column passes round the edge as a pass starts: the first cell of a row reads
  // it for the rows above its own, while the other thread may be choosing the cell it comes
  // from, so it reads it as the pass found it.
  void KeepEdge() {
    for (int c = 0; c < 3; ++c) {
      for (int y = 0; y < Height; ++y) edge_[c][y] = error_[c][y * Width + Width - 1];
    }
  }

  // The window's replay made the state's.
  void Commit(const Replay& r, std::vector<int>& pairs) {
    for (int row = 0; row < WindowRows; ++row) {
      for (int col = r.first[row]; col <= r.last[row]; ++col) {
        const int i = (r.y0 + row) * Width + r.x0 + col - 7;
        pairs[i] = r.pair[row][col];
        for (int c = 0; c < 3; ++c) error_[c][i] = r.error[row][col][c];
        lightness_[i] = r.lightness[row][col];
      }
    }
  }

 private:
  MixChannels TableChannels(const CellPairs& pairs) const {
    return MixChannels(TableOf(pairs, conversion_.Tables()));
  }

  // The window with every pixel before each looked up in the planes or the replay.
  void WindowAtTheEdge(const MixChannels (&mixes)[3], const CellPairs* const (&pairs)[3],
                       Replay& r) const {
    const auto inWindow = [&](int j) {
      const int jy = j / Width - r.y0, jc = j % Width - r.x0 + 7;
      return jy >= 0 && jy < WindowRows && jc >= r.first[jy] && jc <= r.last[jy];
    };
    for (int row = 0; row < WindowRows; ++row) {
      const int y = r.y0 + row;
      for (int col = r.first[row]; col <= r.last[row]; ++col) {
        const int x = r.x0 + col - 7, i = y * Width + x;
        const int which = x < r.x0 ? 0 : x < r.x0 + CellSize ? 1 : 2;
        const auto errorAt = [&](int d, int c) {
          const int j = i - d;
          if (inWindow(j)) return r.error[j / Width - r.y0][j % Width - r.x0 + 7][c];
          if (r.x0 == 0 && j >= 0 && j < r.y0 * Width && j % Width == Width - 1) {
            return edge_[c][j / Width];
          }
          return error_[c][j];
        };
        const auto lightAt = [&](int d) {
          const int j = i - d;
          return inWindow(j) ? r.lightness[j / Width - r.y0][j % Width - r.x0 + 7] : lightness_[j];
        };
        int light = 0;
        const int code =
            Pixel(x, y, mixes[which], *pairs[which], errorAt, lightAt, r.error[row][col], light);
        r.pair[row][col] = (*pairs[which])[code - 1];
        r.lightness[row][col] = light;
      }
    }
  }

  // The window with the pixels it reads around it copied into a grid first: rows y0 - 1 ..
  // y0 + 7, columns x0 - 8 .. x0 + 9; none lies beyond the picture's side edges but as zeros,
  // which the rules add as nothing.
  static constexpr int GridRows = WindowRows + 1, GridColumns = WindowColumns + 2;

  void WindowInside(const MixChannels (&mixes)[3], const CellPairs* const (&pairs)[3],
                    Replay& r) const {
    int error[GridRows][GridColumns][3];
    int light[GridRows][GridColumns];
    for (int gr = 0; gr < GridRows; ++gr) {
      const int y = r.y0 - 1 + gr;
      for (int gc = 0; gc < GridColumns; ++gc) {
        const int x = r.x0 - 8 + gc;
        const bool inside = y >= 0 && x >= 0 && x < Width;
        for (int c = 0; c < 3; ++c) error[gr][gc][c] = inside ? error_[c][y * Width + x] : 0;
        light[gr][gc] = inside ? lightness_[y * Width + x] : 0;
      }
    }
    for (int row = 0; row < WindowRows; ++row) {
      const int y = r.y0 + row, gr = row + 1;
      for (int col = r.first[row]; col <= r.last[row]; ++col) {
        const int x = r.x0 + col - 7, gc = col + 1;
        const int which = x < r.x0 ? 0 : x < r.x0 + CellSize ? 1 : 2;
        // d back: 1 the pixel on the left, Width - 1, Width and Width + 1 those above it.
        const auto at = [&](int d, int& dr, int& dc) {
          dr = d == 1 ? 0 : 1;
          dc = d == 1 ? 1 : d - Width;
        };
        const auto errorAt = [&](int d, int c) {
          int dr, dc;
          at(d, dr, dc);
          return error[gr - dr][gc - dc][c];
        };
        const auto lightAt = [&](int d) {
          int dr, dc;
          at(d, dr, dc);
          return light[gr - dr][gc - dc];
        };
        int e[3], l = 0;
        const int code = Pixel(x, y, mixes[which], *pairs[which], errorAt, lightAt, e, l);
        r.pair[row][col] = (*pairs[which])[code - 1];
        r.lightness[row][col] = light[gr][gc] = l;
        for (int c = 0; c < 3; ++c) r.error[row][col][c] = error[gr][gc][c] = e[c];
      }
    }
  }

  // One pixel's turn: its MixCode, its error (what it passes on) and lightness error. The
  // pixels before it are reached by how far back they lie: errorAt(d, channel), lightAt(d).
  template <typename ErrorAt, typename LightAt>
  int Pixel(int x, int y, const MixChannels& mix, const CellPairs& pairs, ErrorAt errorAt,
            LightAt lightAt, int (&e)[3], int& light) const {
    const int i = y * Width + x;
    if (dithering_ == Dithering::LowFlicker)
      return LowFlickerPixel(x, y, pairs, errorAt, lightAt, e, light);
    const ColourPlanes& in = conversion_.Adjusted();
    int v[3] = {in.red[i], in.green[i], in.blue[i]};
    if (dithering_ == Dithering::FloydSteinberg) {
      static constexpr int Offsets[4] = {193, 192, 191, 1}, Weights[4] = {1, 5, 3, 7};
      for (int k = 0; k < 4; ++k) {
        if (i - Offsets[k] < 0) continue;
        for (int c = 0; c < 3; ++c) {
          v[c] = std::clamp(v[c] + Weights[k] * errorAt(Offsets[k], c), 0, 255);
        }
      }
    }
    const int code = NearestMixCode(mix, v[0], v[1], v[2]);
    const bool dither = dithering_ == Dithering::FloydSteinberg;
    e[0] = dither ? (v[0] - mix.red[code - 1]) / 16 : 0;
    e[1] = dither ? (v[1] - mix.green[code - 1]) / 16 : 0;
    e[2] = dither ? (v[2] - mix.blue[code - 1]) / 16 : 0;
    light = 0;
    return code;
  }

  // The low-flicker dithering's rule for one pixel (see LowFlickerDither).
  template <typename ErrorAt, typename LightAt>
  int LowFlickerPixel(int x, int y, const CellPairs& pairs, ErrorAt errorAt, LightAt lightAt,
                      int (&e)[3], int& light) const {
    const int i = y * Width + x;
    const LabPlanes16& lab = conversion_.Lab();
    const int in[3] = {lab.L[i], lab.a[i], lab.b[i]};
    int w[3];
    for (int c = 0; c < 3; ++c) {
      int received = 0;
      if (x > 0) received += (7 * errorAt(1, c) + 8) >> 4;
      if (y > 0) {
        const int up = errorAt(Width, c);
        received += (5 * up + 8) >> 4;
        if (x + 1 < Width) received += (3 * errorAt(Width - 1, c) + 8) >> 4;
        if (x > 0) {
          const int from = errorAt(Width + 1, c);
          received += from - ((7 * from + 8) >> 4) - ((3 * from + 8) >> 4) - ((5 * from + 8) >> 4);
        }
      }
      w[c] = in[c] + lab16::Clamp(received, ErrorBound);
    }
    const int neighbours = 2 * in[0] + (x > 0 ? lightAt(1) : 0) + (y > 0 ? lightAt(Width) : 0);
    const PaletteTables& p = conversion_.Tables();
    unsigned best = ~0u;
    for (int k = 0; k < 9; ++k) {
      const auto& s = p.lab16[pairs[k]];
      const int dL = w[0] - s[0], da = w[1] - s[1], db = w[2] - s[2];
      const int contrast = 2 * s[0] - neighbours;
      const unsigned cost =
          static_cast<unsigned>(dL * dL + da * da + db * db + p.penalty[pairs[k]] +
                                ((contrast * contrast) >> ContrastShift));
      best = std::min(best, cost << 4 | static_cast<unsigned>(k + 1));
    }
    const int code = static_cast<int>(best & 15);
    const auto& m = p.lab16[pairs[code - 1]];
    light = m[0] - in[0];
    for (int c = 0; c < 3; ++c) e[c] = lab16::ErrorPassed(w[c] - m[c]);
    return code;
  }

  const Conversion& conversion_;
  Dithering dithering_;
  std::array<std::vector<int>, 3> error_;          // what each pixel passes on, per channel
  std::vector<int> lightness_;                     // low flicker: its slot's L minus its input's
  std::array<std::array<int, Height>, 3> edge_{};  // see KeepEdge
};

// --- The passes ---------------------------------------------------------------------------

// Candidates per cell: how many of the colours the estimate ranks best each of the four
// colours tries in the descent, after the cell's own, its neighbours' and the estimate's best.
constexpr int ColoursTried = 2;

// Rows of cells go to the two threads by turns; a cell starts when the row above has done the
// cell five to its right. A cell's replay reaches into the cells beside it and the eye's
// filters 12 pixels further, so two cells that run at once, six or more apart, never touch the
// same pixels, and every cell sees the same neighbours whatever the timing. What
// Floyd-Steinberg passes round the side edge to a row's first cell from the row above is read
// as the pass found it (DitherReplay::KeepEdge).
constexpr int RowLead = 5;
constexpr int Threads = 2;

class CellSearch {
 public:
  CellSearch(const PackedRGB* adjusted, Dithering dithering, double lambda,
             const SearchControl& control, int reported, const ColourModel& model)
      : lambda_(lambda),
        control_(control),
        conversion_(adjusted, dithering, model),
        replay_(conversion_, dithering),
        source_(Width, Height),
        preview_(Width, Height),
        reported_(reported) {
    ToOpponent(adjusted, Width, source_);
    near_ = std::make_unique<EyeState>(NearPixelsPerDegree, source_);
    far_ = std::make_unique<EyeState>(FarPixelsPerDegree, source_);
    estimates_.reserve(CellCount);
    for (int cell = 0; cell < CellCount; ++cell) {
      estimates_.emplace_back(adjusted, cell, static_cast<float>(lambda), model);
    }
  }

  // Measures the conversion with `cells` and `roles`, and makes it the one on show.
  RoleScore Show(const CellColours& cells, const ColourRoleSet& roles) {
    conversion_.Convert(cells, roles, pairs_);
    // Every pixel's error, for the passes to replay the dithering from.
    std::vector<CellPairs> cellPairs(CellCount);
    for (int cell = 0; cell < CellCount; ++cell) {
      cellPairs[cell] = PairsOf(cells[cell], roles.Sprite1Colour, roles.Sprite2Colour);
    }
    std::vector<int> replayed;
    replay_.ReplayAll(cellPairs, replayed);
    PreviewOpponent(pairs_, preview_, conversion_.Model());
    RoleScore score;
    score.near = near_->Reset(preview_);
    score.far = far_->Reset(preview_);
    score.error = (score.near + score.far) / 2;
    score.flicker = FlickerOf(pairs_, conversion_.Model());
    cells_ = cells;
    roles_ = roles;
    return score;
  }

  double Objective(const RoleScore& s) const { return s.error + lambda_ * s.flicker; }

  // One pass over the cells, the conversion on show as where it starts. Returns false when
  // the caller cancelled.
  bool Pass(double stepWeight, int permilleFrom, int permilleTo) {
    stepWeight_ = stepWeight;
    previous_ = cells_;
    replay_.KeepEdge();
    for (auto& done : done_) done.store(0);
    stop_.store(false);
    from_ = permilleFrom;
    to_ = permilleTo;
    // Where no second thread can start (a browser without threads) or the caller wants one,
    // one takes every row in turn: the same order the waits allow, so the same colours.
    std::thread helper;
    try {
      if (control_.threads < Threads)
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
      helper = std::thread([this] { Work(1, Threads); });
    } catch (const std::system_error&) {
      Work(0, 1);
      return !stop_.load();
    }
    Work(0, Threads);
    helper.join();
    return !stop_.load();
  }

  // The sprite colours that, with the cells held, the estimate ranks best, the current ones
  // first: either sprite colour changed on its own.
  std::vector<std::pair<int, int>> SpriteCandidates(int count) const {
    const std::pair<int, int> now{roles_.Sprite1Colour, roles_.Sprite2Colour};
    std::vector<std::pair<float, std::pair<int, int>>> ranked;
    for (int which = 0; which < 2; ++which) {
      for (int c = 0; c < PaletteSize; ++c) {
        std::pair<int, int> sprites = now;
        (which == 0 ? sprites.first : sprites.second) = c;
        if (sprites == now) continue;
        float total = 0;
        for (int cell = 0; cell < CellCount; ++cell) {
          total += estimates_[cell].Cost(PairsOf(cells_[cell], sprites.first, sprites.second));
        }
        ranked.push_back({total, sprites});
      }
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::pair<int, int>> best{now};
    for (int k = 0; k < count && k < static_cast<int>(ranked.size()); ++k) {
      best.push_back(ranked[k].second);
    }
    return best;
  }

  double Blockiness() const { return far_->Blockiness(); }
  const CellColours& Cells() const { return cells_; }
  const ColourRoleSet& Roles() const { return roles_; }

  void CheckCancelled() {
    if (control_.cancelled && control_.cancelled()) throw SearchCancelled();
  }
  void Report(int permille) {
    if (permille > reported_ && control_.progress) {
      reported_ = permille;
      control_.progress(permille);
    }
  }

 private:
  // Rows thread, thread + stride, ...
  void Work(int thread, int stride) {
    Scratch scratch(far_->Span());
    int sinceCheck = 0;
    for (int row = thread; row < CellRows; row += stride) {
      for (int column = 0; column < CellColumns; ++column) {
        if (row > 0 && !WaitFor(row - 1, std::min(CellColumns, column + RowLead + 1))) return;
        if (stop_.load()) return;
        if (thread == 0 && ++sinceCheck == 4) {
          // Only the caller's thread calls back.
          sinceCheck = 0;
          if (control_.cancelled && control_.cancelled()) {
            Stop();
            return;
          }
          const int cellsDone = row * CellColumns + column;
          Report(from_ + (to_ - from_) * cellsDone / CellCount);
        }
        ChooseCell(row * CellColumns + column, scratch);
        Publish(row, column + 1);
      }
    }
  }

  bool WaitFor(int row, int cells) {
    if (done_[row].load(std::memory_order_acquire) >= cells) return true;
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [&] { return stop_.load() || done_[row].load() >= cells; });
    return !stop_.load();
  }

  void Publish(int row, int cells) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_[row].store(cells, std::memory_order_release);
    }
    ready_.notify_all();
  }

  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_.store(true);
    }
    ready_.notify_all();
  }

  // What taking `colours` would change: the dithered pixels, the error as the eye sees it and
  // the flicker, in the goal's terms (per pixel of the window).
  struct Trial {
    Replay replay;
    double cost = 0;
  };

  // The replay's change of the pixels of one of the window's cells (-1 left, 0 own, 1 right)
  // in the opponent channels and in flicker; false when none changes.
  bool CellChange(const Replay& r, int side, float (&change)[3][CellPixels],
                  double& flicker) const {
    const PaletteTables& p = conversion_.Tables();
    bool any = false;
    flicker = 0;
    for (int row = 0; row < CellSize; ++row) {
      for (int u = 0; u < CellSize; ++u) {
        const int k = row * CellSize + u, col = 7 + side * CellSize + u;
        const int x = r.x0 + side * CellSize + u;
        int now = -1;
        const int was = x >= 0 && x < Width ? pairs_[(r.y0 + row) * Width + x] : 0;
        if (col >= r.first[row] && col <= r.last[row]) now = r.pair[row][col];
        if (now < 0 || now == was) {
          for (int c = 0; c < 3; ++c) change[c][k] = 0;
          continue;
        }
        any = true;
        for (int c = 0; c < 3; ++c) change[c][k] = p.opponent[now][c] - p.opponent[was][c];
        flicker += p.flicker[now] - p.flicker[was];
      }
    }
    return any;
  }

  DitherReplay::Sets SetsAround(int cell, const CellColourSet& colours) const {
    const int column = cell % CellColumns, s1 = roles_.Sprite1Colour, s2 = roles_.Sprite2Colour;
    const CellPairs own = PairsOf(colours, s1, s2);
    return {column > 0 ? PairsOf(cells_[cell - 1], s1, s2) : own, own,
            column + 1 < CellColumns ? PairsOf(cells_[cell + 1], s1, s2) : own};
  }

  // The goal's cost of taking `colours`, by the change of the cell's own pixels.
  double Try(int cell, const CellColourSet& colours, Scratch& scratch, Trial& trial) {
    replay_.Window(cell, SetsAround(cell, colours), trial.replay);
    float change[3][CellPixels];
    double flicker = 0;
    if (!CellChange(trial.replay, 0, change, flicker)) return trial.cost = 0;
    // The steps as the blockiness measure sees them, from the far distance.
    const EyeState::Changes nearChange = near_->Change(cell, change, scratch, false, false);
    const EyeState::Changes farChange = far_->Change(cell, change, scratch, false, true);
    const double error = (nearChange.error + farChange.error) / 2;
    trial.cost = (error + lambda_ * flicker + stepWeight_ * farChange.steps) / PixelCount;
    return trial.cost;
  }

  // Takes `colours`: the window replayed into the state, the eye's view following every cell
  // whose pixels changed.
  void Commit(int cell, const CellColourSet& colours, Scratch& scratch, Trial& trial) {
    replay_.Window(cell, SetsAround(cell, colours), trial.replay);
    const int column = cell % CellColumns;
    for (const int side : {-1, 0, 1}) {
      if (column + side < 0 || column + side >= CellColumns) continue;
      float change[3][CellPixels];
      double flicker = 0;
      if (!CellChange(trial.replay, side, change, flicker)) continue;
      near_->Change(cell + side, change, scratch, true, false);
      far_->Change(cell + side, change, scratch, true, false);
    }
    replay_.Commit(trial.replay, pairs_);
    cells_[cell] = colours;
  }

  // The cell's candidates, the best of them kept.
  void ChooseCell(int cell, Scratch& scratch) {
    const int row = cell / CellColumns, column = cell % CellColumns;
    const CellEstimate& estimate = estimates_[cell];
    const int s1 = roles_.Sprite1Colour, s2 = roles_.Sprite2Colour;
    const auto estimated = [&](const CellColourSet& c) {
      return estimate.Cost(PairsOf(c, s1, s2));
    };
    std::vector<CellColourSet> tried;
    CellColourSet best{};
    double bestCost = 0;
    Trial trial;
    const auto consider = [&](const CellColourSet& colours) {
      if (std::find(tried.begin(), tried.end(), colours) != tried.end()) return;
      tried.push_back(colours);
      const double cost = Try(cell, colours, scratch, trial);
      if (tried.size() == 1 || cost < bestCost) {
        bestCost = cost;
        best = colours;
      }
    };
    consider(previous_[cell]);
    if (column > 0) consider(cells_[cell - 1]);
    if (row > 0) consider(cells_[cell - CellColumns]);
    if (column + 1 < CellColumns) consider(previous_[cell + 1]);
    if (row + 1 < CellRows) consider(previous_[cell + CellColumns]);
    consider(DescendEstimate(previous_[cell], estimated));
    // Coordinate descent from the best, each colour over those the estimate ranks highest.
    for (int which = 0; which < 4; ++which) {
      std::array<std::pair<float, int>, PaletteSize> ranked{};
      for (int c = 0; c < PaletteSize; ++c) {
        CellColourSet candidate = best;
        Colour(candidate, which) = static_cast<std::uint8_t>(c);
        ranked[c] = {estimated(candidate), c};
      }
      std::stable_sort(ranked.begin(), ranked.end());
      const CellColourSet from = best;
      int taken = 0;
      for (const auto& [cost, c] : ranked) {
        if (taken == ColoursTried) break;
        if (c == Colour(from, which)) continue;
        CellColourSet candidate = from;
        Colour(candidate, which) = static_cast<std::uint8_t>(c);
        consider(candidate);
        ++taken;
      }
    }
    Commit(cell, best, scratch, trial);
  }

  // Coordinate descent on the estimate alone: each colour in turn takes its best value, until
  // a round changes nothing (ties keep the current value, then the lower index).
  template <typename Estimated>
  static CellColourSet DescendEstimate(CellColourSet colours, Estimated estimated) {
    float best = estimated(colours);
    for (int round = 0; round < 4; ++round) {
      bool changed = false;
      for (int which = 0; which < 4; ++which) {
        const int current = Colour(colours, which);
        int bestValue = current;
        for (int c = 0; c < PaletteSize; ++c) {
          if (c == current) continue;
          CellColourSet candidate = colours;
          Colour(candidate, which) = static_cast<std::uint8_t>(c);
          const float cost = estimated(candidate);
          if (cost < best) {
            best = cost;
            bestValue = c;
          }
        }
        if (bestValue != current) {
          Colour(colours, which) = static_cast<std::uint8_t>(bestValue);
          changed = true;
        }
      }
      if (!changed) break;
    }
    return colours;
  }

  double lambda_;
  double stepWeight_ = 0;
  const SearchControl& control_;
  Conversion conversion_;
  DitherReplay replay_;
  FloatPicture source_, preview_;
  std::unique_ptr<EyeState> near_, far_;
  std::vector<CellEstimate> estimates_;
  std::vector<int> pairs_;  // the pair every pixel shows
  CellColours cells_{}, previous_{};
  ColourRoleSet roles_{};
  std::array<std::atomic<int>, CellRows> done_{};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable ready_;
  int from_ = 0, to_ = 0, reported_ = -1;
};

// Passes over the cells; between them the sprite colours tried anew.
constexpr int Passes = 2, ExtraPasses = 1;

// The weight of the steps at the cells' borders (see InsideShare), against the error, in the
// first pass. A pass whose conversion shows its cells more than BlockinessAim has the next
// weigh them StepGrowth times as much; one beyond BlockinessLimit is not kept (or beyond the
// roles' own blockiness, where that is higher). Conversions
// with one set of roles measure about 0.97 to 1.06; cells chosen for their error alone, 1.1
// to 1.4.
constexpr double StepWeight = 4;
constexpr double StepGrowth = 3;
constexpr double BlockinessAim = 1.04;
constexpr double BlockinessLimit = 1.06;
constexpr int SpriteCandidates = 4;

}  // namespace

CellColourChoice SearchCellColours(const PackedRGB* adjusted, Dithering dithering, ColourGoal goal,
                                   const std::optional<ColourRoleSet>& start,
                                   const SearchControl& control, const ColourModel& model) {
  // The roles to start from take about a third of the time when they are searched.
  const int globalShare = start ? 0 : 350;
  ColourRoleSet roles;
  int reported = -1;  // what the caller was told last
  if (start) {
    roles = *start;
  } else {
    SearchControl global = control;
    if (control.progress) {
      global.progress = [&](int permille) {
        const int scaled = permille * globalShare / 1000;
        if (scaled > reported) control.progress(reported = scaled);
      };
    }
    roles = SearchColourRoles(adjusted, dithering, goal, global, model).roles;
  }
  CellSearch search(adjusted, dithering, FlickerLambda(goal), control, reported, model);
  search.CheckCancelled();
  CellColourChoice choice;
  choice.roles = roles;
  choice.cells = UniformCellColours(roles);
  choice.start = choice.score = search.Show(choice.cells, roles);
  choice.blockiness = search.Blockiness();
  if (choice.start.error == 0) {
    // The roles show the picture exactly already.
    search.Report(1000);
    return choice;
  }
  // Without dithering even the roles' bands may fall on the cells' borders: the cells may
  // show no more than they do then.
  const double limit = std::max(BlockinessLimit, choice.blockiness);
  const double aim = std::max(BlockinessAim, choice.blockiness);
  double best = search.Objective(choice.score);
  double stepWeight = StepWeight;
  const int passShare = (1000 - globalShare) / Passes;
  // While no pass has been kept for its cells showing, up to ExtraPasses more follow; their
  // progress stays where the last planned pass left it.
  for (int pass = 0; pass < Passes || (choice.passes == 0 && pass < Passes + ExtraPasses); ++pass) {
    const int from = globalShare + std::min(pass, Passes - 1) * passShare;
    if (!search.Pass(stepWeight, from, pass < Passes ? from + passShare - 10 : 990)) {
      throw SearchCancelled();
    }
    search.CheckCancelled();
    // The pass's cells converted, and with the sprite colours the estimate ranks best with
    // them (before the last pass, whose cells have no pass after them to follow new sprites).
    const CellColours cells = search.Cells();
    ColourRoleSet tried = search.Roles(), kept = tried;
    double keptCost = 1e300;
    for (const auto& [s1, s2] : search.SpriteCandidates(pass + 1 < Passes ? SpriteCandidates : 0)) {
      tried.Sprite1Colour = s1;
      tried.Sprite2Colour = s2;
      const double cost = search.Objective(search.Show(cells, tried));
      if (cost < keptCost) keptCost = cost, kept = tried;
    }
    const RoleScore score = search.Show(cells, kept);
    const double blockiness = search.Blockiness();
    // Cells that show are no gain, whatever the measure says: such a pass is not kept, and
    // the next weighs the steps at the borders more.
    if (blockiness <= limit && search.Objective(score) < best) {
      best = search.Objective(score);
      choice.roles = kept;
      choice.cells = cells;
      choice.score = score;
      choice.blockiness = blockiness;
      choice.passes = pass + 1;
    }
    if (blockiness > aim) stepWeight *= StepGrowth;
    if (pass < Passes) search.Report(from + passShare);
  }
  search.Report(1000);
  return choice;
}

RoleScore ScoreCellColours(const PackedRGB* adjusted, Dithering dithering,
                           const ColourRoleSet& roles, const CellColours& cells,
                           const ColourModel& model) {
  Conversion conversion(adjusted, dithering, model);
  std::vector<int> pairs;
  conversion.Convert(cells, roles, pairs);
  FloatPicture source(Width, Height), preview(Width, Height);
  ToOpponent(adjusted, Width, source);
  PreviewOpponent(pairs, preview, model);
  RoleScore score;
  FloatPicture a = source, b = preview;
  ScielabEye near(NearPixelsPerDegree, Width, Height), far(FarPixelsPerDegree, Width, Height);
  near.Perceive(a);
  near.Perceive(b);
  score.near = MeanLabDifference(a, b);
  a = source, b = preview;
  far.Perceive(a);
  far.Perceive(b);
  score.far = MeanLabDifference(a, b);
  score.error = (score.near + score.far) / 2;
  score.flicker = FlickerOf(pairs, model);
  return score;
}

}  // namespace vantrel
