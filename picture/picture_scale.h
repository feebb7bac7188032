// Scale settings and the geometry they give: the Fit percentage, scaled sizes, which
// reduced decode a scale draws from, and the crop that keeps the window's centre.
#pragma once

#include <optional>
#include <string_view>

namespace vantrel {

// Above this a picture is too small to fill the window (fewer than 6 x 7 pixels).
inline constexpr int kMaxScalePercent = 3200;

// "Fit" or a whole percentage.
struct ScaleSetting {
  bool fit = false;
  int percent = 100;  // read when fit is false
  bool operator==(const ScaleSetting&) const = default;
};

// "fit" in any case, or a whole number 1..kMaxScalePercent with an optional "%" after it.
// Nothing for any other text.
std::optional<ScaleSetting> ParseScale(std::string_view text);

// A side of `length` pixels at `percent`: length * percent / 100 rounded down. The scaled
// picture's pixel X covers the source's [X * 100 / percent, (X + 1) * 100 / percent).
int ScaledLength(int length, int percent);

// The smallest percentage at which the width x height picture, scaled, still covers the
// whole 192 x 200 window: ceil(19200 / width) or ceil(20000 / height), the larger.
int FitPercent(int width, int height);

// The percentages a width x height picture may be shown at: from Fit to 100, or for a
// picture smaller than the window (Fit above 100) from Fit to 4 x Fit, at most
// kMaxScalePercent. Empty (min > max) for a picture below 6 x 7 pixels. Every allowed
// percentage scales the picture to at least 192 x 200.
struct PercentRange {
  int min;
  int max;
  bool Contains(int percent) const { return percent >= min && percent <= max; }
};
PercentRange AllowedPercents(int width, int height);

// The percentage a setting stands for with a width x height picture: Fit's, or the setting's
// brought to the nearest allowed one (100 % of a picture smaller than the window is Fit).
int ResolvePercent(const ScaleSetting& scale, int width, int height);

// The crop: the top-left corner of the 192 x 200 window in the scaled picture (0 or positive).
// The source view draws the picture at the opposite offset, and that offset is what the
// scroll bars hold and what ReadSourceWindow takes.
struct CropCorner {
  int left = 0;
  int top = 0;
  int DrawX() const { return -left; }
  int DrawY() const { return -top; }
  static CropCorner AtDrawingOffset(int x, int y) { return {-x, -y}; }
  bool operator==(const CropCorner&) const = default;
};

// Where the window may stand in a scaled picture: its corner anywhere from (0, 0) to
// (maxLeft, maxTop). A picture narrower or lower than the window has a negative maximum, and
// no corner fits in that direction.
struct CropRange {
  int maxLeft = 0;
  int maxTop = 0;
  bool Contains(CropCorner crop) const {
    return crop.left >= 0 && crop.top >= 0 && crop.left <= maxLeft && crop.top <= maxTop;
  }
  // The nearest corner inside the range (0 where none fits).
  CropCorner Clamp(CropCorner crop) const;
  // The scroll bars' minima: the drawing offsets of the far corner.
  int MinDrawX() const { return -maxLeft; }
  int MinDrawY() const { return -maxTop; }
};
CropRange CropRangeOf(int scaledWidth, int scaledHeight);

// Where the window goes when the scale of a width x height picture changes from oldPercent
// to newPercent: the picture point at the window's centre stays at the centre (to the
// nearest pixel), unless that would put the window outside the scaled picture, where it is
// clamped to the nearest edge.
CropCorner CropKeepingCentre(int width, int height, int oldPercent, CropCorner old, int newPercent);

// Which reduced decode a scale draws from: the largest of 1, 2, 4 and 8 that is still at
// least twice the scaled size (reduction * percent * 2 <= 100), so that the final filter
// always averages over two or more pixels of the level; 1 from 26 % up.
int LevelReduction(int percent);

}  // namespace vantrel
