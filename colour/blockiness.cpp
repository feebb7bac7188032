// The error's steps across cell borders against those inside cells.
#include "colour/blockiness.h"

#include <cmath>
#include <stdexcept>
#include <vector>

#include "core/cell_colours.h"

namespace vantrel {

double Blockiness(const FloatPicture& source, const FloatPicture& preview) {
  const int width = source.width, height = source.height;
  if (preview.width != width || preview.height != height) {
    throw std::logic_error("Blockiness: pictures of different sizes");
  }
  std::vector<float> error(static_cast<std::size_t>(width) * height);
  for (std::size_t i = 0; i < error.size(); ++i)
    error[i] = preview.plane[0][i] - source.plane[0][i];
  return BlockinessOfError(error.data(), width, height);
}

double BlockinessOfError(const float* error, int width, int height) {
  double border = 0, inside = 0;
  long long borderPairs = 0, insidePairs = 0;
  const auto add = [&](int p, int q, bool acrossBorder) {
    const double d = std::fabs(error[p] - error[q]);
    if (acrossBorder) {
      border += d;
      ++borderPairs;
    } else {
      inside += d;
      ++insidePairs;
    }
  };
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int i = y * width + x;
      if (x + 1 < width) add(i, i + 1, (x + 1) % CellSize == 0);
      if (y + 1 < height) add(i, i + width, (y + 1) % CellSize == 0);
    }
  }
  const double meanBorder = border / static_cast<double>(borderPairs);
  const double meanInside = inside / static_cast<double>(insidePairs);
  if (meanInside == 0) return meanBorder == 0 ? 1.0 : HUGE_VAL;
  return meanBorder / meanInside;
}

double Blockiness(const PackedRGB* source, int sourceStride, const PackedRGB* preview,
                  int previewStride, double pixelsPerDegree) {
  ScielabEye eye(pixelsPerDegree, WindowWidth, WindowHeight);
  FloatPicture a(WindowWidth, WindowHeight), b(WindowWidth, WindowHeight);
  ToOpponent(source, sourceStride, a);
  ToOpponent(preview, previewStride, b);
  eye.Perceive(a);
  eye.Perceive(b);
  return Blockiness(a, b);
}

}  // namespace vantrel
