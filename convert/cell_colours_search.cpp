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
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "colour/mix_colours.h"
#include "colour/perceptual.h"
#include "colour/scielab.h"
#include "convert/error_diffusion.h"
#include "convert/lab16.h"
#include "convert/low_flicker_dither.h"
#include "convert/nearest_mix.h"

// The filter loops run for every candidate of every cell; where the processor has AVX2 they
// run eight floats to an instruction.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define VANTREL_WIDE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VANTREL_WIDE_CLONES
#endif
// The eight-float vectors stay inside these functions, so passing them without AVX never
// matters.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace vantrel {
namespace {

constexpr int Width = WindowWidth, Height = WindowHeight;
constexpr int PaletteSize = 16;
constexpr int PairCount = PaletteSize * PaletteSize;  // frame 1's colour * 16 + frame 2's
constexpr int CellPixels = CellSize * CellSize;

// What the search looks up about the mix of palette colour a in frame 1 with b in frame 2.
struct PaletteTables {
  PaletteTables() {
    for (int c = 0; c < PaletteSize; ++c) {
      const TColor colour = PaletteColour(c);
      lightness[c] = TColorToLab(colour).L;
      lightness16[c] = SrgbToLab16(RedOf(colour), GreenOf(colour), BlueOf(colour))[0];
    }
    for (int a = 0; a < PaletteSize; ++a) {
      for (int b = 0; b < PaletteSize; ++b) {
        // Made as every cell's mixes are made: a frame showing a, the other b.
        const FrameColours first{PaletteColour(a), PaletteColour(a), PaletteColour(a)};
        const FrameColours second{PaletteColour(b), PaletteColour(b), PaletteColour(b)};
        const int pair = a * PaletteSize + b;
        const TColor m = BuildMixTable(first, second)[0];
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

const PaletteTables& Palette() {
  static const PaletteTables tables;
  return tables;
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

MixSlots TableOf(const CellPairs& pairs) {
  MixSlots table{};
  for (int k = 0; k < 9; ++k) table[k] = Palette().mix[pairs[k]];
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
            const int start = place == 0 ? CellSize * (size / 16) : place == 1 ? 0 : size - CellSize;
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
  using Float8 = float __attribute__((vector_size(32)));
  static Float8 Load8(const float* p) {
    Float8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  static void Store8(float* p, Float8 v) { std::memcpy(p, &v, sizeof v); }

  // across[i * span + o] = sum over u of change[i * 8 + u] * wx[u * span + o]; span is a
  // multiple of 8.
  VANTREL_WIDE_CLONES static void Across(const float* change, const float* wx, int span,
                                         float* across) {
    for (int i = 0; i < CellSize; ++i) {
      for (int o = 0; o < span; o += 8) {
        Float8 sum = Float8{} + 0.0f;
        for (int u = 0; u < CellSize; ++u) sum += change[i * CellSize + u] * Load8(wx + u * span + o);
        Store8(across + i * span + o, sum);
      }
    }
  }

  // out[(offset + p) * outSpan + offset + o] += weight * sum over i of wy[i * span + p] *
  // across[i * span + o], for p < outputs: row p of the outputs gets the cell rows the filter
  // reaches it from.
  VANTREL_WIDE_CLONES static void Down(const float* across, const float* wy, int span,
                                       float weight, int outputs, int offset, int outSpan,
                                       float* out) {
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

static bool StepChroma = std::getenv("CHROMA") != nullptr;
static double InsideShare = std::getenv("KI") ? std::atof(std::getenv("KI")) : 0.137;
struct Point { float L, a, b; };
inline double StepOf(const Point& p, const Point& q) {
  const float dL = q.L - p.L, da = q.a - p.a, db = q.b - p.b;
  return StepChroma ? std::sqrt(dL * dL + da * da + db * db) : std::fabs(dL);
}
// Working memory of one thread.
struct Scratch {
  explicit Scratch(int span) {
    for (auto& p : spread) p.assign(static_cast<std::size_t>(span) * span, 0.0f);
    for (auto& p : lab) p.assign(static_cast<std::size_t>(span) * span + 8, 0.0f);
    across.assign(static_cast<std::size_t>(CellSize) * span, 0.0f);
    lightness.assign(static_cast<std::size_t>(span) * span, 0.0f);
    chromaA = chromaB = lightness;
  }
  std::array<std::vector<float>, 3> spread, lab;
  std::vector<float> across, lightness, chromaA, chromaB;
  float Step(int p, int q) const {
    const float dL = lightness[q] - lightness[p], da = chromaA[q] - chromaA[p],
                db = chromaB[q] - chromaB[p];
    return StepChroma ? std::sqrt(dL * dL + da * da + db * db) : std::fabs(dL);
  }
};

// The eye at one distance over the whole window: the photo as it sees it, and the preview on
// show blurred (before CIELAB) with the error at every pixel, kept up to date as cells change.
class EyeState {
 public:
  EyeState(double pixelsPerDegree, const FloatPicture& sourceOpponent)
      : eye_(pixelsPerDegree, Width, Height),
        spread_(eye_),
        source_(sourceOpponent),
        blurred_(Width, Height),
        error_(PixelCount, 0.0f),
        lightness_(PixelCount, 0.0f),
        chromaA_(PixelCount, 0.0f),
        chromaB_(PixelCount, 0.0f) {
    eye_.Perceive(source_);
  }

  int Span() const { return spread_.Span(); }
  double DebugMean() const { double t = 0; for (float e : error_) t += e; return t / PixelCount; }
  double DebugBlock() const {
    double b = 0, in = 0; long nb = 0, ni = 0;
    for (int y = 0; y < Height; ++y) for (int x = 0; x < Width; ++x) { int i = y * Width + x;
      if (x + 1 < Width) { double d = std::fabs(lightness_[i+1]-lightness_[i]); if ((x+1)%8==0) b += d, ++nb; else in += d, ++ni; }
      if (y + 1 < Height) { double d = std::fabs(lightness_[i+Width]-lightness_[i]); if ((y+1)%8==0) b += d, ++nb; else in += d, ++ni; } }
    return (b / nb) / (in / ni);
  }

  // The preview's opponent planes: blurs them and measures every pixel. Returns S-CIELAB.
  double Reset(const FloatPicture& previewOpponent) {
    blurred_ = previewOpponent;
    eye_.Blur(blurred_);
    FloatPicture lab = blurred_;
    BlurredOpponentToLab(lab.plane[0].data(), lab.plane[1].data(), lab.plane[2].data(),
                         PixelCount);
    for (int i = 0; i < PixelCount; ++i) {
      const float dL = lab.plane[0][i] - source_.plane[0][i];
      const float da = lab.plane[1][i] - source_.plane[1][i];
      const float db = lab.plane[2][i] - source_.plane[2][i];
      error_[i] = std::sqrt(dL * dL + da * da + db * db);
      lightness_[i] = dL;
      chromaA_[i] = da;
      chromaB_[i] = db;
    }
    return MeanLabDifference(source_, lab);
  }

  // How much the sum of the errors changes when the cell's pixels change by `change` in the
  // opponent channels, and the sum of the steps of the lightness error across cell borders
  // (Blockiness); with `commit`, the change is made.
  struct Changes {
    double error = 0, steps = 0;
  };
  Changes Change(int cell, const float (&change)[3][CellPixels], Scratch& s, bool commit) {
    const int x0 = cell % CellColumns * CellSize, y0 = cell / CellColumns * CellSize;
    const int placeX = x0 == 0 ? 1 : x0 + CellSize == Width ? 2 : 0;
    const int placeY = y0 == 0 ? 1 : y0 + CellSize == Height ? 2 : 0;
    float* const out[3] = {s.spread[0].data(), s.spread[1].data(), s.spread[2].data()};
    spread_.Spread(change, placeX, placeY, s.across.data(), out);
    const int reach = spread_.Reach(), span = spread_.Span();
    const int left = std::max(0, x0 - reach), right = std::min(Width, x0 + CellSize + reach);
    const int top = std::max(0, y0 - reach), bottom = std::min(Height, y0 + CellSize + reach);
    int n = 0;
    for (int y = top; y < bottom; ++y) {
      const int row = (y - y0 + reach) * span - x0 + reach;
      for (int x = left; x < right; ++x, ++n) {
        for (int c = 0; c < 3; ++c) s.lab[c][n] = blurred_.plane[c][y * Width + x] + out[c][row + x];
      }
    }
    const int count = RoundUp8(n);
    for (int c = 0; c < 3; ++c) std::fill(s.lab[c].begin() + n, s.lab[c].begin() + count, 0.0f);
    BlurredOpponentToLab(s.lab[0].data(), s.lab[1].data(), s.lab[2].data(), count);
    double before = 0, after = 0;
    n = 0;
    for (int y = top; y < bottom; ++y) {
      for (int x = left; x < right; ++x, ++n) {
        const int i = y * Width + x;
        const float dL = s.lab[0][n] - source_.plane[0][i];
        const float da = s.lab[1][n] - source_.plane[1][i];
        const float db = s.lab[2][n] - source_.plane[2][i];
        const float e = std::sqrt(dL * dL + da * da + db * db);
        before += error_[i];
        after += e;
        s.lightness[n] = dL;
        s.chromaA[n] = da;
        s.chromaB[n] = db;
      }
    }
    // The region's edges fall inside cells, so every border pair whose step changes lies in
    // it; the inside pairs that reach out of it change at their end inside.
    const int columns = right - left;
    const auto stored = [&](int x, int y) { return Point{lightness_[y * Width + x], chromaA_[y * Width + x], chromaB_[y * Width + x]}; };
    const auto fresh = [&](int x, int y) {
      if (x < left || x >= right || y < top || y >= bottom) return stored(x, y);
      const int m = (y - top) * columns + x - left;
      return Point{s.lightness[m], s.chromaA[m], s.chromaB[m]};
    };
    double bordersBefore = 0, bordersAfter = 0, insideBefore = 0, insideAfter = 0;
    const auto pair = [&](int x, int y, int x2, int y2, bool border) {
      const double b = StepOf(stored(x, y), stored(x2, y2)), a = StepOf(fresh(x, y), fresh(x2, y2));
      if (border) {
        bordersBefore += b, bordersAfter += a;
      } else {
        insideBefore += b, insideAfter += a;
      }
    };
    for (int y = top; y < bottom; ++y) {
      for (int x = std::max(left - 1, 0); x < std::min(right, Width - 1); ++x) {
        pair(x, y, x + 1, y, (x + 1) % CellSize == 0);
      }
    }
    for (int y = std::max(top - 1, 0); y < std::min(bottom, Height - 1); ++y) {
      for (int x = left; x < right; ++x) pair(x, y, x, y + 1, (y + 1) % CellSize == 0);
    }
    const double stepsBefore = bordersBefore - InsideShare * insideBefore;
    const double stepsAfter = bordersAfter - InsideShare * insideAfter;
    if (commit) {
      n = 0;
      for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x, ++n) {
          const int i = y * Width + x;
          const float dL = s.lab[0][n] - source_.plane[0][i];
          const float da = s.lab[1][n] - source_.plane[1][i];
          const float db = s.lab[2][n] - source_.plane[2][i];
          error_[i] = std::sqrt(dL * dL + da * da + db * db);
          lightness_[i] = s.lightness[n];
          chromaA_[i] = s.chromaA[n];
          chromaB_[i] = s.chromaB[n];
        }
      }
    }
    if (commit) {
      for (int y = top; y < bottom; ++y) {
        const int row = (y - y0 + reach) * span - x0 + reach;
        for (int x = left; x < right; ++x) {
          for (int c = 0; c < 3; ++c) blurred_.plane[c][y * Width + x] += out[c][row + x];
        }
      }
    }
    return {after - before, stepsAfter - stepsBefore};
  }

 private:
  ScielabEye eye_;
  CellSpread spread_;
  FloatPicture source_;   // CIELAB, as the eye sees the photo
  FloatPicture blurred_;  // the preview's opponent planes, blurred
  std::vector<float> error_;
  std::vector<float> lightness_;  // the lightness error, L* of the preview minus the photo's
  std::vector<float> chromaA_, chromaB_;
  float Step(int p, int q) const {
    const float dL = lightness_[q] - lightness_[p], da = chromaA_[q] - chromaA_[p],
                db = chromaB_[q] - chromaB_[p];
    return StepChroma ? std::sqrt(dL * dL + da * da + db * db) : std::fabs(dL);
  }
};

// --- The window, its cells and the conversion ------------------------------------------------

// A cell's colours as an estimate sees them: its pixels' colours grouped into boxes of 3 bits
// per channel, each box's cost against every mix (CIELAB distance plus the goal's weight times
// the mix's flicker), weighted by its pixels. It ignores the dithering, which the search
// measures; it only ranks the colours worth dithering with.
class CellEstimate {
 public:
  CellEstimate(const PackedRGB* adjusted, int cell, float lambda) {
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
    const PaletteTables& p = Palette();
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
  return which == 0 ? cell.Background1Colour
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
  Conversion(const PackedRGB* adjusted, Dithering dithering) : dithering_(dithering) {
    for (int i = 0; i < PixelCount; ++i) {
      adjusted_.red[i] = (adjusted[i] >> 16) & 0xFF;
      adjusted_.green[i] = (adjusted[i] >> 8) & 0xFF;
      adjusted_.blue[i] = adjusted[i] & 0xFF;
    }
    ToLabPlanes16(adjusted_, lab_);
  }

  const ColourPlanes& Adjusted() const { return adjusted_; }
  const LabPlanes16& Lab() const { return lab_; }

  // Converts and fills `pairs` (the pair every pixel shows).
  void Convert(const CellColours& cells, const ColourRoleSet& roles, std::vector<int>& pairs) {
    BuildCellMixTables(cells, roles, *tables_);
    if (dithering_ == Dithering::LowFlicker) {
      const std::vector<LowFlickerSlots> slots = MakeCellLowFlickerSlots(*tables_, cells, roles);
      LowFlickerDitherCells(lab_.L.data(), lab_.a.data(), lab_.b.data(), Width, Height,
                            slots.data(), codes_.data(), nullptr);
    } else {
      work_ = adjusted_;
      DiffuseErrorsCells(work_, *tables_, dithering_ == Dithering::FloydSteinberg, codes_,
                         nullptr);
    }
    pairs.resize(PixelCount);
    for (int cell = 0; cell < CellCount; ++cell) {
      const CellPairs p = PairsOf(cells[cell], roles.Sprite1Colour, roles.Sprite2Colour);
      const int x0 = cell % CellColumns * CellSize, y0 = cell / CellColumns * CellSize;
      for (int y = y0; y < y0 + CellSize; ++y) {
        for (int x = x0; x < x0 + CellSize; ++x) pairs[y * Width + x] = p[codes_[y * Width + x] - 1];
      }
    }
  }

 private:
  Dithering dithering_;
  ColourPlanes adjusted_, work_;
  LabPlanes16 lab_;
  MixCodes codes_{};
  std::unique_ptr<CellMixSlots> tables_ = std::make_unique<CellMixSlots>();
};

// The preview's opponent planes from the pair every pixel shows.
void PreviewOpponent(const std::vector<int>& pairs, FloatPicture& picture) {
  const PaletteTables& p = Palette();
  for (int i = 0; i < PixelCount; ++i) {
    for (int c = 0; c < 3; ++c) picture.plane[c][i] = p.opponent[pairs[i]][c];
  }
}

double FlickerOf(const std::vector<int>& pairs) {
  double total = 0;
  for (const int pair : pairs) total += Palette().flicker[pair];
  return total / PixelCount;
}

// --- Dithering one cell in the search's order -------------------------------------------

// The search dithers the cells one after the other, each with its rows top to bottom: a cell
// then has the error of the cells left of it and above, as in the conversion, and lacks only
// the share the pixels of its last column would get from the cell to their upper right
// (3/16 of one column's error), and the shares that wrap round the side edges.
// What a cell's dithering reads and writes of the window's state: its 8 rows and the row
// below, from the column left of it to the column right of it.
constexpr int LocalRows = CellSize + 1, LocalColumns = CellSize + 2;

struct LocalState {
  std::uint8_t colour[3][LocalRows][LocalColumns];  // Floyd-Steinberg's working colours
  int received[3][LocalRows][LocalColumns];         // the low-flicker dithering's errors
  int lightness[CellSize][CellSize];                // its slot L - input L of each pixel
};

// The window's state of the dithering as the cells are taken in turn.
struct DitherState {
  ColourPlanes work;                         // Floyd-Steinberg
  std::array<std::vector<int>, 3> received;  // low flicker: error received per pixel
  std::vector<int> lightness;                // low flicker: slot L - input L per pixel

  void Start(const ColourPlanes& adjusted) {
    work = adjusted;
    for (auto& r : received) r.assign(PixelCount, 0);
    lightness.assign(PixelCount, 0);
  }
};

class CellDither {
 public:
  CellDither(const Conversion& conversion, Dithering dithering)
      : conversion_(conversion), dithering_(dithering) {}

  void Dither(const DitherState& state, int cell, const CellPairs& pairs, std::uint8_t* codes,
              LocalState& local) const {
    const int x0 = cell % CellColumns * CellSize, y0 = cell / CellColumns * CellSize;
    if (dithering_ == Dithering::LowFlicker) {
      LowFlicker(state, x0, y0, pairs, codes, local);
    } else {
      Nearest(state, x0, y0, pairs, codes, local, dithering_ == Dithering::FloydSteinberg);
    }
  }

  // The cell's dithering made the window's.
  void Commit(DitherState& state, int cell, const LocalState& local) const {
    if (dithering_ == Dithering::None) return;
    const int x0 = cell % CellColumns * CellSize, y0 = cell / CellColumns * CellSize;
    for (int r = 0; r < LocalRows; ++r) {
      const int y = y0 + r;
      if (y >= Height) break;
      for (int col = 0; col < LocalColumns; ++col) {
        const int x = x0 - 1 + col;
        if (x < 0 || x >= Width) continue;
        const int i = y * Width + x;
        if (dithering_ == Dithering::LowFlicker) {
          for (int c = 0; c < 3; ++c) state.received[c][i] = local.received[c][r][col];
        } else {
          state.work.red[i] = local.colour[0][r][col];
          state.work.green[i] = local.colour[1][r][col];
          state.work.blue[i] = local.colour[2][r][col];
        }
      }
    }
    if (dithering_ == Dithering::LowFlicker) {
      for (int r = 0; r < CellSize; ++r) {
        for (int col = 0; col < CellSize; ++col) {
          state.lightness[(y0 + r) * Width + x0 + col] = local.lightness[r][col];
        }
      }
    }
  }

 private:
  template <typename Get>
  static void Load(int x0, int y0, Get get) {
    for (int r = 0; r < LocalRows; ++r) {
      for (int col = 0; col < LocalColumns; ++col) {
        const int x = x0 - 1 + col, y = y0 + r;
        get(r, col, x >= 0 && x < Width && y < Height ? y * Width + x : -1);
      }
    }
  }

  // The nearest mix of each pixel, with Floyd-Steinberg's shares when `dither`.
  void Nearest(const DitherState& state, int x0, int y0, const CellPairs& pairs,
               std::uint8_t* codes, LocalState& local, bool dither) const {
    const MixChannels mix(TableOf(pairs));
    const Plane* planes[3] = {dither ? &state.work.red : &conversion_.Adjusted().red,
                              dither ? &state.work.green : &conversion_.Adjusted().green,
                              dither ? &state.work.blue : &conversion_.Adjusted().blue};
    Load(x0, y0, [&](int r, int col, int i) {
      for (int c = 0; c < 3; ++c) local.colour[c][r][col] = i < 0 ? 0 : (*planes[c])[i];
    });
    const auto add = [&](int c, int r, int col, int share) {
      std::uint8_t& v = local.colour[c][r][col];
      v = static_cast<std::uint8_t>(std::clamp(v + share, 0, 255));
    };
    for (int r = 0; r < CellSize; ++r) {
      const bool below = y0 + r + 1 < Height;
      for (int col = 1; col <= CellSize; ++col) {
        const int x = x0 + col - 1;
        const int v[3] = {local.colour[0][r][col], local.colour[1][r][col],
                          local.colour[2][r][col]};
        const int code = NearestMixCode(mix, v[0], v[1], v[2]);
        codes[r * CellSize + col - 1] = static_cast<std::uint8_t>(code);
        if (!dither) continue;
        const int m[3] = {mix.red[code - 1], mix.green[code - 1], mix.blue[code - 1]};
        for (int c = 0; c < 3; ++c) {
          const int e = (v[c] - m[c]) / 16;
          if (e == 0) continue;
          if (x + 1 < Width) add(c, r, col + 1, 7 * e);
          if (!below) continue;
          if (x > 0) add(c, r + 1, col - 1, 3 * e);
          add(c, r + 1, col, 5 * e);
          if (x + 1 < Width) add(c, r + 1, col + 1, e);
        }
      }
    }
  }

  // The low-flicker dithering's rule, pixel by pixel (see LowFlickerDither).
  void LowFlicker(const DitherState& state, int x0, int y0, const CellPairs& pairs,
                  std::uint8_t* codes, LocalState& local) const {
    const PaletteTables& p = Palette();
    Load(x0, y0, [&](int r, int col, int i) {
      for (int c = 0; c < 3; ++c) local.received[c][r][col] = i < 0 ? 0 : state.received[c][i];
    });
    const LabPlanes16& lab = conversion_.Lab();
    for (int r = 0; r < CellSize; ++r) {
      const int y = y0 + r;
      for (int col = 1; col <= CellSize; ++col) {
        const int x = x0 + col - 1, i = y * Width + x;
        const int in[3] = {lab.L[i], lab.a[i], lab.b[i]};
        int w[3];
        for (int c = 0; c < 3; ++c) {
          w[c] = in[c] + lab16::Clamp(local.received[c][r][col], ErrorBound);
        }
        const int leftError = x == 0 ? 0 : col > 1 ? local.lightness[r][col - 2] : state.lightness[i - 1];
        const int upError = y == 0 ? 0 : r > 0 ? local.lightness[r - 1][col - 1]
                                               : state.lightness[i - Width];
        const int neighbours = 2 * in[0] + leftError + upError;
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
        codes[r * CellSize + col - 1] = static_cast<std::uint8_t>(code);
        const auto& m = p.lab16[pairs[code - 1]];
        local.lightness[r][col - 1] = m[0] - in[0];
        for (int c = 0; c < 3; ++c) {
          const int e = lab16::ErrorPassed(w[c] - m[c]);
          if (e == 0) continue;
          const int right = (7 * e + 8) >> 4, behind = (3 * e + 8) >> 4, under = (5 * e + 8) >> 4;
          if (x + 1 < Width) local.received[c][r][col + 1] += right;
          if (y + 1 >= Height) continue;
          if (x > 0) local.received[c][r + 1][col - 1] += behind;
          local.received[c][r + 1][col] += under;
          if (x + 1 < Width) local.received[c][r + 1][col + 1] += e - right - behind - under;
        }
      }
    }
  }

  const Conversion& conversion_;
  Dithering dithering_;
};

// --- The passes ---------------------------------------------------------------------------

// Candidates per cell: how many of the colours the estimate ranks best each of the four
// colours tries in the descent, after the cell's own, its neighbours' and the estimate's best.
static int ColoursTried = std::getenv("CT") ? std::atoi(std::getenv("CT")) : 3;
static double StepWeight = std::getenv("MU") ? std::atof(std::getenv("MU")) : 0.5;
static int Rounds = std::getenv("ROUNDS") ? std::atoi(std::getenv("ROUNDS")) : 1;

// Rows of cells go to the two threads by turns; a cell starts when the row above has done the
// cell three to its right. The eye's filters reach 12 pixels, so no two cells that run at
// once touch the same pixels, and every cell sees the same neighbours whatever the timing.
constexpr int RowLead = 3;
constexpr int Threads = 2;

class CellSearch {
 public:
  CellSearch(const PackedRGB* adjusted, Dithering dithering, double lambda,
             const SearchControl& control)
      : lambda_(lambda),
        control_(control),
        conversion_(adjusted, dithering),
        dither_(conversion_, dithering),
        source_(Width, Height),
        preview_(Width, Height) {
    ToOpponent(adjusted, Width, source_);
    near_ = std::make_unique<EyeState>(NearPixelsPerDegree, source_);
    far_ = std::make_unique<EyeState>(FarPixelsPerDegree, source_);
    estimates_.reserve(CellCount);
    for (int cell = 0; cell < CellCount; ++cell) {
      estimates_.emplace_back(adjusted, cell, static_cast<float>(lambda));
    }
  }

  // Measures the conversion with `cells` and `roles`, and makes it the one on show.
  RoleScore Show(const CellColours& cells, const ColourRoleSet& roles) {
    conversion_.Convert(cells, roles, pairs_);
    PreviewOpponent(pairs_, preview_);
    RoleScore score;
    score.near = near_->Reset(preview_);
    score.far = far_->Reset(preview_);
    score.error = (score.near + score.far) / 2;
    score.flicker = FlickerOf(pairs_);
    cells_ = cells;
    roles_ = roles;
    return score;
  }

  double Objective(const RoleScore& s) const { return s.error + lambda_ * s.flicker; }

  // One pass over the cells, the conversion on show as where it starts. Returns false when
  // the caller cancelled.
  bool Pass(int permilleFrom, int permilleTo) {
    previous_ = cells_;
    dithering_.Start(conversion_.Adjusted());
    for (auto& done : done_) done.store(0);
    stop_.store(false);
    from_ = permilleFrom;
    to_ = permilleTo;
    std::thread helper([this] { Work(1); });
    Work(0);
    helper.join();
    return !stop_.load();
  }

  // The sprite colours that, with the cells held, the estimate ranks best, the current ones
  // first.
  std::vector<std::pair<int, int>> SpriteCandidates(int count) const {
    std::vector<std::pair<float, std::pair<int, int>>> ranked;
    for (int s1 = 0; s1 < PaletteSize; ++s1) {
      for (int s2 = 0; s2 < PaletteSize; ++s2) {
        float total = 0;
        for (int cell = 0; cell < CellCount; ++cell) {
          total += estimates_[cell].Cost(PairsOf(cells_[cell], s1, s2));
        }
        ranked.push_back({total, {s1, s2}});
      }
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::pair<int, int>> best{{roles_.Sprite1Colour, roles_.Sprite2Colour}};
    for (const auto& [cost, sprites] : ranked) {
      if (static_cast<int>(best.size()) > count) break;
      if (std::find(best.begin(), best.end(), sprites) == best.end()) best.push_back(sprites);
    }
    return best;
  }

  void Debug(const char* what) const {
    std::fprintf(stderr, "%s: internal near %.3f far %.3f flicker %.2f block %.3f\n", what, near_->DebugMean(), far_->DebugMean(), FlickerOf(pairs_), near_->DebugBlock());
  }
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
  void Work(int thread) {
    Scratch scratch(far_->Span());
    int sinceCheck = 0;
    for (int row = thread; row < CellRows; row += Threads) {
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
    std::uint8_t codes[CellPixels];
    LocalState local;
    double cost = 0;
  };

  double Try(int cell, const CellColourSet& colours, Scratch& scratch, Trial& trial,
             bool commit) {
    const CellPairs pairs = PairsOf(colours, roles_.Sprite1Colour, roles_.Sprite2Colour);
    dither_.Dither(dithering_, cell, pairs, trial.codes, trial.local);
    const PaletteTables& p = Palette();
    const int x0 = cell % CellColumns * CellSize, y0 = cell / CellColumns * CellSize;
    float change[3][CellPixels];
    double flicker = 0;
    for (int k = 0; k < CellPixels; ++k) {
      const int i = (y0 + k / CellSize) * Width + x0 + k % CellSize;
      const int now = pairs[trial.codes[k] - 1], was = pairs_[i];
      for (int c = 0; c < 3; ++c) change[c][k] = p.opponent[now][c] - p.opponent[was][c];
      flicker += p.flicker[now] - p.flicker[was];
      if (commit) pairs_[i] = now;
    }
    const EyeState::Changes nearChange = near_->Change(cell, change, scratch, commit);
    const EyeState::Changes farChange = far_->Change(cell, change, scratch, commit);
    const double error = (nearChange.error + farChange.error) / 2;
    trial.cost = (error + lambda_ * flicker + StepWeight * nearChange.steps) / PixelCount;
    if (commit) {
      dither_.Commit(dithering_, cell, trial.local);
      cells_[cell] = colours;
    }
    return trial.cost;
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
      const double cost = Try(cell, colours, scratch, trial, false);
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
    for (int round = 0; round < Rounds; ++round)
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
    if (std::getenv("CELLS_EXHAUSTIVE") && cell % 61 == 7) {
      double ex = 1e30; CellColourSet exBest{};
      for (int v = 0; v < 65536; ++v) {
        CellColourSet c{static_cast<std::uint8_t>(v & 15), static_cast<std::uint8_t>((v >> 4) & 15), static_cast<std::uint8_t>((v >> 8) & 15), static_cast<std::uint8_t>(v >> 12)};
        double cost = Try(cell, c, scratch, trial, false);
        if (cost < ex) { ex = cost; exBest = c; }
      }
      std::fprintf(stderr, "cell %d: chosen %.4f (%d %d %d %d) exhaustive %.4f (%d %d %d %d) tried %zu, prev %.4f\n", cell, bestCost, best.Background1Colour, best.Bitmap1Colour, best.Background2Colour, best.Bitmap2Colour, ex, exBest.Background1Colour, exBest.Bitmap1Colour, exBest.Background2Colour, exBest.Bitmap2Colour, tried.size(), Try(cell, previous_[cell], scratch, trial, false));
    }
    Try(cell, best, scratch, trial, true);
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
  const SearchControl& control_;
  Conversion conversion_;
  CellDither dither_;
  FloatPicture source_, preview_;
  std::unique_ptr<EyeState> near_, far_;
  std::vector<CellEstimate> estimates_;
  std::vector<int> pairs_;  // the pair every pixel shows
  CellColours cells_{}, previous_{};
  ColourRoleSet roles_{};
  DitherState dithering_;
  std::array<std::atomic<int>, CellRows> done_{};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable ready_;
  int from_ = 0, to_ = 0, reported_ = -1;
};

// Passes over the cells; between them the sprite colours tried anew.
static int Passes = std::getenv("PASSES") ? std::atoi(std::getenv("PASSES")) : 2;
constexpr int SpriteCandidates = 4;

}  // namespace

CellColourChoice SearchCellColours(const PackedRGB* adjusted, Dithering dithering, ColourGoal goal,
                                   const std::optional<ColourRoleSet>& start,
                                   const SearchControl& control) {
  // The roles to start from take about a third of the time when they are searched.
  const int globalShare = start ? 0 : 350;
  ColourRoleSet roles;
  if (start) {
    roles = *start;
  } else {
    SearchControl global = control;
    if (control.progress) {
      global.progress = [&](int permille) { control.progress(permille * globalShare / 1000); };
    }
    roles = SearchColourRoles(adjusted, dithering, goal, global).roles;
  }
  CellSearch search(adjusted, dithering, std::getenv("LAMBDA") ? std::atof(std::getenv("LAMBDA")) : FlickerLambda(goal), control);
  search.CheckCancelled();
  CellColourChoice choice;
  choice.roles = roles;
  choice.cells = UniformCellColours(roles);
  choice.start = choice.score = search.Show(choice.cells, roles);
  double best = search.Objective(choice.score);
  const int passShare = (1000 - globalShare) / Passes;
  for (int pass = 0; pass < Passes; ++pass) {
    const int from = globalShare + pass * passShare;
    search.Debug("before pass");
    if (!search.Pass(from, from + passShare - 10)) throw SearchCancelled();
    search.Debug("after pass");
    search.CheckCancelled();
    const CellColours cells = search.Cells();
    ColourRoleSet tried = search.Roles();
    // The conversion of the pass's cells, and with other sprite colours.
    std::pair<double, ColourRoleSet> bestHere{1e30, tried};
    for (const auto& [s1, s2] : search.SpriteCandidates(pass + 1 < Passes ? SpriteCandidates : 0)) {
      tried.Sprite1Colour = s1;
      tried.Sprite2Colour = s2;
      const RoleScore score = search.Show(cells, tried);
      if (search.Objective(score) < bestHere.first) bestHere = {search.Objective(score), tried};
    }
    const RoleScore score = search.Show(cells, bestHere.second);
    std::fprintf(stderr, "real: near %.3f far %.3f flicker %.2f sprites %d %d\n", score.near, score.far, score.flicker, bestHere.second.Sprite1Colour, bestHere.second.Sprite2Colour);
    if (search.Objective(score) < best) {
      best = search.Objective(score);
      choice.roles = bestHere.second;
      choice.cells = cells;
      choice.score = score;
      choice.passes = pass + 1;
    }
    search.Report(from + passShare);
  }
  search.Report(1000);
  return choice;
}

RoleScore ScoreCellColours(const PackedRGB* adjusted, Dithering dithering,
                           const ColourRoleSet& roles, const CellColours& cells) {
  Conversion conversion(adjusted, dithering);
  std::vector<int> pairs;
  conversion.Convert(cells, roles, pairs);
  FloatPicture source(Width, Height), preview(Width, Height);
  ToOpponent(adjusted, Width, source);
  PreviewOpponent(pairs, preview);
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
  score.flicker = FlickerOf(pairs);
  return score;
}

}  // namespace vantrel
