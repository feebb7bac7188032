#include "convert/auto_colours.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "colour/mix_colours.h"
#include "colour/palette.h"
#include "colour/perceptual.h"

namespace vantrel {
namespace {

constexpr int PaletteSize = 16;

// The conversions the descents of one search may run (two more try other frame pairings);
// at about half a millisecond each this keeps a search well within a quarter of a second.
constexpr int MaxEvaluations = 240;
// Starts the search refines with real conversions, best estimate first.
constexpr int RefinedStarts = 4;
// While refining a start, each role tries only the colours the estimate ranks best.
constexpr int ColoursTriedPerRole = 6;
// Role sets whose error is within this factor of the best compete on flicker.
constexpr double FlickerTolerance = 1.02;

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
// starts, which colours it tries): every colour of the window (grouped into boxes of 4 bits
// per channel) is charged the CIELAB distance to its nearest mix colour, weighted by how
// many pixels have it. It ignores dithering, which the real conversions account for.
class PaletteEstimate {
 public:
  explicit PaletteEstimate(const PackedRGB* adjusted) {
    std::vector<std::array<std::uint32_t, 4>> boxes(4096);  // red, green, blue sums, count
    for (int i = 0; i < PixelCount; ++i) {
      const PackedRGB c = adjusted[i];
      auto& box = boxes[((c >> 12) & 0xF00) | ((c >> 8) & 0xF0) | ((c >> 4) & 0xF)];
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

  float Cost(const ColourRoleSet& roles) const {
    std::array<int, 9> pairs{};
    for (int slot = 0; slot < 9; ++slot) {
      const auto [first, second] = MixSlotRoles[slot];
      pairs[slot] = pairId_[roles[first] & 0x0F][roles[second] & 0x0F];
    }
    float total = 0;
    const float* row = distances_.data();
    for (const float weight : weights_) {
      float nearest = row[pairs[0]];
      for (int slot = 1; slot < 9; ++slot) nearest = std::min(nearest, row[pairs[slot]]);
      total += weight * nearest;
      row += PairCount;
    }
    return total;
  }

 private:
  static constexpr int PairCount = PaletteSize * (PaletteSize + 1) / 2;
  std::array<std::array<int, PaletteSize>, PaletteSize> pairId_{};
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

// Start points for the real search: the estimate's local optima from the default roles
// and from every single-colour picture, best first, one per set of equivalent roles.
std::vector<ColourRoleSet> EstimatedStarts(const PaletteEstimate& estimate) {
  const auto cost = [&](const ColourRoleSet& roles) { return estimate.Cost(roles); };
  const auto never = [] { return false; };
  std::vector<std::pair<float, ColourRoleSet>> optima;
  std::vector<ColourRoleSet> seeds{DefaultColourRoles};
  for (int c = 0; c < PaletteSize; ++c) seeds.push_back(ColourRoleSet{c, c, c, c, c});
  for (const ColourRoleSet& seed : seeds) {
    const ColourRoleSet optimum = Descend(seed, cost, EveryColour, never);
    optima.emplace_back(estimate.Cost(optimum), optimum);
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
    if (static_cast<int>(starts.size()) == RefinedStarts) break;
  }
  return starts;
}

}  // namespace

struct ColourRoleEvaluator::Planes {
  ColourPlanes adjusted;
  ColourPlanes work;
  MixCodes codes{};
  LabPlanes source;  // blurred once
  LabPlanes preview;
  FloatPlane scratch{};
  std::array<float, PaletteSize> lightness{};
};

ColourRoleEvaluator::ColourRoleEvaluator(const PackedRGB* adjusted, bool dither)
    : planes_(std::make_unique<Planes>()), dither_(dither) {
  for (int i = 0; i < PixelCount; ++i) {
    planes_->adjusted.red[i] = (adjusted[i] >> 16) & 0xFF;
    planes_->adjusted.green[i] = (adjusted[i] >> 8) & 0xFF;
    planes_->adjusted.blue[i] = adjusted[i] & 0xFF;
  }
  ToLabPlanes(adjusted, WindowWidth, planes_->source);
  BlurLabPlanes(planes_->source, planes_->scratch);
  for (int c = 0; c < PaletteSize; ++c) planes_->lightness[c] = TColorToLab(C64Palette[c]).L;
}

ColourRoleEvaluator::~ColourRoleEvaluator() = default;

const MixCodes& ColourRoleEvaluator::Codes() const { return planes_->codes; }

RoleScore ColourRoleEvaluator::Evaluate(const ColourRoleSet& roles) {
  Planes& p = *planes_;
  const MixSlots table = BuildMixTable(RoleColours(roles));
  p.work = p.adjusted;
  DiffuseErrors(p.work, table, dither_, p.codes, nullptr);

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

ColourRoleChoice SearchColourRoles(const PackedRGB* adjusted, bool dither) {
  ColourRoleEvaluator evaluator(adjusted, dither);
  // Every role set scored so far, in the order scored.
  std::vector<std::pair<ColourRoleSet, RoleScore>> scored;
  std::unordered_map<std::uint32_t, RoleScore> cache;
  const auto score = [&](const ColourRoleSet& roles) {
    const std::uint32_t key = Key(roles);
    if (const auto found = cache.find(key); found != cache.end()) return found->second;
    const RoleScore s = evaluator.Evaluate(roles);
    cache.emplace(key, s);
    scored.emplace_back(roles, s);
    return s;
  };
  const auto error = [&](const ColourRoleSet& roles) { return score(roles).error; };
  const auto exhausted = [&] { return static_cast<int>(scored.size()) >= MaxEvaluations; };

  const PaletteEstimate estimate(adjusted);
  // The other colours the estimate ranks best for a role, the others held.
  const auto promising = [&](const ColourRoleSet& roles, int role) {
    std::array<std::pair<float, int>, PaletteSize> ranked{};
    int count = 0;
    for (int c = 0; c < PaletteSize; ++c) {
      if (c == roles[role]) continue;
      ColourRoleSet candidate = roles;
      candidate[role] = c;
      ranked[count++] = {estimate.Cost(candidate), c};
    }
    std::sort(ranked.begin(), ranked.begin() + count);
    Colours best;
    for (int k = 0; k < ColoursTriedPerRole; ++k) best.index[best.count++] = ranked[k].second;
    std::sort(best.index.begin(), best.index.begin() + best.count);
    return best;
  };

  // The defaults compete too, so the choice never does worse than them.
  score(DefaultColourRoles);
  ColourRoleSet best = DefaultColourRoles;
  for (const ColourRoleSet& start : EstimatedStarts(estimate)) {
    if (exhausted()) break;
    const ColourRoleSet optimum = Descend(start, error, promising, exhausted);
    if (error(optimum) < error(best)) best = optimum;
  }
  // The best start's optimum once more with every colour open to every role.
  best = Descend(best, error, EveryColour, exhausted);
  // The other two ways of pairing the four frame colours into frames mix differently and
  // often flicker less; give them a chance on flicker.
  score(ColourRoleSet{best[0], best[1], best[3], best[2], best[4]});
  score(ColourRoleSet{best[0], best[1], best[4], best[3], best[2]});

  ColourRoleChoice choice;
  choice.evaluations = static_cast<int>(scored.size());
  choice.bestError = scored.front().second;
  for (const auto& [roles, s] : scored) {
    if (s.error < choice.bestError.error) choice.bestError = s;
  }
  bool found = false;
  for (const auto& [roles, s] : scored) {
    if (s.error > FlickerTolerance * choice.bestError.error) continue;
    if (!found || s.flicker < choice.score.flicker ||
        (s.flicker == choice.score.flicker && s.error < choice.score.error)) {
      choice.roles = roles;
      choice.score = s;
      found = true;
    }
  }
  return choice;
}

ColourRoleSet ChooseColourRoles(const ConverterState& adjusted, bool dither) {
  return SearchColourRoles(adjusted.Image1.Words(), dither).roles;
}

}  // namespace vantrel
