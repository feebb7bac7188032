// The blockiness measure: no cell structure measures 1, cells that each depart from the photo
// their own way measure more, and the same steps off the cell grid do not.
#include "colour/blockiness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

namespace vantrel {
namespace {

// 192 x 200 PackedRGB words from a colour for each pixel.
std::vector<PackedRGB> Picture(const std::function<PackedRGB(int, int)>& colour) {
  std::vector<PackedRGB> words(PixelCount);
  for (int y = 0; y < WindowHeight; ++y) {
    for (int x = 0; x < WindowWidth; ++x) words[y * WindowWidth + x] = colour(x, y);
  }
  return words;
}

PackedRGB Grey(int v) {
  const unsigned c = static_cast<unsigned>(std::clamp(v, 0, 255));
  return MakePackedRGB(c, c, c);
}

TEST(Blockiness, OneWhereNoCellsShowAndFarMoreWhereEachCellDepartsItsOwnWay) {
  // A smooth ramp as the photo, its own steps of one level off the cell grid.
  const auto ramp = [](int x, int y) { return 40 + (5 * x + 3 * y) / 11; };
  const auto photo = Picture([&](int x, int y) { return Grey(ramp(x, y)); });
  std::mt19937 rng(8);
  std::vector<int> cellOffset(600);
  for (int& offset : cellOffset) offset = static_cast<int>(rng() % 25) - 12;
  std::mt19937 noise(9);
  const struct {
    const char* name;
    std::vector<PackedRGB> picture;
    double low, high;
  } cases[] = {
      {"the photo itself", photo, 1.0, 1.0},
      // Grain that knows nothing of the cells: about 1.
      {"the photo with grain", Picture([&](int x, int y) {
         return Grey(ramp(x, y) + static_cast<int>(noise() % 41) - 20);
       }),
       0.9, 1.1},
      // Every cell lighter or darker by its own amount, with the same grain on top.
      {"cells each off by their own amount", Picture([&](int x, int y) {
         return Grey(ramp(x, y) + cellOffset[(y / 8) * 24 + x / 8] +
                     static_cast<int>(noise() % 41) - 20);
       }),
       1.15, 100},
      // The same steps between bands 8 pixels wide but half a cell off the grid: no blocks.
      {"steps off the cell grid", Picture([&](int x, int y) {
         return Grey(ramp(x, y) + cellOffset[((y + 4) / 8 % 25) * 24 + (x + 4) / 8 % 24] +
                     static_cast<int>(noise() % 41) - 20);
       }),
       0.7, 1.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const double measured = Blockiness(photo.data(), WindowWidth, c.picture.data(), WindowWidth);
    EXPECT_GE(measured, c.low);
    EXPECT_LE(measured, c.high);
  }
}

}  // namespace
}  // namespace vantrel
