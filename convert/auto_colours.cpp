// The role search: candidates scored on a half-size window, the best refined on the full one.
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
#include "colour/palettes.h"
#include "colour/perceptual.h"
#include "colour/scielab.h"
#include "convert/low_flicker_dither.h"
#include "convert/nearest_mix.h"
#include "core/float4.h"

namespace vantrel {
namespace {

constexpr int PaletteSize = 16;

// What Auto Colors minimises per goal: error + lambda * flicker, the error the mean of
// S-CIELAB at 12 and 24 pixels per degree, the flicker in units of L*; a goal gives up at most
// lambda units of error for one unit less flicker. Faithful (0.06) takes nearly the least
// error (at 0 the judged windows gain 0.2 % of it back for 2 % more flicker with
// Floyd-Steinberg, 28 % more with the low-flicker dithering). Balanced (0.18) and Calm (0.28)
// sit where Floyd-Steinberg's trade has its steps: on the judged windows a third of the
// flicker gone for 7 % more error, and more than half of it for 16 %; at 0.25 Calm keeps 60 %
// of the flicker for 10 %. The low-flicker dithering buys its calm per pixel and gets more of
// it for the same lambdas.
constexpr std::array<double, GoalCount> Lambdas = {0.06, 0.18, 0.28};

// The budget of one search, for all goals together; a coarse conversion costs about a
// fifth of a full one. The first goal explores widely, the others mostly from its optima.
// A fifth more of either changes the judged windows' means by less than 0.5 %.
struct Budget {
  int starts;   // estimated starts descended on the coarse window
  int earlier;  // optima of earlier goals descended again
  int coarse;   // coarse conversions
  int full;     // full conversions
};
constexpr std::array<Budget, GoalCount> Budgets = {
    {{5, 0, 320, 40}, {2, 2, 160, 20}, {2, 2, 160, 20}}};
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
  PaletteEstimate(const PackedRGB* adjusted, const ColourModel& model) {
    std::vector<std::array<std::uint32_t, 4>> boxes(512);  // red, green, blue sums, count
    for (int i = 0; i < PixelCount; ++i) {
      const PackedRGB c = adjusted[i];
      auto& box = boxes[((c >> 15) & 0x1C0) | ((c >> 10) & 0x38) | ((c >> 5) & 0x7)];
      box[0] += (c >> 16) & 0xFF;
      box[1] += (c >> 8) & 0xFF;
      box[2] += c & 0xFF;
      ++box[3];
    }
    const std::array<TColor, 16>& palette = PaletteColours(model.palette);
    std::array<LabColour, PairCount> pairLab{};
    for (int first = 0, pair = 0; first < PaletteSize; ++first) {
      for (int second = first; second < PaletteSize; ++second, ++pair) {
        pairId_[first][second] = pairId_[second][first] = pair;
        pairLab[pair] = TColorToLab(MixColours(palette[first], palette[second], model.mix));
        flicker_[pair] = std::fabs(TColorToLab(palette[first]).L - TColorToLab(palette[second]).L);
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

// What the eye makes of a preview at both distances, against the source, and how much the
// preview flickers: for the window and for its half-size copy. The source is measured once.
class PreviewMeasure {
 public:
  PreviewMeasure(const PackedRGB* source, int width, int height, double pixelsPerDegreeScale,
                 const ColourModel& model)
      : near_(NearPixelsPerDegree * pixelsPerDegreeScale, width, height),
        far_(FarPixelsPerDegree * pixelsPerDegreeScale, width, height),
        sourceNear_(width, height),
        sourceFar_(width, height),
        previewNear_(width, height),
        previewFar_(width, height) {
    ToOpponent(source, width, sourceNear_);
    sourceFar_ = sourceNear_;
    near_.Perceive(sourceNear_);
    far_.Perceive(sourceFar_);
    const std::array<TColor, 16>& palette = PaletteColours(model.palette);
    for (int c = 0; c < PaletteSize; ++c) lightness_[c] = TColorToLab(palette[c]).L;
  }

  // `codes`: the MixCode of every pixel, for the mix table made from `roles`.
  RoleScore Score(const std::uint8_t* codes, const MixSlots& table, const ColourRoleSet& roles) {
    std::array<std::array<float, 3>, 10> mix{};
    for (int code = 1; code <= 9; ++code) {
      const TColor m = table[code - 1];
      mix[code] = OpponentOf(RedOf(m), GreenOf(m), BlueOf(m));
    }
    std::array<int, 10> counts{};
    const int count = previewNear_.width * previewNear_.height;
    float* const o[3] = {previewNear_.plane[0].data(), previewNear_.plane[1].data(),
                         previewNear_.plane[2].data()};
    for (int i = 0; i < count; ++i) {
      const auto& c = mix[codes[i]];
      o[0][i] = c[0], o[1][i] = c[1], o[2][i] = c[2];
      ++counts[codes[i]];
    }
    previewFar_.plane = previewNear_.plane;
    near_.Perceive(previewNear_);
    far_.Perceive(previewFar_);
    RoleScore score;
    score.near = MeanLabDifference(sourceNear_, previewNear_);
    score.far = MeanLabDifference(sourceFar_, previewFar_);
    score.error = (score.near + score.far) / 2;
    double flicker = 0;
    for (int code = 1; code <= 9; ++code) {
      const auto [first, second] = MixSlotRoles[code - 1];
      flicker += counts[code] *
                 std::fabs(lightness_[roles[first] & 0x0F] - lightness_[roles[second] & 0x0F]);
    }
    score.flicker = flicker / count;
    return score;
  }

 private:
  ScielabEye near_, far_;
  FloatPicture sourceNear_, sourceFar_, previewNear_, previewFar_;
  std::array<float, PaletteSize> lightness_{};
};

// The window at half size (2 x 2 pixels averaged), converted with the same dithering and
// measured with S-CIELAB from the same two distances, which hold half as many of its pixels
// per degree (6 and 12): a conversion costs about a fifth of a full one and ranks role sets
// nearly as the full window does (on 40 role sets around the optimum of each judged window and
// other photo, Spearman's rank correlation with the full window's error is 0.93 to 1.00, 0.98
// on average, for either dithering: as close as at the full window's pixels per degree, at
// three quarters of the cost), so the search can afford many starts.
class CoarseWindow {
 public:
  using Int4 = int __attribute__((vector_size(16)));
  static constexpr int Width = WindowWidth / 2, Height = WindowHeight / 2, Count = Width * Height;

  CoarseWindow(const PackedRGB* adjusted, Dithering dithering, const ColourModel& model)
      : dithering_(dithering),
        model_(model),
        measure_(Averaged(adjusted).data(), Width, Height, 0.5, model) {
    for (int i = 0; i < Count; ++i) {
      const PackedRGB c = averaged_[i];
      red_[i] = (c >> 16) & 0xFF, green_[i] = (c >> 8) & 0xFF, blue_[i] = c & 0xFF;
      const auto q = SrgbToLab16(red_[i], green_[i], blue_[i]);
      labL_[i] = static_cast<std::int16_t>(q[0]);
      labA_[i] = static_cast<std::int16_t>(q[1]);
      labB_[i] = static_cast<std::int16_t>(q[2]);
    }
  }

  RoleScore Evaluate(const ColourRoleSet& roles) {
    const MixSlots table = BuildMixTable(RoleColours(roles, model_), model_);
    if (dithering_ == Dithering::LowFlicker) {
      LowFlickerDither(labL_.data(), labA_.data(), labB_.data(), Width, Height,
                       MakeLowFlickerSlots(table, roles, model_), codes_.data(), nullptr);
    } else {
      DiffuseDroppingEdgeShares(table, dithering_ == Dithering::FloydSteinberg);
    }
    return measure_.Score(codes_.data(), table, roles);
  }

 private:
  // The 2 x 2 averages, kept for the constructor's other members.
  const std::array<PackedRGB, Count>& Averaged(const PackedRGB* adjusted) {
    for (int y = 0; y < Height; ++y) {
      for (int x = 0; x < Width; ++x) {
        unsigned sum[3] = {0, 0, 0};
        for (int dy = 0; dy < 2; ++dy) {
          for (int dx = 0; dx < 2; ++dx) {
            const PackedRGB c = adjusted[(2 * y + dy) * WindowWidth + 2 * x + dx];
            sum[0] += (c >> 16) & 0xFF, sum[1] += (c >> 8) & 0xFF, sum[2] += c & 0xFF;
          }
        }
        averaged_[y * Width + x] =
            MakePackedRGB((sum[0] + 2) / 4, (sum[1] + 2) / 4, (sum[2] + 2) / 4);
      }
    }
    return averaged_;
  }

  // Floyd-Steinberg with the conversion's choice and shares (nearest by channel differences,
  // error / 16 truncated, 7/3/5/1 shares clamped), but shares that fall beside the picture
  // are dropped, where the conversion's run on into the next or previous row. That wrap
  // belongs to the conversion's one run of 192-pixel rows; on a picture half as wide it would
  // carry the error to pixels that are not neighbours of the window's, and this copy only
  // steers the search. Locals only in the loop: the byte stores would otherwise make the
  // compiler reload everything after each.
  void DiffuseDroppingEdgeShares(const MixSlots& table, bool dither) {
    const VectorMix search(table);
    std::array<Int4, 10> mix{};
    for (int code = 1; code <= 9; ++code) {
      const TColor m = table[code - 1];
      mix[code] = Int4{static_cast<int>(RedOf(m)), static_cast<int>(GreenOf(m)),
                       static_cast<int>(BlueOf(m)), 0};
    }
    std::uint8_t* const codes = codes_.data();
    if (!dither) {
      for (int i = 0; i < Count; ++i) {
        codes[i] = static_cast<std::uint8_t>(search.Nearest(red_[i], green_[i], blue_[i]));
      }
      return;
    }
    // Rows go in pairs, the second three pixels behind the first, when the pixels it reads
    // have all they receive from above: two independent chains the processor overlaps.
    Int4* const work = work_.data();
    for (int i = 0; i < Count; ++i) work[i] = Int4{red_[i], green_[i], blue_[i], 0};
    std::array<Int4, Width + 2> spill{};
    for (int y = 0; y < Height; y += 2) {
      Chain first(work + y * Width, y + 1 < Height ? work + (y + 1) * Width : spill.data() + 1);
      const bool pair = y + 1 < Height;
      Chain second(work + (y + 1) * Width,
                   y + 2 < Height ? work + (y + 2) * Width : spill.data() + 1);
      for (int step = 0; step < Width + 3; ++step) {
        if (step < Width) codes[y * Width + step] = first.Step(step, search, mix);
        if (pair && step >= 3)
          codes[(y + 1) * Width + step - 3] = second.Step(step - 3, search, mix);
      }
    }
  }

  // NearestMixCode's rule with slots 1..8 side by side in one vector: the sum of absolute
  // channel differences in the high bits of a 16-bit key, the code in the low four.
  struct VectorMix {
    using Short8 = std::int16_t __attribute__((vector_size(16)));
    explicit VectorMix(const MixSlots& table) {
      for (int k = 0; k < 8; ++k) {
        red[k] = static_cast<std::int16_t>(RedOf(table[k]));
        green[k] = static_cast<std::int16_t>(GreenOf(table[k]));
        blue[k] = static_cast<std::int16_t>(BlueOf(table[k]));
        code[k] = static_cast<std::int16_t>(k + 1);
      }
      red9 = RedOf(table[8]), green9 = GreenOf(table[8]), blue9 = BlueOf(table[8]);
    }
    [[gnu::always_inline]] int Nearest(int r, int g, int b) const {
      const auto absolute = [](Short8 v) { return v < 0 ? -v : v; };
      const Short8 d = absolute(red - static_cast<std::int16_t>(r)) +
                       absolute(green - static_cast<std::int16_t>(g)) +
                       absolute(blue - static_cast<std::int16_t>(b));
      Short8 key = (d << 4) | code;
      const auto least = [](Short8 a, Short8 b) { return a < b ? a : b; };
      key = least(key, __builtin_shufflevector(key, key, 4, 5, 6, 7, 0, 1, 2, 3));
      key = least(key, __builtin_shufflevector(key, key, 2, 3, 0, 1, 6, 7, 4, 5));
      key = least(key, __builtin_shufflevector(key, key, 1, 0, 3, 2, 5, 4, 7, 6));
      const int ninth = (std::abs(red9 - r) + std::abs(green9 - g) + std::abs(blue9 - b)) << 4 | 9;
      return std::min<int>(key[0], ninth) & 15;
    }
    Short8 red{}, green{}, blue{}, code{};
    int red9 = 0, green9 = 0, blue9 = 0;
  };

  // One row's diffusion: the working colour (red, green, blue, 0) in a register, the below
  // shares into `below` (a row with a pad on each side).
  struct Chain {
    Chain(Int4* row, Int4* below) : row(row), below(below) {}
    [[gnu::always_inline]] int Step(int x, const VectorMix& search,
                                    const std::array<Int4, 10>& mix) {
      if (x == 0) w = row[0];
      const auto clamp = [](Int4 v) {
        v = v < 0 ? 0 : v;
        return v > 255 ? 255 : v;
      };
      const int code = search.Nearest(w[0], w[1], w[2]);
      const Int4 e = (w - mix[code]) / 16;
      Int4* const under = below + x;
      if (x > 0) under[-1] = clamp(under[-1] + 3 * e);
      under[0] = clamp(under[0] + 5 * e);
      if (x + 1 < Width) {
        under[1] = clamp(under[1] + e);
        w = clamp(row[x + 1] + 7 * e);
      }
      return code;
    }
    Int4* row;
    Int4* below;
    Int4 w{};
  };

  Dithering dithering_;
  ColourModel model_;
  std::array<PackedRGB, Count> averaged_{};
  PreviewMeasure measure_;
  std::array<std::uint8_t, Count> red_{}, green_{}, blue_{};
  std::array<Int4, Count> work_{};
  std::array<std::int16_t, Count> labL_{}, labA_{}, labB_{};
  std::array<std::uint8_t, Count> codes_{};
};

// The search for all goals of one window and dithering. The coarse stage is shared by the
// goals: role sets that show the same mixes score alike there, so one evaluation stands for
// all of them. The fine stage converts the window itself and keeps every role set it scored,
// in order, for the goals to choose from at the end.
class RoleSearch {
 public:
  RoleSearch(const PackedRGB* adjusted, Dithering dithering, const SearchControl& control,
             const ColourModel& model)
      : control_(control),
        estimate_(adjusted, model),
        coarse_(adjusted, dithering, model),
        evaluator_(adjusted, dithering, model) {
    for (const Budget& b : Budgets) plannedWork_ += b.coarse + FullWork * b.full;
  }

  std::array<ColourRoleChoice, GoalCount> Run() {
    Full(DefaultColourRoles);  // the defaults compete too
    coarseOptima_.push_back(DefaultColourRoles);
    for (int goal = 0; goal < GoalCount; ++goal) {
      lambda_ = Lambdas[goal];
      coarseLimit_ += Budgets[goal].coarse;
      fullLimit_ += Budgets[goal].full;
      fineOptima_.push_back(Refine(DescendCoarse(Starts(goal))));
    }
    Report(1000);
    return Choices();
  }

 private:
  // A full conversion costs about this many coarse ones, for the progress.
  static constexpr double FullWork = 6;

  double Objective(const RoleScore& s) const { return s.error + lambda_ * s.flicker; }

  // Between conversions: the caller may stop the search, and hears how far it is.
  void BeforeConversion() {
    if (control_.cancelled && control_.cancelled()) throw SearchCancelled();
    const double done = coarseEvaluations_ + FullWork * static_cast<double>(scored_.size());
    Report(std::min(999, static_cast<int>(1000 * done / plannedWork_)));
  }

  void Report(int permille) {
    if (permille <= reported_) return;
    reported_ = permille;
    if (control_.progress) control_.progress(permille);
  }

  RoleScore Coarse(const ColourRoleSet& roles) {
    const std::uint32_t key = CanonicalKey(roles);
    if (const auto found = coarseCache_.find(key); found != coarseCache_.end()) {
      return found->second;
    }
    BeforeConversion();
    const RoleScore score = coarse_.Evaluate(roles);
    ++coarseEvaluations_;
    coarseCache_.emplace(key, score);
    return score;
  }

  RoleScore Full(const ColourRoleSet& roles) {
    const std::uint32_t key = Key(roles);
    if (const auto found = fullCache_.find(key); found != fullCache_.end()) return found->second;
    BeforeConversion();
    const RoleScore score = evaluator_.Evaluate(roles);
    fullCache_.emplace(key, score);
    scored_.emplace_back(roles, score);
    return score;
  }

  double CoarseCost(const ColourRoleSet& roles) { return Objective(Coarse(roles)); }
  double FullCost(const ColourRoleSet& roles) { return Objective(Full(roles)); }
  bool CoarseExhausted() const { return coarseEvaluations_ >= coarseLimit_; }
  bool FullExhausted() const { return static_cast<int>(scored_.size()) >= fullLimit_; }

  // The estimate's best starts for this goal, then the optima of the goals before that do
  // best for it (all scored already).
  std::vector<ColourRoleSet> Starts(int goal) {
    std::vector<ColourRoleSet> starts =
        EstimatedStarts(estimate_, static_cast<float>(lambda_), Budgets[goal].starts);
    std::stable_sort(coarseOptima_.begin(), coarseOptima_.end(),
                     [&](const ColourRoleSet& a, const ColourRoleSet& b) {
                       return CoarseCost(a) < CoarseCost(b);
                     });
    const int earlier = std::min<int>(Budgets[goal].earlier, coarseOptima_.size());
    starts.insert(starts.end(), coarseOptima_.begin(), coarseOptima_.begin() + earlier);
    return starts;
  }

  // The optimum of a descent on the coarse window from each start, while the budget lasts.
  std::vector<ColourRoleSet> DescendCoarse(const std::vector<ColourRoleSet>& starts) {
    std::vector<ColourRoleSet> optima;
    for (const ColourRoleSet& start : starts) {
      if (CoarseExhausted()) break;
      const ColourRoleSet optimum = Descend(
          start, [this](const ColourRoleSet& r) { return CoarseCost(r); },
          [this](const ColourRoleSet& r, int role) { return EstimatedColours(r, role); },
          [this] { return CoarseExhausted(); });
      optima.push_back(optimum);
      coarseOptima_.push_back(optimum);
    }
    return optima;
  }

  // The coarse ranking of nearby optima is not always the real one: every distinct coarse
  // optimum, and the optima of the goals before, is converted once, the best refined on the
  // window, and then the role sets that show the same mixes in other layers are tried.
  ColourRoleSet Refine(std::vector<ColourRoleSet> optima) {
    optima.insert(optima.end(), fineOptima_.begin(), fineOptima_.end());
    std::vector<std::pair<double, ColourRoleSet>> candidates;
    std::vector<std::uint32_t> seen;
    for (const ColourRoleSet& start : optima) {
      const std::uint32_t key = CanonicalKey(start);
      if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
      seen.push_back(key);
      candidates.emplace_back(FullCost(start), start);
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    ColourRoleSet best = candidates.front().second;
    for (int k = 0; k < std::min<int>(RefinedOptima, candidates.size()) && !FullExhausted(); ++k) {
      const ColourRoleSet optimum = Descend(
          candidates[k].second, [this](const ColourRoleSet& r) { return FullCost(r); },
          [this](const ColourRoleSet& r, int role) { return PromisingColours(r, role); },
          [this] { return FullExhausted(); });
      if (FullCost(optimum) < FullCost(best)) best = optimum;
    }
    for (const ColourRoleSet& other : EquivalentRoles(best)) {
      if (FullCost(other) < FullCost(best)) best = other;
    }
    return best;
  }

  // The colours the estimate ranks best for `role`, the others held.
  Colours EstimatedColours(const ColourRoleSet& roles, int role) const {
    std::array<std::pair<float, int>, PaletteSize> ranked{};
    for (int c = 0; c < PaletteSize; ++c) {
      ColourRoleSet candidate = roles;
      candidate[role] = c;
      ranked[c] = {estimate_.Cost(candidate, static_cast<float>(lambda_)), c};
    }
    std::stable_sort(ranked.begin(), ranked.end());
    return Best(ranked, CoarseColoursPerRole);
  }

  // The colours the coarse window ranks best for `role`, the others held.
  Colours PromisingColours(const ColourRoleSet& roles, int role) {
    std::array<std::pair<double, int>, PaletteSize> ranked{};
    for (int c = 0; c < PaletteSize; ++c) {
      ColourRoleSet candidate = roles;
      candidate[role] = c;
      ranked[c] = {CoarseCost(candidate), c};
    }
    std::stable_sort(ranked.begin(), ranked.end());
    return Best(ranked, FullColoursPerRole);
  }

  template <typename Ranked>
  static Colours Best(const Ranked& ranked, int count) {
    Colours best;
    for (int k = 0; k < count; ++k) best.index[best.count++] = ranked[k].second;
    std::sort(best.index.begin(), best.index.begin() + best.count);
    return best;
  }

  // Every goal takes its best of all the role sets converted, whichever goal's search found
  // them: a goal that weighs flicker more then never ends with more flicker.
  std::array<ColourRoleChoice, GoalCount> Choices() const {
    std::array<ColourRoleChoice, GoalCount> choices;
    RoleScore lowestError = scored_.front().second;
    for (const auto& [roles, s] : scored_) {
      if (s.error < lowestError.error) lowestError = s;
    }
    for (int goal = 0; goal < GoalCount; ++goal) {
      const auto cost = [lambda = Lambdas[goal]](const RoleScore& s) {
        return s.error + lambda * s.flicker;
      };
      ColourRoleChoice& choice = choices[goal];
      std::tie(choice.roles, choice.score) = scored_.front();
      for (const auto& [roles, s] : scored_) {
        if (cost(s) < cost(choice.score)) std::tie(choice.roles, choice.score) = std::tie(roles, s);
      }
      choice.bestError = lowestError;
      choice.evaluations = static_cast<int>(scored_.size());
      choice.coarseEvaluations = coarseEvaluations_;
    }
    return choices;
  }

  const SearchControl& control_;
  const PaletteEstimate estimate_;
  CoarseWindow coarse_;
  ColourRoleEvaluator evaluator_;
  std::unordered_map<std::uint32_t, RoleScore> coarseCache_, fullCache_;
  std::vector<std::pair<ColourRoleSet, RoleScore>> scored_;  // in the order converted
  std::vector<ColourRoleSet> coarseOptima_, fineOptima_;
  int coarseEvaluations_ = 0, coarseLimit_ = 0, fullLimit_ = 0;
  double lambda_ = 0;  // the goal being searched
  double plannedWork_ = 0;
  int reported_ = -1;
};

}  // namespace

const char* SearchCancelled::what() const noexcept { return "the colour search was cancelled"; }

struct ColourRoleEvaluator::Planes {
  Planes(const PackedRGB* adjusted, const ColourModel& model)
      : measure(adjusted, WindowWidth, WindowHeight, 1.0, model) {}
  ColourPlanes adjusted;
  ColourPlanes work;
  LabPlanes16 lab;  // the adjusted planes in CIELAB, for the low-flicker dithering
  MixCodes codes{};
  PreviewMeasure measure;
};

ColourRoleEvaluator::ColourRoleEvaluator(const PackedRGB* adjusted, Dithering dithering,
                                         const ColourModel& model)
    : planes_(std::make_unique<Planes>(adjusted, model)), dithering_(dithering), model_(model) {
  for (int i = 0; i < PixelCount; ++i) {
    planes_->adjusted.red[i] = (adjusted[i] >> 16) & 0xFF;
    planes_->adjusted.green[i] = (adjusted[i] >> 8) & 0xFF;
    planes_->adjusted.blue[i] = adjusted[i] & 0xFF;
  }
  ToLabPlanes16(planes_->adjusted, planes_->lab);
}

ColourRoleEvaluator::~ColourRoleEvaluator() = default;

const MixCodes& ColourRoleEvaluator::Codes() const { return planes_->codes; }

RoleScore ColourRoleEvaluator::Evaluate(const ColourRoleSet& roles) {
  Planes& p = *planes_;
  const MixSlots table = BuildMixTable(RoleColours(roles, model_), model_);
  if (dithering_ == Dithering::LowFlicker) {
    const LowFlickerSlots slots = MakeLowFlickerSlots(table, roles, model_);
    LowFlickerDither(p.lab.L.data(), p.lab.a.data(), p.lab.b.data(), WindowWidth, WindowHeight,
                     slots, p.codes.data(), nullptr);
  } else {
    p.work = p.adjusted;
    DiffuseErrors(p.work, table, dithering_ == Dithering::FloydSteinberg, p.codes, nullptr);
  }
  return p.measure.Score(p.codes.data(), table, roles);
}

double FlickerLambda(ColourGoal goal) { return Lambdas[static_cast<int>(goal)]; }

std::array<ColourRoleChoice, GoalCount> SearchColourRoleGoals(const PackedRGB* adjusted,
                                                              Dithering dithering,
                                                              const SearchControl& control,
                                                              const ColourModel& model) {
  return RoleSearch(adjusted, dithering, control, model).Run();
}

ColourRoleChoice SearchColourRoles(const PackedRGB* adjusted, Dithering dithering, ColourGoal goal,
                                   const SearchControl& control, const ColourModel& model) {
  return SearchColourRoleGoals(adjusted, dithering, control, model)[static_cast<int>(goal)];
}

ColourRoleSet ChooseColourRoles(const ConverterState& adjusted, Dithering dithering,
                                ColourGoal goal, const SearchControl& control) {
  return SearchColourRoles(adjusted.Image1.Words(), dithering, goal, control, adjusted.Model).roles;
}

}  // namespace vantrel
