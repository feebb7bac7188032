#include "convert/nearest_mix.h"

namespace vantrel {

TColor NearestMix(const MixSlots& mixTable, PackedRGB colour, std::int32_t& lastMixCode) {
  const int code = NearestMixCode(mixTable, (colour >> 16) & 0xFF, (colour >> 8) & 0xFF,
                                  colour & 0xFF);
  lastMixCode = code;
  return mixTable[code - 1];
}

MixSearch::MixSearch(const MixSlots& mixTable) : table_(mixTable) {
#if defined(__SSE2__)
  alignas(16) short red[8], green[8], blue[8], codes[8];
  for (int k = 0; k < 8; ++k) {
    red[k] = static_cast<short>(RedOf(mixTable[k]) << 4);
    green[k] = static_cast<short>(GreenOf(mixTable[k]) << 4);
    blue[k] = static_cast<short>(BlueOf(mixTable[k]) << 4);
    codes[k] = static_cast<short>(k + 1);
  }
  red_ = _mm_load_si128(reinterpret_cast<const __m128i*>(red));
  green_ = _mm_load_si128(reinterpret_cast<const __m128i*>(green));
  blue_ = _mm_load_si128(reinterpret_cast<const __m128i*>(blue));
  codes_ = _mm_load_si128(reinterpret_cast<const __m128i*>(codes));
  red9_ = RedOf(mixTable[8]);
  green9_ = GreenOf(mixTable[8]);
  blue9_ = BlueOf(mixTable[8]);
#endif
}

}  // namespace vantrel
