// The scale geometry: Fit, the allowed range, scaled sizes and the centre-keeping crop.
#include "picture/picture_scale.h"

#include <algorithm>
#include <cctype>

#include "core/types.h"

namespace vantrel {
namespace {

int CeilDivide(long long a, long long b) { return static_cast<int>((a + b - 1) / b); }

// The crop's position along one side: centre kept, clamped to 0..scaled - window.
int KeepCentre(int length, int oldPercent, int oldStart, int newPercent, int window) {
  // The old centre in source pixels is (oldStart + window / 2) * 100 / oldPercent; the new
  // start is that times newPercent / 100, less half the window, rounded to nearest.
  const long long numerator = (2LL * oldStart + window) * newPercent - 1LL * window * oldPercent;
  const long long denominator = 2LL * oldPercent;
  const long long start = numerator >= 0 ? (numerator + denominator / 2) / denominator
                                         : -((-numerator + denominator / 2) / denominator);
  const long long last = std::max(0, ScaledLength(length, newPercent) - window);
  return static_cast<int>(std::clamp<long long>(start, 0, last));
}

}  // namespace

std::optional<ScaleSetting> ParseScale(std::string_view text) {
  if (text.size() == 3 && std::tolower(static_cast<unsigned char>(text[0])) == 'f' &&
      std::tolower(static_cast<unsigned char>(text[1])) == 'i' &&
      std::tolower(static_cast<unsigned char>(text[2])) == 't') {
    return ScaleSetting{true, 0};
  }
  if (!text.empty() && text.back() == '%') text.remove_suffix(1);
  if (text.empty() || text.size() > 5) return std::nullopt;
  int percent = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    percent = percent * 10 + (c - '0');
  }
  if (percent < 1 || percent > kMaxScalePercent) return std::nullopt;
  return ScaleSetting{false, percent};
}

int ScaledLength(int length, int percent) {
  return static_cast<int>(static_cast<long long>(length) * percent / 100);
}

int FitPercent(int width, int height) {
  return std::max(CeilDivide(100LL * WindowWidth, std::max(width, 1)),
                  CeilDivide(100LL * WindowHeight, std::max(height, 1)));
}

PercentRange AllowedPercents(int width, int height) {
  const int fit = FitPercent(width, height);
  if (fit <= 100) return {fit, 100};
  return {fit, std::min(kMaxScalePercent, 4 * fit)};
}

int ResolvePercent(const ScaleSetting& scale, int width, int height) {
  if (scale.fit) return FitPercent(width, height);
  const PercentRange range = AllowedPercents(width, height);
  return std::min(std::max(scale.percent, range.min), range.max);
}

CropCorner CropKeepingCentre(int width, int height, int oldPercent, CropCorner old,
                             int newPercent) {
  return {KeepCentre(width, oldPercent, old.left, newPercent, WindowWidth),
          KeepCentre(height, oldPercent, old.top, newPercent, WindowHeight)};
}

CropCorner CropRange::Clamp(CropCorner crop) const {
  return {std::clamp(crop.left, 0, std::max(maxLeft, 0)),
          std::clamp(crop.top, 0, std::max(maxTop, 0))};
}

CropRange CropRangeOf(int scaledWidth, int scaledHeight) {
  return {scaledWidth - WindowWidth, scaledHeight - WindowHeight};
}

int LevelReduction(int percent) {
  int reduction = 1;
  while (reduction < 8 && 2 * reduction * 2 * percent <= 100) reduction *= 2;
  return reduction;
}

}  // namespace vantrel
