// The nearest of the nine mix colours to an RGB colour: the one rule every conversion path
// follows. The vector kernels (convert/kernels_*.cpp) reproduce it exactly and are tested
// against it.
//
// Distance is the plain sum of the three absolute channel differences (red against red,
// although the input is PackedRGB and the table TColor). The smallest distance wins; among
// equal distances the lowest MixCode wins, so coinciding slots always resolve to the first.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>

#include "core/types.h"

namespace vantrel {

// The table's channels unpacked once, for callers that classify many pixels.
struct MixChannels {
  MixChannels() = default;
  explicit MixChannels(const MixSlots& mixTable) {
    for (int k = 0; k < 9; ++k) {
      red[k] = RedOf(mixTable[k]);
      green[k] = GreenOf(mixTable[k]);
      blue[k] = BlueOf(mixTable[k]);
    }
  }
  std::array<int, 9> red{}, green{}, blue{};
};

// Winning MixCode (1..9) for channel values r, g, b in 0..255.
inline int NearestMixCode(const MixChannels& mix, int r, int g, int b) {
  // Distance in the high bits, code in the low four: the smallest key is the smallest
  // distance with the lowest code, and the scan needs no branch.
  unsigned best = ~0u;
  for (int k = 0; k < 9; ++k) {
    const unsigned d = static_cast<unsigned>(std::abs(mix.red[k] - r) + std::abs(mix.green[k] - g) +
                                             std::abs(mix.blue[k] - b));
    const unsigned key = (d << 4) | static_cast<unsigned>(k + 1);
    best = key < best ? key : best;
  }
  return static_cast<int>(best & 15u);
}

inline int NearestMixCode(const MixSlots& mixTable, int r, int g, int b) {
  return NearestMixCode(MixChannels(mixTable), r, g, b);
}

// Returns the nearest MixTable entry unchanged and stores its code in lastMixCode.
TColor NearestMix(const MixSlots& mixTable, PackedRGB colour, std::int32_t& lastMixCode);

}  // namespace vantrel
