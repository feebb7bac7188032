#include "convert/nearest_mix.h"

namespace vantrel {

TColor NearestMix(const MixSlots& mixTable, PackedRGB colour, std::int32_t& lastMixCode) {
#if defined(__SSE2__)
  // psadbw sums the absolute byte differences of each eight-byte half: with one slot's
  // TColor in the low four bytes of each half and the input, repacked the same way, in both,
  // one instruction measures two slots. Keys are 16 * distance + code, as in NearestMixCode.
  const __m128i zero = _mm_setzero_si128();
  const __m128i channels = _mm_set1_epi32(0x00FFFFFF);
  const __m128i first =
      _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(mixTable.data())), channels);
  const __m128i second = _mm_and_si128(
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(mixTable.data() + 4)), channels);
  const __m128i ninth = _mm_cvtsi32_si128(static_cast<int>(mixTable[8] & 0x00FFFFFF));
  const __m128i input = _mm_set1_epi64x(ToTColor(colour & 0x00FFFFFF));
  const auto keys = [&](__m128i pair, int low, int high) {
    return _mm_or_si128(_mm_slli_epi64(_mm_sad_epu8(input, pair), 4), _mm_set_epi64x(high, low));
  };
  const __m128i k12 = keys(_mm_unpacklo_epi32(first, zero), 1, 2);
  const __m128i k34 = keys(_mm_unpackhi_epi32(first, zero), 3, 4);
  const __m128i k56 = keys(_mm_unpacklo_epi32(second, zero), 5, 6);
  const __m128i k78 = keys(_mm_unpackhi_epi32(second, zero), 7, 8);
  const __m128i k9 = keys(ninth, 9, 0x7FFF);  // the empty half never wins
  __m128i best = _mm_min_epi16(_mm_min_epi16(_mm_min_epi16(k12, k34), _mm_min_epi16(k56, k78)), k9);
  best = _mm_min_epi16(best, _mm_shuffle_epi32(best, _MM_SHUFFLE(1, 0, 3, 2)));
  const int code = _mm_cvtsi128_si32(best) & 15;
#else
  const int code =
      NearestMixCode(mixTable, (colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
#endif
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
