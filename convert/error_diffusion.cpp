#include "convert/error_diffusion.h"

#include <cstring>

#include "convert/nearest_mix.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VANTREL_HAVE_SSE41_KERNEL 1
#endif

namespace vantrel {
namespace {

inline int Clamp255(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// (v - m) / 16, truncated toward zero.
inline int Error(int v, int m) { return (v - m) / 16; }

// Errors of one row per channel at index x + 1, with a zero on each side so that the below
// shares need no edge tests, and room behind for sixteen-byte stores.
struct RowErrors {
  alignas(16) std::array<std::int8_t, WindowWidth + 2 + 16> red{}, green{}, blue{};
};
static_assert(WindowWidth % 16 == 0, "rows go sixteen pixels at a time");

// Adds the row's below-left, below and below-right shares to the next row, in the order the
// pixels of the row sent them: target x gets e(x - 1), then 5 e(x), then 3 e(x + 1), each
// clamped on its own. The first pixel's below-left share stays in its own row and is made
// at that pixel's turn; the last pixel's below-right share goes two rows down.
void AddBelowShares(std::uint8_t* next, const std::int8_t* e, std::uint8_t* twoDown) {
#if defined(__SSE2__)
  // Sixteen targets at a time. Flipping the top bit maps 0..255 onto -128..127, where
  // signed saturating addition is exactly the clamped addition to 0..255.
  const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
  for (int x = 0; x < WindowWidth; x += 16) {
    const __m128i e0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(e + x));
    const __m128i e1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(e + x + 1));
    const __m128i e2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(e + x + 2));
    const __m128i e1x2 = _mm_add_epi8(e1, e1);
    const __m128i e1x5 = _mm_add_epi8(_mm_add_epi8(e1x2, e1x2), e1);
    const __m128i e2x3 = _mm_add_epi8(_mm_add_epi8(e2, e2), e2);
    __m128i* target = reinterpret_cast<__m128i*>(next + x);
    __m128i v = _mm_xor_si128(_mm_loadu_si128(target), flip);
    v = _mm_adds_epi8(v, e0);
    v = _mm_adds_epi8(v, e1x5);
    v = _mm_adds_epi8(v, e2x3);
    _mm_storeu_si128(target, _mm_xor_si128(v, flip));
  }
#else
  for (int x = 0; x < WindowWidth; ++x) {
    int v = Clamp255(next[x] + e[x]);
    v = Clamp255(v + 5 * e[x + 1]);
    next[x] = static_cast<std::uint8_t>(Clamp255(v + 3 * e[x + 2]));
  }
#endif
  if (twoDown) *twoDown = static_cast<std::uint8_t>(Clamp255(*twoDown + e[WindowWidth]));
}

// What every kernel does between two rows: the below shares of row `y`, then the right
// share of its last pixel, which wraps to the first pixel of the next row and must come
// after the shares that pixel gets from above. Returns false after the last row.
bool FinishRow(ColourPlanes& work, const RowErrors& e, int y) {
  const int next = (y + 1) * WindowWidth;
  if (next >= PixelCount) return false;  // the last row's lower shares fall below the picture
  const bool twoDown = next + WindowWidth < PixelCount;
  std::uint8_t* planes[] = {work.red.data(), work.green.data(), work.blue.data()};
  const std::int8_t* errors[] = {e.red.data(), e.green.data(), e.blue.data()};
  for (int c = 0; c < 3; ++c) {
    std::uint8_t* p = planes[c];
    AddBelowShares(p + next, errors[c], twoDown ? p + next + WindowWidth : nullptr);
    p[next] = static_cast<std::uint8_t>(Clamp255(p[next] + 7 * errors[c][WindowWidth]));
  }
  return true;
}

// The first pixel's below-left share lands on the last pixel of its own row.
void AddWrappedShare(ColourPlanes& work, const RowErrors& e, int row) {
  const int last = row + WindowWidth - 1;
  work.red[last] = static_cast<std::uint8_t>(Clamp255(work.red[last] + 3 * e.red[1]));
  work.green[last] = static_cast<std::uint8_t>(Clamp255(work.green[last] + 3 * e.green[1]));
  work.blue[last] = static_cast<std::uint8_t>(Clamp255(work.blue[last] + 3 * e.blue[1]));
}

#if defined(__SSE2__)
// Without dithering the pixels do not depend on each other: sixteen at a time, the nine
// slots one after the other, keeping the smallest 16 * distance + code per pixel.
void ClassifyRow(const std::uint8_t* red, const std::uint8_t* green, const std::uint8_t* blue,
                 std::uint8_t* codes, const MixSlots& mixTable) {
  const __m128i zero = _mm_setzero_si128();
  const auto absolute = [](__m128i a, __m128i b) {
    return _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
  };
  for (int x = 0; x < WindowWidth; x += 16) {
    const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(red + x));
    const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(green + x));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blue + x));
    __m128i bestLow = _mm_set1_epi16(0x7FFF), bestHigh = bestLow;
    for (int code = 1; code <= 9; ++code) {
      const TColor m = mixTable[code - 1];
      const __m128i dr = absolute(r, _mm_set1_epi8(static_cast<char>(RedOf(m))));
      const __m128i dg = absolute(g, _mm_set1_epi8(static_cast<char>(GreenOf(m))));
      const __m128i db = absolute(b, _mm_set1_epi8(static_cast<char>(BlueOf(m))));
      const __m128i low = _mm_add_epi16(
          _mm_add_epi16(_mm_unpacklo_epi8(dr, zero), _mm_unpacklo_epi8(dg, zero)),
          _mm_unpacklo_epi8(db, zero));
      const __m128i high = _mm_add_epi16(
          _mm_add_epi16(_mm_unpackhi_epi8(dr, zero), _mm_unpackhi_epi8(dg, zero)),
          _mm_unpackhi_epi8(db, zero));
      const __m128i tag = _mm_set1_epi16(static_cast<short>(code));
      bestLow = _mm_min_epi16(bestLow, _mm_or_si128(_mm_slli_epi16(low, 4), tag));
      bestHigh = _mm_min_epi16(bestHigh, _mm_or_si128(_mm_slli_epi16(high, 4), tag));
    }
    const __m128i low4 = _mm_set1_epi16(15);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(codes + x),
                     _mm_packus_epi16(_mm_and_si128(bestLow, low4), _mm_and_si128(bestHigh, low4)));
  }
}
#else
void ClassifyRow(const std::uint8_t* red, const std::uint8_t* green, const std::uint8_t* blue,
                 std::uint8_t* codes, const MixSlots& mixTable) {
  const MixSearch search(mixTable);
  for (int x = 0; x < WindowWidth; ++x) {
    codes[x] = static_cast<std::uint8_t>(search.Code(red[x], green[x], blue[x]));
  }
}
#endif

void Classify(const ColourPlanes& work, const MixSlots& mixTable, MixCodes& codes,
              ProgressSink* progress) {
  for (int y = 0; y < WindowHeight; ++y) {
    ReportProgress(progress, y);
    const int row = y * WindowWidth;
    ClassifyRow(work.red.data() + row, work.green.data() + row, work.blue.data() + row,
                codes.data() + row, mixTable);
  }
}

void DiffusePortable(ColourPlanes& work, const MixSlots& mixTable, MixCodes& codes,
                     ProgressSink* progress) {
  const MixSearch search(mixTable);
  struct Mix {
    int r, g, b;
  };
  std::array<Mix, 10> mix{};
  for (int code = 1; code <= 9; ++code) {
    const TColor m = mixTable[code - 1];
    mix[code] = {RedOf(m), GreenOf(m), BlueOf(m)};
  }
  std::uint8_t* const red = work.red.data();
  std::uint8_t* const green = work.green.data();
  std::uint8_t* const blue = work.blue.data();
  RowErrors e;
  for (int y = 0; y < WindowHeight; ++y) {
    ReportProgress(progress, y);
    const int row = y * WindowWidth;
    // The working colour travels in registers: the right share is the last one a pixel
    // receives before its own turn.
    int r = red[row], g = green[row], b = blue[row];
    for (int x = 0; x < WindowWidth; ++x) {
      const int i = row + x;
      const int code = search.Code(r, g, b);
      codes[i] = static_cast<std::uint8_t>(code);
      const Mix& m = mix[code];
      const int er = Error(r, m.r), eg = Error(g, m.g), eb = Error(b, m.b);
      e.red[x + 1] = static_cast<std::int8_t>(er);
      e.green[x + 1] = static_cast<std::int8_t>(eg);
      e.blue[x + 1] = static_cast<std::int8_t>(eb);
      if (x == 0) AddWrappedShare(work, e, row);
      if (x + 1 < WindowWidth) {
        r = Clamp255(red[i + 1] + 7 * er);
        g = Clamp255(green[i + 1] + 7 * eg);
        b = Clamp255(blue[i + 1] + 7 * eb);
        red[i + 1] = static_cast<std::uint8_t>(r);
        green[i + 1] = static_cast<std::uint8_t>(g);
        blue[i + 1] = static_cast<std::uint8_t>(b);
      }
    }
    if (!FinishRow(work, e, y)) break;
  }
}

#if defined(VANTREL_HAVE_SSE41_KERNEL)

#define SSE41 __attribute__((target("sse4.1"), always_inline)) inline

// The nine mix colours with the lane number equal to the MixCode (lanes 0 and 10..15 never
// win), and what the search needs besides.
struct VectorTable {
  __m128i red, green, blue;
  __m128i biasLow, biasHigh;  // code of lanes 0..7 and 8..15, or a key no distance reaches
};

__attribute__((target("sse4.1"))) VectorTable MakeVectorTable(const MixSlots& mixTable) {
  alignas(16) std::uint8_t red[16] = {}, green[16] = {}, blue[16] = {};
  alignas(16) std::uint16_t bias[16];
  for (int lane = 0; lane < 16; ++lane) {
    const bool slot = lane >= 1 && lane <= 9;
    bias[lane] = static_cast<std::uint16_t>(slot ? lane : 0x4000);  // 16 * 765 + 9 < 0x4000
    if (slot) {
      red[lane] = RedOf(mixTable[lane - 1]);
      green[lane] = GreenOf(mixTable[lane - 1]);
      blue[lane] = BlueOf(mixTable[lane - 1]);
    }
  }
  const auto load = [](const void* p) { return _mm_load_si128(static_cast<const __m128i*>(p)); };
  return {load(red), load(green), load(blue), load(bias), load(bias + 8)};
}

// One channel of the working colour against the nine slots: the absolute differences, and
// (v - m) / 16 as the positive and the negative part (one of them is 0).
struct ChannelDifferences {
  __m128i absolute, above, below;
};

SSE41 ChannelDifferences Differences(__m128i v, __m128i slots, __m128i low4) {
  const __m128i over = _mm_subs_epu8(v, slots);
  const __m128i under = _mm_subs_epu8(slots, v);
  return {_mm_or_si128(over, under), _mm_and_si128(_mm_srli_epi16(over, 4), low4),
          _mm_and_si128(_mm_srli_epi16(under, 4), low4)};
}

// Each byte of the result is the winning MixCode: 16 * distance + code is smallest for the
// nearest slot, and among equal distances for the lowest code.
SSE41 __m128i Winner(const ChannelDifferences& r, const ChannelDifferences& g,
                     const ChannelDifferences& b, const VectorTable& t, __m128i low4) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i low = _mm_add_epi16(
      _mm_add_epi16(_mm_unpacklo_epi8(r.absolute, zero), _mm_unpacklo_epi8(g.absolute, zero)),
      _mm_unpacklo_epi8(b.absolute, zero));
  const __m128i high = _mm_add_epi16(
      _mm_add_epi16(_mm_unpackhi_epi8(r.absolute, zero), _mm_unpackhi_epi8(g.absolute, zero)),
      _mm_unpackhi_epi8(b.absolute, zero));
  const __m128i keys = _mm_min_epu16(_mm_add_epi16(_mm_slli_epi16(low, 4), t.biasLow),
                                     _mm_add_epi16(_mm_slli_epi16(high, 4), t.biasHigh));
  return _mm_and_si128(_mm_shuffle_epi8(_mm_minpos_epu16(keys), zero), low4);
}

// The winner's error per slot lane, and the next pixel's colour: its stored value plus
// seven sixteenths of the winner's error, clamped (see AddBelowShares for the flip).
struct ChannelStep {
  __m128i error, next;
};

SSE41 ChannelStep Step(const ChannelDifferences& d, __m128i winner, int nextStored,
                       __m128i times7, __m128i flip) {
  const __m128i share = _mm_sub_epi8(_mm_shuffle_epi8(times7, d.above),
                                     _mm_shuffle_epi8(times7, d.below));
  const __m128i stored = _mm_shuffle_epi8(_mm_cvtsi32_si128(nextStored ^ 0x80),
                                          _mm_setzero_si128());
  const __m128i next = _mm_xor_si128(_mm_adds_epi8(stored, share), flip);
  return {_mm_shuffle_epi8(_mm_sub_epi8(d.above, d.below), winner),
          _mm_shuffle_epi8(next, winner)};
}

SSE41 __m128i Broadcast(int value) {
  return _mm_shuffle_epi8(_mm_cvtsi32_si128(value), _mm_setzero_si128());
}

// The dithering pass with the whole choice of a pixel kept in vector registers: the
// colour arrives broadcast, the nine distances are found side by side, and the next
// pixel's colour is picked from the nine candidates by the winner's code, so nothing on
// the path from one pixel to the next leaves the vector unit.
__attribute__((target("sse4.1"))) void DiffuseSse41(ColourPlanes& work, const MixSlots& mixTable,
                                                    MixCodes& codes, ProgressSink* progress) {
  const VectorTable t = MakeVectorTable(mixTable);
  const __m128i low4 = _mm_set1_epi8(0x0F);
  const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
  const __m128i times7 = _mm_setr_epi8(0, 7, 14, 21, 28, 35, 42, 49, 56, 63, 70, 77, 84, 91, 98,
                                       105);
  std::uint8_t* const red = work.red.data();
  std::uint8_t* const green = work.green.data();
  std::uint8_t* const blue = work.blue.data();
  RowErrors e;
  // Working colours of the row, written sixteen bytes at a time and copied out at its end.
  alignas(16) std::uint8_t rowRed[WindowWidth + 16], rowGreen[WindowWidth + 16],
      rowBlue[WindowWidth + 16];
  const auto store = [](void* p, __m128i v) {
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
  };
  for (int y = 0; y < WindowHeight; ++y) {
    ReportProgress(progress, y);
    const int row = y * WindowWidth;
    __m128i r = Broadcast(red[row]), g = Broadcast(green[row]), b = Broadcast(blue[row]);
    for (int x = 0; x < WindowWidth; ++x) {
      const int i = row + x;
      store(rowRed + x, r);
      store(rowGreen + x, g);
      store(rowBlue + x, b);
      const ChannelDifferences dr = Differences(r, t.red, low4);
      const ChannelDifferences dg = Differences(g, t.green, low4);
      const ChannelDifferences db = Differences(b, t.blue, low4);
      const __m128i winner = Winner(dr, dg, db, t, low4);
      codes[i] = static_cast<std::uint8_t>(_mm_cvtsi128_si32(winner));
      // Past the row's end the stored values are not used; the row's last right share
      // waits for FinishRow.
      const int n = x + 1 < WindowWidth ? i + 1 : i;
      const ChannelStep sr = Step(dr, winner, red[n], times7, flip);
      const ChannelStep sg = Step(dg, winner, green[n], times7, flip);
      const ChannelStep sb = Step(db, winner, blue[n], times7, flip);
      store(e.red.data() + x + 1, sr.error);
      store(e.green.data() + x + 1, sg.error);
      store(e.blue.data() + x + 1, sb.error);
      if (x == 0) AddWrappedShare(work, e, row);
      r = sr.next;
      g = sg.next;
      b = sb.next;
    }
    // The sixteen-byte stores ran over the zero behind the last error.
    e.red[WindowWidth + 1] = e.green[WindowWidth + 1] = e.blue[WindowWidth + 1] = 0;
    std::memcpy(red + row, rowRed, WindowWidth);
    std::memcpy(green + row, rowGreen, WindowWidth);
    std::memcpy(blue + row, rowBlue, WindowWidth);
    if (!FinishRow(work, e, y)) break;
  }
}

#undef SSE41

#endif  // VANTREL_HAVE_SSE41_KERNEL

}  // namespace

void DiffuseErrors(ColourPlanes& work, const MixSlots& mixTable, bool dither, MixCodes& codes,
                   ProgressSink* progress, SimdLevel level) {
  if (!dither) {
    Classify(work, mixTable, codes, progress);
    return;
  }
#if defined(VANTREL_HAVE_SSE41_KERNEL)
  if (level == SimdLevel::Sse41 && SimdLevelAvailable(level)) {
    DiffuseSse41(work, mixTable, codes, progress);
    return;
  }
#endif
  DiffusePortable(work, mixTable, codes, progress);
}

}  // namespace vantrel
