// S-CIELAB (Zhang and Wandell, 1996): the CIELAB difference of two pictures as the eye sees
// them from a given distance. Both go into three opponent channels (luminance, red-green,
// blue-yellow), each channel is blurred by the eye's sum of Gaussians for that channel, and
// the blurred pictures go back to XYZ and CIELAB, where the CIE76 difference is taken pixel
// by pixel. The eye resolves far more detail in luminance than in colour, so noise of light
// and dark dots counts much more than noise of hues that average out, and both count less the
// more pixels a degree of the view holds.
#pragma once

#include <array>
#include <vector>

#include "core/types.h"

namespace vantrel {

// The two viewing distances the program reports and optimises: at 12 pixels per degree the
// C64's 320-pixel screen is 27 degrees wide, seen from about twice its width; at 24 from
// about four times its width.
inline constexpr double NearPixelsPerDegree = 12, FarPixelsPerDegree = 24;

// Three planes of floats, `width` (a multiple of 8) by `height`, row after row: opponent
// channels on the way in, L*, a*, b* on the way out.
struct FloatPicture {
  FloatPicture(int width, int height);
  int width, height;
  std::array<std::vector<float>, 3> plane;
};

// The opponent channels of an sRGB colour: linear light, XYZ (white Y = 1), then the paper's
// transform.
std::array<float, 3> OpponentOf(unsigned red, unsigned green, unsigned blue);

// The opponent planes of `picture.height` rows of PackedRGB words, `stride` words apart.
void ToOpponent(const PackedRGB* words, int stride, FloatPicture& picture);

// One channel's sum of Gaussians, one-dimensional: sum over k of weight[k] * g_k(x) * g_k(y)
// is the channel's point spread; taps[k][t] = g_k(t) for t = 0..radius, each g_k summing to 1
// over -radius..radius, the weights summing to 1 so that a uniform field keeps its value. A
// Gaussian far wider than its reach is flat there (all taps equal): a running sum.
struct GaussianSum {
  std::vector<float> weight;
  std::vector<std::vector<float>> taps;
  std::vector<char> flat;
};

// The eye at one viewing distance: the three channels' filters, made once.
class ScielabEye {
 public:
  ScielabEye(double pixelsPerDegree, int width, int height);

  // Opponent planes in, what the eye makes of them in CIELAB out. Pixels beyond an edge repeat
  // the edge pixel, so a uniform picture stays uniform. The same as Blur, then ToLab.
  void Perceive(FloatPicture& picture);
  // The first half: each opponent plane through its channel's filter, in place.
  void Blur(FloatPicture& picture);

  const GaussianSum& Channel(int channel) const { return channels_[channel]; }
  double PixelsPerDegree() const { return pixelsPerDegree_; }

 private:
  void Filter(const std::vector<float>& in, const GaussianSum& sum, std::vector<float>& out);

  double pixelsPerDegree_;
  int width_, height_;
  std::array<GaussianSum, 3> channels_;
  std::vector<float> row_, filtered_, sums_;
  std::array<std::vector<float>, 3> horizontal_;  // one per Gaussian of a channel
  std::vector<const float*> rows_;
};

// The second half of Perceive: blurred opponent values to CIELAB, `count` (a multiple of 8)
// pixels of three planes in place.
void BlurredOpponentToLab(float* first, float* second, float* third, int count);

// Mean CIE76 difference between two pictures in CIELAB of the same size.
double MeanLabDifference(const FloatPicture& first, const FloatPicture& second);

// S-CIELAB between two pictures of `width` x `height` PackedRGB words at one distance; rows
// are `sourceStride` and `previewStride` words apart. Allocates its working planes.
double ScielabDifference(const PackedRGB* source, int sourceStride, const PackedRGB* preview,
                         int previewStride, int width, int height, double pixelsPerDegree);

}  // namespace vantrel
