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
      const __m128i low =
          _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(dr, zero), _mm_unpacklo_epi8(dg, zero)),
                        _mm_unpacklo_epi8(db, zero));
      const __m128i high =
          _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(dr, zero), _mm_unpackhi_epi8(dg, zero)),
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

// The nine mix colours per channel: slots 1..8 in lanes 0..7, slot 9 in each of lanes 8..15,
// and the constants the search needs besides.
struct VectorTable {
  __m128i red, green, blue;
  __m128i low4, times7, eights, indexBytes, minimumWords;
};

__attribute__((target("sse4.1"))) VectorTable MakeVectorTable(const MixSlots& mixTable) {
  alignas(16) std::uint8_t red[16], green[16], blue[16];
  for (int lane = 0; lane < 16; ++lane) {
    const TColor m = mixTable[lane < 8 ? lane : 8];
    red[lane] = RedOf(m);
    green[lane] = GreenOf(m);
    blue[lane] = BlueOf(m);
  }
  const auto load = [](const void* p) { return _mm_load_si128(static_cast<const __m128i*>(p)); };
  return {load(red),
          load(green),
          load(blue),
          _mm_set1_epi8(0x0F),
          _mm_setr_epi8(0, 7, 14, 21, 28, 35, 42, 49, 56, 63, 70, 77, 84, 91, 98, 105),
          _mm_set1_epi8(8),
          _mm_set1_epi8(2),                                                // minpos: index byte
          _mm_setr_epi8(0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1)};  // minpos: minimum
}

// One channel of the working colour against the slots: the absolute differences, and
// |v - m| / 16 split by sign (one of the two is 0).
struct ChannelDifferences {
  __m128i absolute, above, below;
};

SSE41 ChannelDifferences Differences(__m128i v, __m128i slots, __m128i low4) {
  const __m128i over = _mm_subs_epu8(v, slots);
  const __m128i under = _mm_subs_epu8(slots, v);
  return {_mm_or_si128(over, under), _mm_and_si128(_mm_srli_epi16(over, 4), low4),
          _mm_and_si128(_mm_srli_epi16(under, 4), low4)};
}

// The nearest slot. phminposuw finds the smallest of the distances to slots 1..8 and, among
// equal ones, the lowest lane; slot 9 takes over only when strictly nearer.
struct Choice {
  __m128i lane;   // every byte: the lane 0..7 of the nearest of slots 1..8
  __m128i nine;   // all ones when slot 9 wins
  __m128i which;  // every byte: the winner's lane, 8 for slot 9
};

SSE41 Choice Choose(const ChannelDifferences& r, const ChannelDifferences& g,
                    const ChannelDifferences& b, const VectorTable& t) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i low = _mm_add_epi16(
      _mm_add_epi16(_mm_unpacklo_epi8(r.absolute, zero), _mm_unpacklo_epi8(g.absolute, zero)),
      _mm_unpacklo_epi8(b.absolute, zero));
  const __m128i ninth = _mm_add_epi16(
      _mm_add_epi16(_mm_unpackhi_epi8(r.absolute, zero), _mm_unpackhi_epi8(g.absolute, zero)),
      _mm_unpackhi_epi8(b.absolute, zero));
  const __m128i found = _mm_minpos_epu16(low);
  const __m128i lane = _mm_shuffle_epi8(found, t.indexBytes);
  const __m128i nine = _mm_cmpgt_epi16(_mm_shuffle_epi8(found, t.minimumWords), ninth);
  return {lane, nine, _mm_blendv_epi8(lane, t.eights, nine)};
}

// One channel's part of a pixel's turn: stores the winner's error for the row's below
// shares, and returns the next pixel's colour, broadcast: its stored value plus seven
// sixteenths of the error, clamped. That sum is formed for every slot before the winner is
// known and then only picked, so the path from one pixel to the next stays short.
SSE41 __m128i Step(const ChannelDifferences& d, const Choice& choice,
                   const std::uint8_t* nextStored, std::int8_t* error, const VectorTable& t) {
  const __m128i stored = _mm_shuffle_epi8(
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(nextStored)), _mm_setzero_si128());
  // One of the two shares is 0, so adding the one and taking away the other, each with
  // unsigned saturation, is the clamped sum.
  const __m128i next = _mm_subs_epu8(_mm_adds_epu8(stored, _mm_shuffle_epi8(t.times7, d.above)),
                                     _mm_shuffle_epi8(t.times7, d.below));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(error),
                   _mm_shuffle_epi8(_mm_sub_epi8(d.above, d.below), choice.which));
  return _mm_blendv_epi8(_mm_shuffle_epi8(next, choice.lane), _mm_shuffle_epi8(next, t.eights),
                         choice.nine);
}

// Working colours of a row as they arrive, and the stored values the right shares add to.
struct RowBuffers {
  alignas(16) std::uint8_t stored[3][WindowWidth + 16];
  alignas(16) std::uint8_t working[3][WindowWidth + 16];
  alignas(16) std::uint8_t codes[WindowWidth + 16];
};

struct Pixel {
  __m128i red, green, blue;  // the working colour, each channel in every byte
};

// One pixel's turn: its code, its errors, and the next pixel's colour.
SSE41 Pixel Turn(const Pixel& v, int x, RowBuffers& row, RowErrors& e, const VectorTable& t) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(row.working[0] + x), v.red);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(row.working[1] + x), v.green);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(row.working[2] + x), v.blue);
  const ChannelDifferences dr = Differences(v.red, t.red, t.low4);
  const ChannelDifferences dg = Differences(v.green, t.green, t.low4);
  const ChannelDifferences db = Differences(v.blue, t.blue, t.low4);
  const Choice choice = Choose(dr, dg, db, t);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(row.codes + x),
                   _mm_add_epi8(choice.which, _mm_set1_epi8(1)));
  // At the row's last pixel the stored value read is padding and the result unused; that
  // right share waits for FinishRow.
  return {Step(dr, choice, row.stored[0] + x + 1, e.red.data() + x + 1, t),
          Step(dg, choice, row.stored[1] + x + 1, e.green.data() + x + 1, t),
          Step(db, choice, row.stored[2] + x + 1, e.blue.data() + x + 1, t)};
}

// The dithering pass with the whole choice of a pixel kept in vector registers: the colour
// arrives broadcast, the nine distances are found side by side, and the next pixel's colour
// is picked from the candidates by the winner's lane, so nothing on the path from one pixel
// to the next leaves the vector unit.
__attribute__((target("sse4.1"))) void DiffuseSse41(ColourPlanes& work, const MixSlots& mixTable,
                                                    MixCodes& codes, ProgressSink* progress) {
  const VectorTable t = MakeVectorTable(mixTable);
  std::uint8_t* const planes[] = {work.red.data(), work.green.data(), work.blue.data()};
  RowErrors e;
  RowBuffers row;
  std::memset(&row, 0, sizeof row);
  for (int y = 0; y < WindowHeight; ++y) {
    ReportProgress(progress, y);
    const int start = y * WindowWidth;
    for (int c = 0; c < 3; ++c) std::memcpy(row.stored[c], planes[c] + start, WindowWidth);
    const auto broadcast = [](std::uint8_t value) {
      return _mm_set1_epi8(static_cast<char>(value));
    };
    Pixel v = {broadcast(row.stored[0][0]), broadcast(row.stored[1][0]),
               broadcast(row.stored[2][0])};
    v = Turn(v, 0, row, e, t);
    // The first pixel's below-left share lands on the last pixel of this row, before the
    // right share that pixel gets from its left neighbour.
    AddWrappedShare(work, e, start);
    for (int c = 0; c < 3; ++c) row.stored[c][WindowWidth - 1] = planes[c][start + WindowWidth - 1];
    for (int x = 1; x < WindowWidth; ++x) v = Turn(v, x, row, e, t);
    // The sixteen-byte stores ran over the zero behind the last error.
    e.red[WindowWidth + 1] = e.green[WindowWidth + 1] = e.blue[WindowWidth + 1] = 0;
    for (int c = 0; c < 3; ++c) std::memcpy(planes[c] + start, row.working[c], WindowWidth);
    std::memcpy(codes.data() + start, row.codes, WindowWidth);
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
