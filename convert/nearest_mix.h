// The nearest of the nine mix colours to an RGB colour.
//
// Distance is the plain sum of the three absolute channel differences (red against red,
// although the input is PackedRGB and the table TColor). The smallest distance wins; among
// equal distances the lowest MixCode wins, so coinciding slots always resolve to the first.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "core/types.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantrel {

// Winning MixCode (1..9) for channel values r, g, b in 0..255.
inline int NearestMixCode(const MixSlots& mixTable, int r, int g, int b) {
  // Distance in the high bits, code in the low four: the smallest key is the smallest
  // distance with the lowest code, and the scan needs no branch.
  unsigned best = ~0u;
  for (int k = 0; k < 9; ++k) {
    const TColor m = mixTable[k];
    const unsigned d = static_cast<unsigned>(std::abs(RedOf(m) - r) + std::abs(GreenOf(m) - g) +
                                             std::abs(BlueOf(m) - b));
    const unsigned key = (d << 4) | static_cast<unsigned>(k + 1);
    best = key < best ? key : best;
  }
  return static_cast<int>(best & 15u);
}

// Returns the nearest MixTable entry unchanged and stores its code in lastMixCode.
TColor NearestMix(const MixSlots& mixTable, PackedRGB colour, std::int32_t& lastMixCode);

// The same choice as NearestMixCode for one fixed table, prepared once so that a whole
// picture can be classified without unpacking the table at every pixel.
class MixSearch {
 public:
  explicit MixSearch(const MixSlots& mixTable);

  int Code(int r, int g, int b) const {
#if defined(__SSE2__)
    // Slots 1..8 side by side in 16-bit lanes, values scaled by 16 so that the lane's code
    // fits below the distance: key = 16 * distance + code (at most 12249).
    const __m128i vr = _mm_set1_epi16(static_cast<short>(r << 4));
    const __m128i vg = _mm_set1_epi16(static_cast<short>(g << 4));
    const __m128i vb = _mm_set1_epi16(static_cast<short>(b << 4));
    const __m128i dr = _mm_sub_epi16(_mm_max_epi16(vr, red_), _mm_min_epi16(vr, red_));
    const __m128i dg = _mm_sub_epi16(_mm_max_epi16(vg, green_), _mm_min_epi16(vg, green_));
    const __m128i db = _mm_sub_epi16(_mm_max_epi16(vb, blue_), _mm_min_epi16(vb, blue_));
    __m128i key = _mm_add_epi16(_mm_add_epi16(dr, dg), _mm_add_epi16(db, codes_));
    key = _mm_min_epi16(key, _mm_shuffle_epi32(key, _MM_SHUFFLE(1, 0, 3, 2)));
    key = _mm_min_epi16(key, _mm_shuffle_epi32(key, _MM_SHUFFLE(2, 3, 0, 1)));
    key = _mm_min_epi16(key, _mm_shufflelo_epi16(key, _MM_SHUFFLE(2, 3, 0, 1)));
    const int key8 = _mm_cvtsi128_si32(key) & 0xFFFF;
    // Slot 9 does not fit the register; it only wins when strictly nearer.
    const int key9 =
        ((std::abs(red9_ - r) + std::abs(green9_ - g) + std::abs(blue9_ - b)) << 4) | 9;
    return (key9 < key8 ? key9 : key8) & 15;
#else
    return NearestMixCode(table_, r, g, b);
#endif
  }

  const MixSlots& Table() const { return table_; }

 private:
  MixSlots table_;
#if defined(__SSE2__)
  __m128i red_, green_, blue_, codes_;
  int red9_, green9_, blue9_;
#endif
};

}  // namespace vantrel
