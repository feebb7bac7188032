#include "convert/auto_colours.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "colour/mix_colours.h"
#include "colour/palette.h"
#include "colour/perceptual.h"
#include "convert/low_flicker_dither.h"
#include "convert/nearest_mix.h"
#include "core/float4.h"

namespace vantrel {
namespace {

constexpr int PaletteSize = 16;

// What Auto Colors minimises per goal: error + lambda * flicker (both in CIELAB units), so a
// goal gives up at most lambda units of error for one unit less flicker. Faithful (0.06)
// still takes nearly the least error but refuses roles that flicker far more for a sliver
// less of it (at 0.04 the judged windows lose 0.3 % of error for 3.6 % more flicker).
// Balanced (0.15) and Calm (0.25) sit where Floyd-Steinberg's trade of error for flicker
// has its steps: about a quarter and two fifths of the flicker gone for 4 % and 13 % more
// error on the judged windows. The low-flicker dithering buys its calm per pixel and gets
// far more of it for the same lambdas.
constexpr std::array<double, GoalCount> Lambdas = {0.06, 0.15, 0.25};

// The budget of one search, for all goals together; a coarse conversion costs about a
// quarter of a full one. The first goal explores widely, the others mostly from its optima.
struct Budget {
  int starts;   // estimated starts descended on the coarse window
  int earlier;  // optima of earlier goals descended again
  int coarse;   // coarse conversions
  int full;     // full conversions
};
constexpr std::array<Budget, GoalCount> Budgets = {
    {{5, 0, 500, 60}, {2, 2, 250, 30}, {2, 2, 250, 30}}};
// Colours a role tries on the coarse window (the estimate's best) and on the full one (the
// coarse window's best).
constexpr int CoarseColoursPerRole = 6;
constexpr int FullColoursPerRole = 4;
// Coarse optima refined with full conversions, per goal.
constexpr int RefinedOptima = 2;

// Five palette indices in one word, four bits each, for caching and ordering.
std::uint32_t Key(const ColourRoleSet& roles) {
  std::uint32_t key = 0;
  for (int role = 0; role < RoleCount; ++role) key = key << 4 | (roles[role] & 0x0F);
  return key;
}

// Exchanging bitmap and sprite colour within a frame, or the two frames, shows the same nine
// mix colours; one representative stands for all of them when picking starts.
std::uint32_t CanonicalKey(const ColourRoleSet& roles) {
  std::pair<int, int> first{std::min(roles[1], roles[2]), std::max(roles[1], roles[2])};
  std::pair<int, int> second{std::min(roles[3], roles[4]), std::max(roles[3], roles[4])};
  if (second < first) std::swap(first, second);
  return Key(ColourRoleSet{roles[0], first.first, first.second, second.first, second.second});
}

// A quick stand-in for the perceived error, used only to steer the real search (where it
// starts, which colours it tries): every colour of the window (grouped into boxes of 3 bits
// per channel) is charged the CIELAB distance to its nearest mix colour, weighted by how
// many pixels have it. It ignores dithering, which the real conversions account for.
class PaletteEstimate {
 public:
  explicit PaletteEstimate(const PackedRGB* adjusted) {
    std::vector<std::array<std::uint32_t, 4>> boxes(512);  // red, green, blue sums, count
    for (int i = 0; i < PixelCount; ++i) {
      const PackedRGB c = adjusted[i];
      auto& box = boxes[((c >> 15) & 0x1C0) | ((c >> 10) & 0x38) | ((c >> 5) & 0x7)];
      box[0] += (c >> 16) & 0xFF;
      box[1] += (c >> 8) & 0xFF;
      box[2] += c & 0xFF;
      ++box[3];
    }
    std::array<LabColour, PairCount> pairLab{};
    for (int first = 0, pair = 0; first < PaletteSize; ++first) {
      for (int second = first; second < PaletteSize; ++second, ++pair) {
        pairId_[first][second] = pairId_[second][first] = pair;
        pairLab[pair] = TColorToLab(MixColours(C64Palette[first], C64Palette[second]));
        flicker_[pair] =
            std::fabs(TColorToLab(C64Palette[first]).L - TColorToLab(C64Palette[second]).L);
      }
    }
    for (const auto& box : boxes) {
      const std::uint32_t n = box[3];
      if (n == 0) continue;
      const LabColour lab =
          SrgbToLab((box[0] + n / 2) / n, (box[1] + n / 2) / n, (box[2] + n / 2) / n);
      weights_.push_back(static_cast<float>(n));
      for (int pair = 0; pair < PairCount; ++pair) {
        const float dL = lab.L - pairLab[pair].L, da = lab.a - pairLab[pair].a,
                    db = lab.b - pairLab[pair].b;
        distances_.push_back(std::sqrt(dL * dL + da * da + db * db));
      }
    }
  }

  // With `lambda`, each colour also pays lambda times the flicker of its nearest mix.
  float Cost(const ColourRoleSet& roles, float lambda = 0) const {
    std::array<int, 9> pairs{};
    for (int slot = 0; slot < 9; ++slot) {
      const auto [first, second] = MixSlotRoles[slot];
      pairs[slot] = pairId_[roles[first] & 0x0F][roles[second] & 0x0F];
    }
    float total = 0;
    const float* row = distances_.data();
    for (const float weight : weights_) {
      int nearest = pairs[0];
      for (int slot = 1; slot < 9; ++slot) {
        if (row[pairs[slot]] < row[nearest]) nearest = pairs[slot];
      }
      total += weight * (row[nearest] + lambda * flicker_[nearest]);
      row += PairCount;
    }
    return total;
  }

 private:
  static constexpr int PairCount = PaletteSize * (PaletteSize + 1) / 2;
  std::array<std::array<int, PaletteSize>, PaletteSize> pairId_{};
  std::array<float, PairCount> flicker_{};
  std::vector<float> weights_;
  std::vector<float> distances_;  // per box, the distance to each palette pair's mix
};

// Palette colours to try for one role, in ascending order.
struct Colours {
  std::array<int, PaletteSize> index{};
  int count = 0;
  const int* begin() const { return index.data(); }
  const int* end() const { return index.data() + count; }
};

Colours EveryColour(const ColourRoleSet&, int) {
  Colours all;
  for (int c = 0; c < PaletteSize; ++c) all.index[all.count++] = c;
  return all;
}

// Coordinate descent: each role in turn takes, of the colours `tried` offers it, the one
// that scores best with the others held, until a full round changes nothing. Ties keep the
// current colour, then the lower index, so the path is the same every time.
template <typename Cost, typename Tried, typename Stop>
ColourRoleSet Descend(ColourRoleSet roles, Cost cost, Tried tried, Stop exhausted) {
  auto best = cost(roles);
  for (bool changed = true; changed;) {
    changed = false;
    for (int role = 0; role < RoleCount; ++role) {
      const int current = roles[role];
      int bestValue = current;
      for (const int value : tried(roles, role)) {
        if (value == current) continue;
        if (exhausted()) return roles;
        ColourRoleSet candidate = roles;
        candidate[role] = value;
        const auto score = cost(candidate);
        if (score < best) {
          best = score;
          bestValue = value;
        }
      }
      if (bestValue != current) {
        roles[role] = bestValue;
        changed = true;
      }
    }
  }
  return roles;
}

// Start points for the search: the estimate's local optima from the default roles and from
// every single-colour picture, best first, one per set of equivalent roles.
std::vector<ColourRoleSet> EstimatedStarts(const PaletteEstimate& estimate, float lambda,
                                           int count) {
  const auto cost = [&](const ColourRoleSet& roles) { return estimate.Cost(roles, lambda); };
  const auto never = [] { return false; };
  std::vector<std::pair<float, ColourRoleSet>> optima;
  std::vector<ColourRoleSet> seeds{DefaultColourRoles};
  for (int c = 0; c < PaletteSize; ++c) seeds.push_back(ColourRoleSet{c, c, c, c, c});
  for (const ColourRoleSet& seed : seeds) {
    const ColourRoleSet optimum = Descend(seed, cost, EveryColour, never);
    optima.emplace_back(estimate.Cost(optimum, lambda), optimum);
  }
  std::stable_sort(optima.begin(), optima.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<ColourRoleSet> starts;
  std::vector<std::uint32_t> seen;
  for (const auto& [cost, roles] : optima) {
    const std::uint32_t key = CanonicalKey(roles);
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
    seen.push_back(key);
    starts.push_back(roles);
    if (static_cast<int>(starts.size()) == count) break;
  }
  return starts;
}

// The eight role sets that show the same nine mixes: bitmap and sprite exchanged within
// either frame, and the frames exchanged. They differ where mixes coincide (the lower code
// wins) and, with the low-flicker dithering, in the order of the slots.
std::array<ColourRoleSet, 8> EquivalentRoles(const ColourRoleSet& r) {
  std::array<ColourRoleSet, 8> all{};
  int n = 0;
  for (int swapFrames = 0; swapFrames < 2; ++swapFrames) {
    const int one = swapFrames ? 3 : 1, two = swapFrames ? 1 : 3;
    for (int swapFirst = 0; swapFirst < 2; ++swapFirst) {
      for (int swapSecond = 0; swapSecond < 2; ++swapSecond) {
        all[n++] = ColourRoleSet{r[0], r[one + swapFirst], r[one + 1 - swapFirst],
                                 r[two + swapSecond], r[two + 1 - swapSecond]};
      }
    }
  }
  return all;
}

// The window at half size (2 x 2 pixels averaged), converted with the same dithering rule and
// measured the same way with the blur scaled to match: a conversion costs a quarter of a full
// one and ranks role sets nearly as the full window does, so the search can afford many starts.
class CoarseWindow {
 public:
  static constexpr int Width = WindowWidth / 2, Height = WindowHeight / 2, Count = Width * Height;

  CoarseWindow(const PackedRGB* adjusted, Dithering dithering) : dithering_(dithering) {
    for (int y = 0; y < Height; ++y) {
      for (int x = 0; x < Width; ++x) {
        int sum[3] = {0, 0, 0};
        float labSum[3] = {0, 0, 0};
        int labSum16[3] = {0, 0, 0};
        for (int dy = 0; dy < 2; ++dy) {
          for (int dx = 0; dx < 2; ++dx) {
            const PackedRGB c = adjusted[(2 * y + dy) * WindowWidth + 2 * x + dx];
            const int r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
            sum[0] += r, sum[1] += g, sum[2] += b;
            const LabColour l = PackedRgbToLab(c);
            labSum[0] += l.L, labSum[1] += l.a, labSum[2] += l.b;
            const auto q = SrgbToLab16(r, g, b);
            for (int k = 0; k < 3; ++k) labSum16[k] += q[k];
          }
        }
        const int i = y * Width + x;
        red_[i] = static_cast<std::uint8_t>((sum[0] + 2) / 4);
        green_[i] = static_cast<std::uint8_t>((sum[1] + 2) / 4);
        blue_[i] = static_cast<std::uint8_t>((sum[2] + 2) / 4);
        sourceL_[i] = labSum[0] / 4, sourceA_[i] = labSum[1] / 4, sourceB_[i] = labSum[2] / 4;
        labL_[i] = static_cast<std::int16_t>(labSum16[0] / 4);
        labA_[i] = static_cast<std::int16_t>(labSum16[1] / 4);
        labB_[i] = static_cast<std::int16_t>(labSum16[2] / 4);
      }
    }
    // Blurred by sigma 1 coarse pixel, not the half pixel that the full window's sigma 1
    // would be: the dithering's dots are twice as large here, and blurring them over twice
    // the distance leaves as much of their noise as the full window leaves of its own. With
    // sigma 1/2 high-contrast mixes look noisier here than they are and rank too low.
    float total = 0;
    for (int k = -2; k <= 2; ++k) total += weights_[k + 2] = std::exp(-0.5f * k * k);
    for (float& w : weights_) w /= total;
    Blur(sourceL_);
    Blur(sourceA_);
    Blur(sourceB_);
    for (int c = 0; c < PaletteSize; ++c) lightness_[c] = TColorToLab(C64Palette[c]).L;
  }

  RoleScore Evaluate(const ColourRoleSet& roles) {
    const MixSlots table = BuildMixTable(RoleColours(roles));
    if (dithering_ == Dithering::LowFlicker) {
      LowFlickerDither(labL_.data(), labA_.data(), labB_.data(), Width, Height,
                       MakeLowFlickerSlots(table, roles), codes_.data(), nullptr);
    } else {
      DiffuseRgb(table, dithering_ == Dithering::FloydSteinberg);
    }
    std::array<LabColour, 10> mixLab{};
    for (int code = 1; code <= 9; ++code) mixLab[code] = TColorToLab(table[code - 1]);
    std::array<int, 10> counts{};
    float* const L = previewL_.data();
    float* const A = previewA_.data();
    float* const B = previewB_.data();
    for (int i = 0; i < Count; ++i) {
      const int code = codes_[i];
      L[i] = mixLab[code].L, A[i] = mixLab[code].a, B[i] = mixLab[code].b;
      ++counts[code];
    }
    Blur(previewL_);
    Blur(previewA_);
    Blur(previewB_);
    double error = 0;
    for (int y = 0; y < Height; ++y) {
      error += RowError(y * Width);
    }
    double flicker = 0;
    for (int code = 1; code <= 9; ++code) {
      const auto [first, second] = MixSlotRoles[code - 1];
      flicker += counts[code] *
                 std::fabs(lightness_[roles[first] & 0x0F] - lightness_[roles[second] & 0x0F]);
    }
    return {error / Count, flicker / Count};
  }

 private:
  using Floats = std::array<float, Count>;

  // The Floyd-Steinberg rule of the conversion (nearest by channel differences, error / 16
  // truncated, 7/3/5/1 shares clamped), or none. Locals only in the loop: the byte stores
  // would otherwise make the compiler reload everything after each.
  void DiffuseRgb(const MixSlots& table, bool dither) {
    const MixChannels search(table);
    std::array<int, 30> mix{};
    for (int code = 1; code <= 9; ++code) {
      const TColor m = table[code - 1];
      mix[3 * code] = RedOf(m), mix[3 * code + 1] = GreenOf(m), mix[3 * code + 2] = BlueOf(m);
    }
    std::uint8_t* const codes = codes_.data();
    if (!dither) {
      for (int i = 0; i < Count; ++i) {
        codes[i] = static_cast<std::uint8_t>(NearestMixCode(search, red_[i], green_[i], blue_[i]));
      }
      return;
    }
    // Rows go in pairs, the second three pixels behind the first, when the pixels it reads
    // have all they receive from above: two independent chains the processor overlaps.
    int* const work = work_.data();
    for (int i = 0; i < Count; ++i) {
      work[3 * i] = red_[i], work[3 * i + 1] = green_[i], work[3 * i + 2] = blue_[i];
    }
    std::array<int, 3 * (Width + 2)> spill{};
    for (int y = 0; y < Height; y += 2) {
      Chain first(work + 3 * y * Width,
                  y + 1 < Height ? work + 3 * (y + 1) * Width : spill.data() + 3);
      const bool pair = y + 1 < Height;
      Chain second(work + 3 * (y + 1) * Width,
                   y + 2 < Height ? work + 3 * (y + 2) * Width : spill.data() + 3);
      for (int step = 0; step < Width + 3; ++step) {
        if (step < Width) codes[y * Width + step] = first.Step(step, search, mix);
        if (pair && step >= 3)
          codes[(y + 1) * Width + step - 3] = second.Step(step - 3, search, mix);
      }
    }
  }

  // One row's diffusion: the working colour in registers, the below shares into `below`
  // (a row with a pad on each side).
  struct Chain {
    Chain(int* row, int* below) : row(row), below(below) {}
    [[gnu::always_inline]] int Step(int x, const MixChannels& search,
                                    const std::array<int, 30>& mix) {
      if (x == 0) r = row[0], g = row[1], b = row[2];
      const auto clamp = [](int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); };
      const int code = NearestMixCode(search, r, g, b);
      const int er = (r - mix[3 * code]) / 16, eg = (g - mix[3 * code + 1]) / 16,
                eb = (b - mix[3 * code + 2]) / 16;
      int* const under = below + 3 * x;
      if (x > 0) {
        under[-3] = clamp(under[-3] + 3 * er);
        under[-2] = clamp(under[-2] + 3 * eg);
        under[-1] = clamp(under[-1] + 3 * eb);
      }
      under[0] = clamp(under[0] + 5 * er);
      under[1] = clamp(under[1] + 5 * eg);
      under[2] = clamp(under[2] + 5 * eb);
      if (x + 1 < Width) {
        under[3] = clamp(under[3] + er);
        under[4] = clamp(under[4] + eg);
        under[5] = clamp(under[5] + eb);
        r = clamp(row[3 * x + 3] + 7 * er);
        g = clamp(row[3 * x + 4] + 7 * eg);
        b = clamp(row[3 * x + 5] + 7 * eb);
      }
      return code;
    }
    int* row;
    int* below;
    int r = 0, g = 0, b = 0;
  };

  // Sum of the CIELAB distances along one row.
  float RowError(int begin) const {
    const std::array<float, 4> lanes =
        RowDeltaE(&previewL_[begin], &previewA_[begin], &previewB_[begin], &sourceL_[begin],
                  &sourceA_[begin], &sourceB_[begin], Width);
    return (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
  }

  // Separable, five taps, edge pixels repeated (as the full window's blur does).
  void Blur(Floats& plane) {
    static_assert(Width % 4 == 0, "rows go four pixels at a time");
    alignas(16) std::array<float, Width + 8> row{};
    for (int y = 0; y < Height; ++y) {
      const float* src = plane.data() + y * Width;
      std::copy(src, src + Width, row.begin() + 2);
      row[0] = row[1] = src[0];
      row[Width + 2] = row[Width + 3] = src[Width - 1];
      float* dst = scratch_.data() + y * Width;
      for (int x = 0; x < Width; x += 4) {
        Store4(dst + x, Taps(&row[x], &row[x + 1], &row[x + 2], &row[x + 3], &row[x + 4]));
      }
    }
    for (int y = 0; y < Height; ++y) {
      const float* r[5];
      for (int k = 0; k < 5; ++k) {
        r[k] = scratch_.data() + std::clamp(y + k - 2, 0, Height - 1) * Width;
      }
      float* dst = plane.data() + y * Width;
      for (int x = 0; x < Width; x += 4) {
        Store4(dst + x, Taps(r[0] + x, r[1] + x, r[2] + x, r[3] + x, r[4] + x));
      }
    }
  }

  // The five taps for four neighbouring outputs; opposite taps are added before weighting.
  Float4 Taps(const float* p0, const float* p1, const float* p2, const float* p3,
              const float* p4) const {
    return (weights_[0] * (Load4(p0) + Load4(p4)) + weights_[1] * (Load4(p1) + Load4(p3))) +
           weights_[2] * Load4(p2);
  }

  Dithering dithering_;
  std::array<float, 5> weights_{};
  std::array<std::uint8_t, Count> red_{}, green_{}, blue_{};
  std::array<int, 3 * Count> work_{};
  std::array<std::int16_t, Count> labL_{}, labA_{}, labB_{};
  std::array<std::uint8_t, Count> codes_{};
  Floats sourceL_{}, sourceA_{}, sourceB_{}, previewL_{}, previewA_{}, previewB_{}, scratch_{};
  std::array<float, PaletteSize> lightness_{};
};

}  // namespace

struct ColourRoleEvaluator::Planes {
  ColourPlanes adjusted;
  ColourPlanes work;
  LabPlanes16 lab;  // the adjusted planes in CIELAB, for the low-flicker dithering
  MixCodes codes{};
  LabPlanes source;  // blurred once
  LabPlanes preview;
  FloatPlane scratch{};
  std::array<float, PaletteSize> lightness{};
};

ColourRoleEvaluator::ColourRoleEvaluator(const PackedRGB* adjusted, Dithering dithering)
    : planes_(std::make_unique<Planes>()), dithering_(dithering) {
  for (int i = 0; i < PixelCount; ++i) {
    planes_->adjusted.red[i] = (adjusted[i] >> 16) & 0xFF;
    planes_->adjusted.green[i] = (adjusted[i] >> 8) & 0xFF;
    planes_->adjusted.blue[i] = adjusted[i] & 0xFF;
  }
  ToLabPlanes16(planes_->adjusted, planes_->lab);
  ToLabPlanes(adjusted, WindowWidth, planes_->source);
  BlurLabPlanes(planes_->source, planes_->scratch);
  for (int c = 0; c < PaletteSize; ++c) planes_->lightness[c] = TColorToLab(C64Palette[c]).L;
}

ColourRoleEvaluator::~ColourRoleEvaluator() = default;

const MixCodes& ColourRoleEvaluator::Codes() const { return planes_->codes; }

RoleScore ColourRoleEvaluator::Evaluate(const ColourRoleSet& roles) {
  Planes& p = *planes_;
  const MixSlots table = BuildMixTable(RoleColours(roles));
  if (dithering_ == Dithering::LowFlicker) {
    const LowFlickerSlots slots = MakeLowFlickerSlots(table, roles);
    LowFlickerDither(p.lab.L.data(), p.lab.a.data(), p.lab.b.data(), WindowWidth, WindowHeight,
                     slots, p.codes.data(), nullptr);
  } else {
    p.work = p.adjusted;
    DiffuseErrors(p.work, table, dithering_ == Dithering::FloydSteinberg, p.codes, nullptr);
  }

  // The preview holds each pixel's mix colour, so its Lab planes come from nine colours.
  std::array<LabColour, 10> mixLab{};
  for (int code = 1; code <= 9; ++code) mixLab[code] = TColorToLab(table[code - 1]);
  std::array<int, 10> counts{};
  for (int i = 0; i < PixelCount; ++i) {
    const LabColour& c = mixLab[p.codes[i]];
    p.preview.L[i] = c.L;
    p.preview.a[i] = c.a;
    p.preview.b[i] = c.b;
    ++counts[p.codes[i]];
  }
  BlurLabPlanes(p.preview, p.scratch);

  RoleScore score;
  score.error = MeanDeltaE(p.source, p.preview);
  double flicker = 0;
  for (int code = 1; code <= 9; ++code) {
    const auto [first, second] = MixSlotRoles[code - 1];
    flicker += counts[code] *
               std::fabs(p.lightness[roles[first] & 0x0F] - p.lightness[roles[second] & 0x0F]);
  }
  score.flicker = flicker / PixelCount;
  return score;
}

double FlickerLambda(ColourGoal goal) { return Lambdas[static_cast<int>(goal)]; }

std::array<ColourRoleChoice, GoalCount> SearchColourRoleGoals(const PackedRGB* adjusted,
                                                              Dithering dithering) {
  // Coarse stage, shared by the goals: role sets that show the same mixes score alike here,
  // so one evaluation stands for all of them.
  CoarseWindow coarse(adjusted, dithering);
  std::unordered_map<std::uint32_t, RoleScore> coarseCache;
  int coarseEvaluations = 0, coarseLimit = 0;
  const auto coarseScore = [&](const ColourRoleSet& roles) {
    const std::uint32_t key = CanonicalKey(roles);
    if (const auto found = coarseCache.find(key); found != coarseCache.end()) return found->second;
    const RoleScore score = coarse.Evaluate(roles);
    ++coarseEvaluations;
    coarseCache.emplace(key, score);
    return score;
  };
  const auto coarseExhausted = [&] { return coarseEvaluations >= coarseLimit; };

  // Fine stage: every role set converted in full, in the order converted.
  std::vector<std::pair<ColourRoleSet, RoleScore>> scored;
  std::unordered_map<std::uint32_t, RoleScore> cache;
  ColourRoleEvaluator evaluator(adjusted, dithering);
  int fullLimit = 0;
  const auto score = [&](const ColourRoleSet& roles) {
    const std::uint32_t key = Key(roles);
    if (const auto found = cache.find(key); found != cache.end()) return found->second;
    const RoleScore s = evaluator.Evaluate(roles);
    cache.emplace(key, s);
    scored.emplace_back(roles, s);
    return s;
  };
  const auto exhausted = [&] { return static_cast<int>(scored.size()) >= fullLimit; };

  const PaletteEstimate estimate(adjusted);
  score(DefaultColourRoles);  // the defaults compete too
  std::vector<ColourRoleSet> coarseOptima{DefaultColourRoles}, fineOptima;
  for (int goal = 0; goal < GoalCount; ++goal) {
    const double lambda = Lambdas[goal];
    const Budget& budget = Budgets[goal];
    const auto objective = [lambda](const RoleScore& s) { return s.error + lambda * s.flicker; };
    const auto coarseCost = [&](const ColourRoleSet& roles) {
      return objective(coarseScore(roles));
    };
    const auto cost = [&](const ColourRoleSet& roles) { return objective(score(roles)); };

    // Descents on the coarse window from the estimate's best starts for this goal and from
    // the optima of the goals before it.
    coarseLimit += budget.coarse;
    std::vector<ColourRoleSet> starts =
        EstimatedStarts(estimate, static_cast<float>(lambda), budget.starts);
    // The earlier optima that do best for this goal (all scored already).
    std::stable_sort(coarseOptima.begin(), coarseOptima.end(),
                     [&](const ColourRoleSet& a, const ColourRoleSet& b) {
                       return coarseCost(a) < coarseCost(b);
                     });
    starts.insert(starts.end(), coarseOptima.begin(),
                  coarseOptima.begin() + std::min<int>(budget.earlier, coarseOptima.size()));
    const auto estimated = [&](const ColourRoleSet& roles, int role) {
      std::array<std::pair<float, int>, PaletteSize> ranked{};
      for (int c = 0; c < PaletteSize; ++c) {
        ColourRoleSet candidate = roles;
        candidate[role] = c;
        ranked[c] = {estimate.Cost(candidate, static_cast<float>(lambda)), c};
      }
      std::stable_sort(ranked.begin(), ranked.end());
      Colours best;
      for (int k = 0; k < CoarseColoursPerRole; ++k) best.index[best.count++] = ranked[k].second;
      std::sort(best.index.begin(), best.index.begin() + best.count);
      return best;
    };
    std::vector<std::pair<double, ColourRoleSet>> optima;
    for (const ColourRoleSet& start : starts) {
      if (coarseExhausted()) break;
      const ColourRoleSet optimum = Descend(start, coarseCost, estimated, coarseExhausted);
      optima.emplace_back(coarseCost(optimum), optimum);
      coarseOptima.push_back(optimum);
    }

    // The coarse ranking of nearby optima is not always the real one: every distinct coarse
    // optimum, and the optima of the goals before, is converted once and the best refined.
    fullLimit += budget.full;
    for (const ColourRoleSet& roles : fineOptima) optima.emplace_back(0, roles);
    std::vector<std::pair<double, ColourRoleSet>> candidates;
    std::vector<std::uint32_t> seen;
    for (const auto& [c, start] : optima) {
      const std::uint32_t key = CanonicalKey(start);
      if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
      seen.push_back(key);
      candidates.emplace_back(cost(start), start);
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    // Each role tries the colours the coarse window ranks best for it, the others held.
    const auto promising = [&](const ColourRoleSet& roles, int role) {
      std::array<std::pair<double, int>, PaletteSize> ranked{};
      for (int c = 0; c < PaletteSize; ++c) {
        ColourRoleSet candidate = roles;
        candidate[role] = c;
        ranked[c] = {coarseCost(candidate), c};
      }
      std::stable_sort(ranked.begin(), ranked.end());
      Colours best;
      for (int k = 0; k < FullColoursPerRole; ++k) best.index[best.count++] = ranked[k].second;
      std::sort(best.index.begin(), best.index.begin() + best.count);
      return best;
    };
    ColourRoleSet best = candidates.front().second;
    for (int k = 0; k < std::min<int>(RefinedOptima, candidates.size()) && !exhausted(); ++k) {
      const ColourRoleSet optimum = Descend(candidates[k].second, cost, promising, exhausted);
      if (cost(optimum) < cost(best)) best = optimum;
    }
    // The same mixes in other layers.
    for (const ColourRoleSet& other : EquivalentRoles(best)) {
      if (cost(other) < cost(best)) best = other;
    }
    fineOptima.push_back(best);
  }

  // Every goal takes its best of all the role sets converted, whichever goal's search found
  // them: a goal that weighs flicker more then never ends with more flicker.
  std::array<ColourRoleChoice, GoalCount> choices;
  RoleScore lowestError = scored.front().second;
  for (const auto& [roles, s] : scored) {
    if (s.error < lowestError.error) lowestError = s;
  }
  for (int goal = 0; goal < GoalCount; ++goal) {
    const auto cost = [lambda = Lambdas[goal]](const RoleScore& s) {
      return s.error + lambda * s.flicker;
    };
    ColourRoleChoice& choice = choices[goal];
    std::tie(choice.roles, choice.score) = scored.front();
    for (const auto& [roles, s] : scored) {
      if (cost(s) < cost(choice.score)) std::tie(choice.roles, choice.score) = std::tie(roles, s);
    }
    choice.bestError = lowestError;
    choice.evaluations = static_cast<int>(scored.size());
    choice.coarseEvaluations = coarseEvaluations;
  }
  return choices;
}

ColourRoleChoice SearchColourRoles(const PackedRGB* adjusted, Dithering dithering,
                                   ColourGoal goal) {
  return SearchColourRoleGoals(adjusted, dithering)[static_cast<int>(goal)];
}

ColourRoleSet ChooseColourRoles(const ConverterState& adjusted, Dithering dithering,
                                ColourGoal goal) {
  return SearchColourRoles(adjusted.Image1.Words(), dithering, goal).roles;
}

}  // namespace vantrel
