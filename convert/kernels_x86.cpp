// Kernels for x86 processors with SSE4.1 (which brings SSE2 and SSSE3 along). Built only for
// x86; ActiveKernels() runs them only where the processor has SSE4.1. Each function carries
// its own target attribute, so nothing here leaks into code that runs on older processors;
// the small lambdas use only SSE2, which every x86-64 processor has.
#include <immintrin.h>

#include <array>
#include <cstring>

#include "convert/diffusion_rows.h"
#include "convert/kernels.h"

#define SSE41_FUNCTION __attribute__((target("sse4.1")))
#define SSE41_INLINE __attribute__((target("sse4.1"), always_inline)) inline

namespace vantrel {

const ConversionKernels& X86Kernels();

namespace {

using namespace diffusion;

// --- Reading and drawing -------------------------------------------------------------

// Sixteen words at a time into the three planes.
SSE41_FUNCTION void Read(const std::uint32_t* words, ColourPlanes& work, ProgressSink* progress) {
  const __m128i low8 = _mm_set1_epi32(0xFF);
  const auto channel = [&](const __m128i w[4], int shift) {
    const auto part = [&](__m128i v) { return _mm_and_si128(_mm_srli_epi32(v, shift), low8); };
    return _mm_packus_epi16(_mm_packs_epi32(part(w[0]), part(w[1])),
                            _mm_packs_epi32(part(w[2]), part(w[3])));
  };
  for (int y = 0; y < WindowHeight; ++y) {
    ReportProgress(progress, y);
    for (int i = y * WindowWidth; i < (y + 1) * WindowWidth; i += 16) {
      const __m128i* in = reinterpret_cast<const __m128i*>(words + i);
      const __m128i w[4] = {_mm_loadu_si128(in), _mm_loadu_si128(in + 1), _mm_loadu_si128(in + 2),
                            _mm_loadu_si128(in + 3)};
      _mm_storeu_si128(reinterpret_cast<__m128i*>(&work.red[i]), channel(w, 16));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(&work.green[i]), channel(w, 8));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(&work.blue[i]), channel(w, 0));
    }
  }
}

// Bytes blue, green, red, 0 in memory, sixteen pixels at a time.
SSE41_FUNCTION void Draw(const ColourPlanes& work, std::uint32_t* const* rows) {
  const __m128i zero = _mm_setzero_si128();
  for (int y = 0; y < WindowHeight; ++y) {
    for (int x = 0, i = y * WindowWidth; x < WindowWidth; x += 16, i += 16) {
      const auto load = [&](const Plane& p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(&p[i]));
      };
      const __m128i r = load(work.red), g = load(work.green), b = load(work.blue);
      const __m128i bgLow = _mm_unpacklo_epi8(b, g), bgHigh = _mm_unpackhi_epi8(b, g);
      const __m128i rLow = _mm_unpacklo_epi8(r, zero), rHigh = _mm_unpackhi_epi8(r, zero);
      __m128i* out = reinterpret_cast<__m128i*>(rows[y] + x);
      _mm_storeu_si128(out, _mm_unpacklo_epi16(bgLow, rLow));
      _mm_storeu_si128(out + 1, _mm_unpackhi_epi16(bgLow, rLow));
      _mm_storeu_si128(out + 2, _mm_unpacklo_epi16(bgHigh, rHigh));
      _mm_storeu_si128(out + 3, _mm_unpackhi_epi16(bgHigh, rHigh));
    }
  }
}

// --- Without dithering ------------------------------------------------------------------

// The nine slots' channels, each byte of a lane the slot's channel for that pixel.
struct SlotLanes {
  __m128i red[9], green[9], blue[9];
};

// The nearest slot's code (1..9) for sixteen pixels at `i`: the nine slots one after the other,
// keeping the smallest 16 * distance + code per pixel.
SSE41_FUNCTION inline void NearestSixteen(const ColourPlanes& work, const SlotLanes& slots, int i,
                                          MixCodes& codes) {
  const __m128i zero = _mm_setzero_si128();
  const auto absolute = [](__m128i a, __m128i b) {
    return _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
  };
  const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&work.red[i]));
  const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&work.green[i]));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&work.blue[i]));
  __m128i bestLow = _mm_set1_epi16(0x7FFF), bestHigh = bestLow;
  for (int code = 1; code <= 9; ++code) {
    const __m128i dr = absolute(r, slots.red[code - 1]);
    const __m128i dg = absolute(g, slots.green[code - 1]);
    const __m128i db = absolute(b, slots.blue[code - 1]);
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
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&codes[i]),
                   _mm_packus_epi16(_mm_and_si128(bestLow, low4), _mm_and_si128(bestHigh, low4)));
}

// The pixels do not depend on each other: sixteen at a time.
SSE41_FUNCTION void Classify(const ColourPlanes& work, const MixSlots& mixTable, MixCodes& codes,
                             ProgressSink* progress) {
  SlotLanes slots;
  for (int k = 0; k < 9; ++k) {
    slots.red[k] = _mm_set1_epi8(static_cast<char>(RedOf(mixTable[k])));
    slots.green[k] = _mm_set1_epi8(static_cast<char>(GreenOf(mixTable[k])));
    slots.blue[k] = _mm_set1_epi8(static_cast<char>(BlueOf(mixTable[k])));
  }
  for (int y = 0; y < WindowHeight; ++y) {
    ReportProgress(progress, y);
    for (int i = y * WindowWidth; i < (y + 1) * WindowWidth; i += 16) {
      NearestSixteen(work, slots, i, codes);
    }
  }
}

// Per cell, sixteen pixels are two cells: the slots' channels of the left cell in lanes 0..7
// and of the right one in lanes 8..15, made once for each row of cells.
SSE41_FUNCTION void MakeCellPairSlots(const CellMixSlots& tables, int y,
                                      std::array<SlotLanes, CellColumns / 2>& pairs) {
  for (int pair = 0; pair < CellColumns / 2; ++pair) {
    const MixSlots& left = tables[CellOf(2 * pair * CellSize, y)];
    const MixSlots& right = tables[CellOf((2 * pair + 1) * CellSize, y)];
    const auto lanes = [](unsigned a, unsigned b) {
      return _mm_unpacklo_epi64(_mm_set1_epi8(static_cast<char>(a)),
                                _mm_set1_epi8(static_cast<char>(b)));
    };
    for (int k = 0; k < 9; ++k) {
      pairs[pair].red[k] = lanes(RedOf(left[k]), RedOf(right[k]));
      pairs[pair].green[k] = lanes(GreenOf(left[k]), GreenOf(right[k]));
      pairs[pair].blue[k] = lanes(BlueOf(left[k]), BlueOf(right[k]));
    }
  }
}

SSE41_FUNCTION void ClassifyCells(const ColourPlanes& work, const CellMixSlots& tables,
                                  MixCodes& codes, ProgressSink* progress) {
  static_assert(WindowWidth % 16 == 0 && CellSize == 8, "sixteen pixels are two cells");
  std::array<SlotLanes, CellColumns / 2> pairs;
  for (int y = 0; y < WindowHeight; ++y) {
    ReportProgress(progress, y);
    if (y % CellSize == 0) MakeCellPairSlots(tables, y, pairs);
    for (int x = 0, i = y * WindowWidth; x < WindowWidth; x += 16, i += 16) {
      NearestSixteen(work, pairs[x / 16], i, codes);
    }
  }
}

// --- Floyd-Steinberg ----------------------------------------------------------------------

// The below shares of a row, sixteen targets at a time. Flipping the top bit maps 0..255
// onto -128..127, where signed saturating addition is exactly the clamped addition.
SSE41_FUNCTION void AddBelowSharesVector(std::uint8_t* next, const std::int8_t* e,
                                         std::uint8_t* twoDown) {
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
  if (twoDown) *twoDown = static_cast<std::uint8_t>(Clamp255(*twoDown + e[WindowWidth]));
}

// The nine mix colours per channel: slots 1..8 in lanes 0..7, slot 9 in each of lanes 8..15,
// and the constants the search needs besides.
struct VectorTable {
  __m128i red, green, blue;
  __m128i low4, times7, eights, indexBytes, minimumWords;
};

SSE41_INLINE VectorTable MakeVectorTable(const MixSlots& mixTable) {
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

SSE41_INLINE ChannelDifferences Differences(__m128i v, __m128i slots, __m128i low4) {
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

SSE41_INLINE Choice Choose(const ChannelDifferences& r, const ChannelDifferences& g,
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
SSE41_INLINE __m128i Step(const ChannelDifferences& d, const Choice& choice,
                          const std::uint8_t* nextStored, std::int8_t* error,
                          const VectorTable& t) {
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
SSE41_INLINE Pixel Turn(const Pixel& v, int x, RowBuffers& row, RowErrors& e,
                        const VectorTable& t) {
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
// to the next leaves the vector unit. `slotsOfRow(y)` readies row y and gives the slots of
// each of its pixels, `slots(x)`.
template <typename SlotsOfRow>
SSE41_INLINE void DiffuseRows(ColourPlanes& work, MixCodes& codes, ProgressSink* progress,
                              SlotsOfRow&& slotsOfRow) {
  std::uint8_t* const planes[] = {work.red.data(), work.green.data(), work.blue.data()};
  RowErrors e;
  RowBuffers row;
  std::memset(&row, 0, sizeof row);
  for (int y = 0; y < WindowHeight; ++y) {
    ReportProgress(progress, y);
    const auto slots = slotsOfRow(y);
    const int start = y * WindowWidth;
    for (int c = 0; c < 3; ++c) std::memcpy(row.stored[c], planes[c] + start, WindowWidth);
    const auto broadcast = [](std::uint8_t value) {
      return _mm_set1_epi8(static_cast<char>(value));
    };
    Pixel v = {broadcast(row.stored[0][0]), broadcast(row.stored[1][0]),
               broadcast(row.stored[2][0])};
    v = Turn(v, 0, row, e, slots(0));
    // The first pixel's below-left share lands on the last pixel of this row, before the
    // right share that pixel gets from its left neighbour.
    AddWrappedShare(work, e, start);
    for (int c = 0; c < 3; ++c) row.stored[c][WindowWidth - 1] = planes[c][start + WindowWidth - 1];
    for (int x = 1; x < WindowWidth; ++x) v = Turn(v, x, row, e, slots(x));
    // The sixteen-byte stores ran over the zero behind the last error.
    e.red[WindowWidth + 1] = e.green[WindowWidth + 1] = e.blue[WindowWidth + 1] = 0;
    for (int c = 0; c < 3; ++c) std::memcpy(planes[c] + start, row.working[c], WindowWidth);
    std::memcpy(codes.data() + start, row.codes, WindowWidth);
    if (!FinishRow<AddBelowSharesVector>(work, e, y)) break;
  }
}

SSE41_FUNCTION void Diffuse(ColourPlanes& work, const MixSlots& mixTable, MixCodes& codes,
                            ProgressSink* progress) {
  const VectorTable t = MakeVectorTable(mixTable);
  DiffuseRows(work, codes, progress,
              [&](int) { return [&](int) -> const VectorTable& { return t; }; });
}

// The vector tables of the cells of the row of cells that pixel row y is in.
SSE41_FUNCTION void MakeRowOfCellTables(const CellMixSlots& tables, int y,
                                        std::array<VectorTable, CellColumns>& row) {
  for (int column = 0; column < CellColumns; ++column) {
    row[column] = MakeVectorTable(tables[CellOf(column * CellSize, y)]);
  }
}

// The same pass with each cell's own slots, switched as the pixels cross into the next cell.
SSE41_FUNCTION void DiffuseCells(ColourPlanes& work, const CellMixSlots& tables, MixCodes& codes,
                                 ProgressSink* progress) {
  std::array<VectorTable, CellColumns> cellTables;
  DiffuseRows(work, codes, progress, [&](int y) {
    if (y % CellSize == 0) MakeRowOfCellTables(tables, y, cellTables);
    return [&](int x) -> const VectorTable& { return cellTables[x / CellSize]; };
  });
}

// --- Layer bits and mix colours -------------------------------------------------------

SSE41_INLINE void Put(Plane& plane, int i, __m128i table, __m128i codes) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&plane[i]), _mm_shuffle_epi8(table, codes));
}

// Each table looked up for sixteen codes at once.
SSE41_FUNCTION void Expand(const MixCodes& codes, const MixSlots& mixTable, LayerPlanes& layers,
                           ColourPlanes& work, ProgressSink* progress) {
  const CodeTables t = MakeCodeTables(mixTable);
  const auto load = [](const std::array<std::uint8_t, 16>& a) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(a.data()));
  };
  const __m128i bitmap1 = load(t.bitmap1), sprite1 = load(t.sprite1);
  const __m128i bitmap2 = load(t.bitmap2), sprite2 = load(t.sprite2);
  const __m128i red = load(t.red), green = load(t.green), blue = load(t.blue);
  for (int y = 0; y < WindowHeight; ++y) {
    ReportProgress(progress, y);
    for (int i = y * WindowWidth; i < (y + 1) * WindowWidth; i += 16) {
      const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&codes[i]));
      Put(layers.Bitmap1Bits, i, bitmap1, c);
      Put(layers.Sprite1Bits, i, sprite1, c);
      Put(layers.Bitmap2Bits, i, bitmap2, c);
      Put(layers.Sprite2Bits, i, sprite2, c);
      Put(work.red, i, red, c);
      Put(work.green, i, green, c);
      Put(work.blue, i, blue, c);
    }
  }
}

// Sixteen codes looked up in two tables: lanes 0..7 in `left`, 8..15 in `right`.
SSE41_INLINE void PutFromTwo(Plane& plane, int i, __m128i left, __m128i right, __m128i codes) {
  _mm_storeu_si128(
      reinterpret_cast<__m128i*>(&plane[i]),
      _mm_blend_epi16(_mm_shuffle_epi8(left, codes), _mm_shuffle_epi8(right, codes), 0xF0));
}

// Per cell: the layer bits as above; the colours of sixteen codes from two cells' tables,
// lanes 0..7 from the left one's and 8..15 from the right one's.
SSE41_FUNCTION void ExpandCells(const MixCodes& codes, const CellMixSlots& tables,
                                LayerPlanes& layers, ColourPlanes& work, ProgressSink* progress) {
  const CodeTables bits = MakeCodeTables(MixSlots{});
  const auto load = [](const std::array<std::uint8_t, 16>& a) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(a.data()));
  };
  const __m128i bitmap1 = load(bits.bitmap1), sprite1 = load(bits.sprite1);
  const __m128i bitmap2 = load(bits.bitmap2), sprite2 = load(bits.sprite2);
  struct Colours {
    __m128i red, green, blue;
  };
  std::array<Colours, CellColumns> cellColours;
  for (int y = 0; y < WindowHeight; ++y) {
    ReportProgress(progress, y);
    if (y % CellSize == 0) {
      for (int column = 0; column < CellColumns; ++column) {
        const CodeTables t = MakeCodeTables(tables[CellOf(column * CellSize, y)]);
        cellColours[column] = {load(t.red), load(t.green), load(t.blue)};
      }
    }
    for (int x = 0, i = y * WindowWidth; x < WindowWidth; x += 16, i += 16) {
      const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&codes[i]));
      Put(layers.Bitmap1Bits, i, bitmap1, c);
      Put(layers.Sprite1Bits, i, sprite1, c);
      Put(layers.Bitmap2Bits, i, bitmap2, c);
      Put(layers.Sprite2Bits, i, sprite2, c);
      const Colours& left = cellColours[x / CellSize];
      const Colours& right = cellColours[x / CellSize + 1];
      PutFromTwo(work.red, i, left.red, right.red, c);
      PutFromTwo(work.green, i, left.green, right.green, c);
      PutFromTwo(work.blue, i, left.blue, right.blue, c);
    }
  }
}

}  // namespace

// The passes above; the low-flicker dithering stays the reference's (AVX2 has its own).
const ConversionKernels& X86Kernels() {
  static const ConversionKernels kernels = [] {
    ConversionKernels set = PortableKernels();
    set.name = "sse4.1";
    set.read = Read;
    set.classify = Classify;
    set.diffuse = Diffuse;
    set.expand = Expand;
    set.draw = Draw;
    set.classifyCells = ClassifyCells;
    set.diffuseCells = DiffuseCells;
    set.expandCells = ExpandCells;
    return set;
  }();
  return kernels;
}

}  // namespace vantrel
