// Kernels for x86 processors with AVX2: the low-flicker dithering and its CIELAB planes. The
// other passes come from the SSE4.1 set. Each function carries its own target attribute.
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "colour/perceptual.h"
#include "convert/kernels.h"
#include "convert/lab16.h"
#include "convert/low_flicker_dither.h"

namespace vantrel {

const ConversionKernels& X86Kernels();
const ConversionKernels& Avx2Kernels();

namespace {

using namespace lab16;

#define AVX2_LAB __attribute__((target("avx2"), always_inline)) inline

AVX2_LAB __m256 Row8(const float* m, __m256 r, __m256 g, __m256 b) {
  return _mm256_add_ps(
      _mm256_add_ps(_mm256_mul_ps(_mm256_set1_ps(m[0]), r), _mm256_mul_ps(_mm256_set1_ps(m[1]), g)),
      _mm256_mul_ps(_mm256_set1_ps(m[2]), b));
}

AVX2_LAB __m256 Companded8(__m256 t) {
  const __m256i guess =
      _mm256_add_epi32(_mm256_cvttps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_castps_si256(t)),
                                                         _mm256_set1_ps(Third))),
                       _mm256_set1_epi32(RootBias));
  const __m256 y = _mm256_castsi256_ps(guess);
  const __m256 cube = _mm256_mul_ps(_mm256_mul_ps(y, y), y);
  const __m256 root = _mm256_div_ps(_mm256_mul_ps(y, _mm256_add_ps(_mm256_add_ps(cube, t), t)),
                                    _mm256_add_ps(_mm256_add_ps(cube, cube), t));
  const __m256 line =
      _mm256_add_ps(_mm256_mul_ps(t, _mm256_set1_ps(LinearSlope)), _mm256_set1_ps(LinearOffset));
  return _mm256_blendv_ps(line, root, _mm256_cmp_ps(t, _mm256_set1_ps(Delta3), _CMP_GT_OQ));
}

AVX2_LAB __m256 Linear8(const Plane& p, int i, const float* linear) {
  const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&p[i]));
  return _mm256_i32gather_ps(linear, _mm256_cvtepu8_epi32(bytes), 4);
}

AVX2_LAB void Store8(std::int16_t* to, __m256 v) {
  const __m256i n = _mm256_cvtps_epi32(v);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(to),
                   _mm_packs_epi32(_mm256_castsi256_si128(n), _mm256_extracti128_si256(n, 1)));
}

// Lab16() for eight pixels at once, the linear values gathered from the table.
__attribute__((target("avx2"))) void ToLabPlanes16Avx2(const ColourPlanes& adjusted,
                                                       const float* linear, LabPlanes16& out) {
  constexpr float unit = LabUnit;
  for (int i = 0; i < PixelCount; i += 8) {
    const __m256 r = Linear8(adjusted.red, i, linear), g = Linear8(adjusted.green, i, linear),
                 b = Linear8(adjusted.blue, i, linear);
    const __m256 fx = Companded8(Row8(Mx, r, g, b)), fy = Companded8(Row8(My, r, g, b)),
                 fz = Companded8(Row8(Mz, r, g, b));
    Store8(&out.L[i], _mm256_mul_ps(_mm256_sub_ps(_mm256_mul_ps(fy, _mm256_set1_ps(116.0f)),
                                                  _mm256_set1_ps(16.0f)),
                                    _mm256_set1_ps(unit)));
    Store8(&out.a[i], _mm256_mul_ps(_mm256_sub_ps(fx, fy), _mm256_set1_ps(500.0f * unit)));
    Store8(&out.b[i], _mm256_mul_ps(_mm256_sub_ps(fy, fz), _mm256_set1_ps(200.0f * unit)));
  }
}

#undef AVX2_LAB

void ToLab(const ColourPlanes& adjusted, LabPlanes16& out) {
  ToLabPlanes16Avx2(adjusted, LinearTable().data(), out);
}

#define AVX2 __attribute__((target("avx2"), always_inline)) inline

// The vector pass works on pairs of rows, one per 128-bit half of each register: row y at
// pixel x and row y + 1 at pixel x - 3, whose colour by then has all it receives from row y.
// Within a half, the nine slots sit in three groups of four, each slot as two 16-bit pairs:
// (L, a), which madd squares and adds, and (b, -flicker), so that a working colour's (b, 0)
// minus it gives (db, flicker), which madd with (db, FlickerPenalty) turns into db^2 plus the
// penalty. Lanes 9..11 are padding that never wins.
constexpr int RowLag = 3;

struct VectorSlots {
  __m256i la[3], bf[3], code[3];
  __m256i twiceL[3];  // (2 L, 0) per slot
  __m256i padding;    // the largest key in lanes 9..11
};

// The same 128 bits in both halves.
AVX2 __m256i Both(const void* p) {
  return _mm256_broadcastsi128_si256(_mm_load_si128(static_cast<const __m128i*>(p)));
}

// One half of VectorSlots: the slots of one cell, for the pass with colours per cell.
struct HalfSlots {
  __m128i la[3], bf[3], twiceL[3];
};

__attribute__((target("avx2"))) HalfSlots MakeHalfSlots(const LowFlickerSlots& slots) {
  alignas(16) std::int16_t la[3][8] = {}, bf[3][8] = {}, twiceL[3][8] = {};
  for (int k = 0; k < 9; ++k) {
    const int g = k / 4, lane = k % 4;
    la[g][2 * lane] = static_cast<std::int16_t>(slots.lab[k][0]);
    la[g][2 * lane + 1] = static_cast<std::int16_t>(slots.lab[k][1]);
    twiceL[g][2 * lane] = static_cast<std::int16_t>(2 * slots.lab[k][0]);
    bf[g][2 * lane] = static_cast<std::int16_t>(slots.lab[k][2]);
    bf[g][2 * lane + 1] = static_cast<std::int16_t>(-(slots.penalty[k] / FlickerPenalty));
  }
  HalfSlots h;
  for (int g = 0; g < 3; ++g) {
    h.la[g] = _mm_load_si128(reinterpret_cast<const __m128i*>(la[g]));
    h.bf[g] = _mm_load_si128(reinterpret_cast<const __m128i*>(bf[g]));
    h.twiceL[g] = _mm_load_si128(reinterpret_cast<const __m128i*>(twiceL[g]));
  }
  return h;
}

__attribute__((target("avx2"))) VectorSlots MakeVectorSlots(const LowFlickerSlots& slots) {
  const HalfSlots h = MakeHalfSlots(slots);
  alignas(16) std::int32_t code[3][4] = {};
  for (int k = 0; k < 9; ++k) code[k / 4][k % 4] = k + 1;
  VectorSlots v;
  for (int g = 0; g < 3; ++g) {
    v.la[g] = _mm256_broadcastsi128_si256(h.la[g]);
    v.bf[g] = _mm256_broadcastsi128_si256(h.bf[g]);
    v.twiceL[g] = _mm256_broadcastsi128_si256(h.twiceL[g]);
    v.code[g] = Both(code[g]);
  }
  v.padding = _mm256_setr_epi32(0, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0, 0x7FFFFFFF, 0x7FFFFFFF,
                                0x7FFFFFFF);
  return v;
}

inline std::int32_t Pair(int low, int high) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint16_t>(low)) |
                                   static_cast<std::uint32_t>(static_cast<std::uint16_t>(high))
                                       << 16);
}
inline int Low(std::int32_t pair) { return static_cast<std::int16_t>(pair & 0xFFFF); }
inline int High(std::int32_t pair) {
  return static_cast<std::int16_t>(static_cast<std::uint32_t>(pair) >> 16);
}

// One row in the pair layout, (L, a) and (b, 0) per pixel as 32-bit words, index x + 1: a pad
// before the row and two behind it.
struct PairRow {
  explicit PairRow(int width) : la(width + 3), b0(width + 3) {}
  std::vector<std::int32_t> la, b0;
};

// A pixel's received error bounded.
std::int32_t Bound(std::int32_t received, int highBound) {
  return Pair(Clamp(Low(received), ErrorBound), Clamp(High(received), highBound));
}

// A pixel's working colour: its input plus its received error bounded.
std::int32_t Working(std::int32_t input, std::int32_t received, int highBound) {
  const std::int32_t bounded = Bound(received, highBound);
  return Pair(Low(input) + Low(bounded), High(input) + High(bounded));
}

// Each 16-bit half bounded to +-bound (a bound of 0 keeps the half 0).
AVX2 __m256i Bounded(__m256i v, __m256i bound) {
  return _mm256_min_epi16(_mm256_max_epi16(v, _mm256_sub_epi16(_mm256_setzero_si256(), bound)),
                          bound);
}

// Every 32-bit lane of each half a copy of the one lane of that half that is not zero.
AVX2 __m256i Spread(__m256i q) {
  q = _mm256_or_si256(q, _mm256_shuffle_epi32(q, _MM_SHUFFLE(1, 0, 3, 2)));
  return _mm256_or_si256(q, _mm256_shuffle_epi32(q, _MM_SHUFFLE(2, 3, 0, 1)));
}

struct Shares {
  __m256i right;  // every lane: (7e + 8) >> 4
  __m256i below;  // lanes 0..2: behind, under, ahead; lane 3: 0
};

// The four shares of an error broadcast in pairs; `factors` holds 3, 5, 7, 0 per lane.
AVX2 Shares SharesOf(__m256i e, __m256i factors) {
  const __m256i s =
      _mm256_srai_epi16(_mm256_add_epi16(_mm256_mullo_epi16(e, factors), _mm256_set1_epi16(8)), 4);
  __m256i sum = _mm256_add_epi16(s, _mm256_shuffle_epi32(s, _MM_SHUFFLE(2, 3, 0, 1)));
  sum = _mm256_add_epi16(sum, _mm256_shuffle_epi32(s, _MM_SHUFFLE(1, 0, 3, 2)));
  const __m256i ahead = _mm256_sub_epi16(e, _mm256_shuffle_epi32(sum, 0));
  return {_mm256_shuffle_epi32(s, _MM_SHUFFLE(2, 2, 2, 2)), _mm256_blend_epi16(s, ahead, 0x30)};
}

// A 32-bit word in every lane of the low half, another in the high half.
AVX2 __m256i Halves(std::int32_t low, std::int32_t high) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_set1_epi32(low)), _mm_set1_epi32(high),
                                 1);
}
AVX2 std::int32_t LowWord(__m256i v) { return _mm_cvtsi128_si32(_mm256_castsi256_si128(v)); }
AVX2 std::int32_t HighWord(__m256i v) { return _mm_cvtsi128_si32(_mm256_extracti128_si256(v, 1)); }

// Each 16-bit half truncated toward zero to a multiple of ErrorStep.
AVX2 __m256i Passed(__m256i e) {
  static_assert((ErrorStep & (ErrorStep - 1)) == 0, "truncation by masking");
  return _mm256_sign_epi16(
      _mm256_andnot_si256(_mm256_set1_epi16(ErrorStep - 1), _mm256_abs_epi16(e)), e);
}

// The constants every step needs.
struct StepConstants {
  VectorSlots slots;
  __m256i penalty, lowHalves, factors, bound, boundB;
};

// Two rows of the pass, one per half: the working colours, the shares for the rows below and
// where everything lives. The first row's pixel x goes with the second's x - RowLag.
struct RowPair {
  const std::int32_t *in0La, *in0B0, *in1La, *in1B0;  // input rows
  const std::int32_t *got0La, *got0B0;                // what the first row received
  std::int32_t *got1La, *got1B0;                      // what the second row receives
  std::int32_t *got2La, *got2B0;                      // what the row below it receives
  const std::int32_t* upper;                          // lightness errors of the row above the first
  std::int32_t *errors0, *errors1;                    // lightness errors of the two rows
  std::uint8_t *codes0, *codes1;
  int width;
  bool second;  // whether there is a second row
  __m256i wla, wb0, shareLa, shareB0;
  __m256i receivedLa;  // the bounded error in wla
  __m256i leftError;   // (lightness error of the pixel before, 0) in every lane
  // With colours per cell: every cell's slots, the first cell of each row's row of cells, and
  // the slots of the cells the two rows are in now, one per half.
  const HalfSlots* cells = nullptr;
  int cells0 = 0, cells1 = 0;
  VectorSlots inCells{};

  // Pixel x0 of the first row and x0 - RowLag of the second, where they exist.
  template <bool PerCell>
  AVX2 void Step(int x0, const StepConstants& k) {
    const int x1 = x0 - RowLag;
    if constexpr (PerCell) {
      // Each row takes its cell's slots as it enters the cell.
      if (x0 < width && x0 % CellSize == 0) {
        const HalfSlots& c = cells[cells0 + x0 / CellSize];
        for (int g = 0; g < 3; ++g) {
          inCells.la[g] = _mm256_inserti128_si256(inCells.la[g], c.la[g], 0);
          inCells.bf[g] = _mm256_inserti128_si256(inCells.bf[g], c.bf[g], 0);
          inCells.twiceL[g] = _mm256_inserti128_si256(inCells.twiceL[g], c.twiceL[g], 0);
        }
      }
      if (x1 >= 0 && x1 < width && x1 % CellSize == 0) {
        const HalfSlots& c = cells[cells1 + x1 / CellSize];
        for (int g = 0; g < 3; ++g) {
          inCells.la[g] = _mm256_inserti128_si256(inCells.la[g], c.la[g], 1);
          inCells.bf[g] = _mm256_inserti128_si256(inCells.bf[g], c.bf[g], 1);
          inCells.twiceL[g] = _mm256_inserti128_si256(inCells.twiceL[g], c.twiceL[g], 1);
        }
      }
    }
    if (x0 == 0) {
      wla =
          _mm256_inserti128_si256(wla, _mm_set1_epi32(Working(in0La[1], got0La[1], ErrorBound)), 0);
      wb0 = _mm256_inserti128_si256(wb0, _mm_set1_epi32(Working(in0B0[1], got0B0[1], 0)), 0);
      receivedLa =
          _mm256_inserti128_si256(receivedLa, _mm_set1_epi32(Bound(got0La[1], ErrorBound)), 0);
      shareLa = shareB0 = leftError = _mm256_setzero_si256();
    }
    if (x1 == 0) {
      wla =
          _mm256_inserti128_si256(wla, _mm_set1_epi32(Working(in1La[1], got1La[1], ErrorBound)), 1);
      wb0 = _mm256_inserti128_si256(wb0, _mm_set1_epi32(Working(in1B0[1], got1B0[1], 0)), 1);
      receivedLa =
          _mm256_inserti128_si256(receivedLa, _mm_set1_epi32(Bound(got1La[1], ErrorBound)), 1);
      const __m256i keepLow = _mm256_setr_epi32(-1, -1, -1, -1, 0, 0, 0, 0);
      shareLa = _mm256_and_si256(shareLa, keepLow);
      shareB0 = _mm256_and_si256(shareB0, keepLow);
      leftError = _mm256_and_si256(leftError, keepLow);
    }
    // Twice the input lightness plus the upper neighbour's error, then the left one's: what
    // twice a slot's lightness is compared with.
    const int c0 = std::min(x0 + 1, width + 2), c1 = std::max(x1 + 1, 0);
    const __m256i neighbours = _mm256_add_epi16(
        Halves(Pair(2 * Low(in0La[c0]) + upper[c0], 0), Pair(2 * Low(in1La[c1]) + errors0[c1], 0)),
        leftError);
    // The next pixel of each row (a pad where there is none).
    const int n0 = std::min(x0 + 2, width + 2), n1 = std::max(x1 + 2, 0);
    const __m256i inLa = Halves(in0La[n0], in1La[n1]);
    const __m256i inB0 = Halves(in0B0[n0], in1B0[n1]);
    const __m256i gotLa = Halves(got0La[n0], got1La[n1]);
    const __m256i gotB0 = Halves(got0B0[n0], got1B0[n1]);
    const VectorSlots& v = PerCell ? inCells : k.slots;
    __m256i key[3], dla[3], dbf[3];
#pragma GCC unroll 3
    for (int g = 0; g < 3; ++g) {
      dla[g] = _mm256_sub_epi16(wla, v.la[g]);
      dbf[g] = _mm256_sub_epi16(wb0, v.bf[g]);
      const __m256i contrast = _mm256_sub_epi16(v.twiceL[g], neighbours);
      const __m256i cost = _mm256_add_epi32(
          _mm256_add_epi32(_mm256_madd_epi16(dla[g], dla[g]),
                           _mm256_madd_epi16(dbf[g], _mm256_blend_epi16(dbf[g], k.penalty, 0xAA))),
          _mm256_srli_epi32(_mm256_madd_epi16(contrast, contrast), ContrastShift));
      key[g] = _mm256_or_si256(_mm256_slli_epi32(cost, 4), v.code[g]);
    }
    key[2] = _mm256_or_si256(key[2], v.padding);
    __m256i least = _mm256_min_epi32(_mm256_min_epi32(key[0], key[1]), key[2]);
    least = _mm256_min_epi32(least, _mm256_shuffle_epi32(least, _MM_SHUFFLE(1, 0, 3, 2)));
    least = _mm256_min_epi32(least, _mm256_shuffle_epi32(least, _MM_SHUFFLE(2, 3, 0, 1)));
    __m256i eLa = _mm256_setzero_si256(), eBf = eLa;
#pragma GCC unroll 3
    for (int g = 0; g < 3; ++g) {
      const __m256i won = _mm256_cmpeq_epi32(key[g], least);
      eLa = _mm256_or_si256(eLa, _mm256_and_si256(won, dla[g]));
      eBf = _mm256_or_si256(eBf, _mm256_and_si256(won, dbf[g]));
    }
    eLa = Spread(eLa);
    // The slot's lightness minus the input's: the received error less what is left.
    leftError = _mm256_and_si256(_mm256_sub_epi16(receivedLa, eLa), k.lowHalves);
    // Shares in lanes: behind, under, right, 0; ahead is what they leave of the error.
    const Shares la = SharesOf(Passed(eLa), k.factors),
                 bf = SharesOf(Passed(Spread(eBf)), k.factors);
    receivedLa = Bounded(_mm256_add_epi16(gotLa, la.right), k.bound);
    wla = _mm256_add_epi16(inLa, receivedLa);
    wb0 = _mm256_add_epi16(inB0, Bounded(_mm256_add_epi16(gotB0, bf.right), k.boundB));
    // The shares for the row below collect in registers, in scan order: lane 0 the pixel
    // behind, which gets nothing more, lane 1 this one, lane 2 the one ahead.
    shareLa = _mm256_add_epi16(shareLa, la.below);
    shareB0 = _mm256_add_epi16(shareB0, _mm256_and_si256(bf.below, k.lowHalves));
    if (x0 < width) {
      codes0[x0] = static_cast<std::uint8_t>(LowWord(least) & 15);
      got1La[x0] = LowWord(shareLa);
      got1B0[x0] = LowWord(shareB0);
      errors0[x0 + 1] = Low(LowWord(leftError));
    }
    if (second && x1 >= 0 && x1 < width) {
      codes1[x1] = static_cast<std::uint8_t>(HighWord(least) & 15);
      got2La[x1] = HighWord(shareLa);
      got2B0[x1] = HighWord(shareB0);
      errors1[x1 + 1] = Low(HighWord(leftError));
    }
    shareLa = _mm256_srli_si256(shareLa, 4);
    shareB0 = _mm256_srli_si256(shareB0, 4);
    // After a row's last pixel, what its last position received.
    if (x0 == width - 1) {
      got1La[width] = LowWord(shareLa);
      got1B0[width] = LowWord(shareB0);
    }
    if (second && x1 == width - 1) {
      got2La[width] = HighWord(shareLa);
      got2B0[width] = HighWord(shareB0);
    }
  }
};

// Four rows at a time as two pairs, the second pair 2 * RowLag steps behind the first: two
// independent chains of steps that the processor overlaps.
// `cellSlots`: with PerCell, the slots of every cell, (width + 7) / 8 cells a row.
template <bool PerCell>
__attribute__((target("avx2"))) void DitherRows(const std::int16_t* L, const std::int16_t* a,
                                                const std::int16_t* b, int width, int height,
                                                const LowFlickerSlots& slots,
                                                const LowFlickerSlots* cellSlots,
                                                std::uint8_t* codes, ProgressSink* progress) {
  StepConstants k;
  k.slots = MakeVectorSlots(slots);
  const int cellColumns = (width + CellSize - 1) / CellSize;
  std::vector<HalfSlots> cells;
  if constexpr (PerCell) {
    const int count = cellColumns * ((height + CellSize - 1) / CellSize);
    for (int cell = 0; cell < count; ++cell) cells.push_back(MakeHalfSlots(cellSlots[cell]));
  }
  k.penalty = _mm256_set1_epi32(FlickerPenalty << 16);
  k.lowHalves = _mm256_set1_epi32(0xFFFF);
  k.factors = _mm256_setr_epi16(3, 3, 5, 5, 7, 7, 0, 0, 3, 3, 5, 5, 7, 7, 0, 0);
  k.bound = _mm256_set1_epi32(Pair(ErrorBound, ErrorBound));
  k.boundB = _mm256_set1_epi32(Pair(ErrorBound, 0));
  constexpr int Rows = 4;
  std::vector<PairRow> input(Rows, PairRow(width));
  // What rows y .. y + 4 receive, in turn; each position is written once per row.
  std::vector<PairRow> received(Rows + 1, PairRow(width));
  std::vector<std::uint8_t> spare(width);  // codes of rows below the picture
  // Lightness errors of rows y - 1 .. y + 3, row r at (r + 1) % 6, index x + 1 (a pad
  // before the row and two behind it); row -1's are zeros.
  std::vector<std::vector<std::int32_t>> errors(6, std::vector<std::int32_t>(width + 3, 0));
  for (int y = 0; y < height; y += Rows) {
    for (int r = 0; r < Rows; ++r) {
      if (y + r < height) ReportProgress(progress, y + r);
      for (int x = 0; x < width; ++x) {
        const int i = (y + r) * width + x;
        input[r].la[x + 1] = y + r < height ? Pair(L[i], a[i]) : 0;
        input[r].b0[x + 1] = y + r < height ? Pair(b[i], 0) : 0;
      }
    }
    const auto pair = [&](int r) {
      PairRow& got0 = received[(y + r) % (Rows + 1)];
      PairRow& got1 = received[(y + r + 1) % (Rows + 1)];
      PairRow& got2 = received[(y + r + 2) % (Rows + 1)];
      const auto row = [&](int n) {
        return y + n < height ? codes + (y + n) * width : spare.data();
      };
      return RowPair{input[r].la.data(),
                     input[r].b0.data(),
                     input[r + 1].la.data(),
                     input[r + 1].b0.data(),
                     got0.la.data(),
                     got0.b0.data(),
                     got1.la.data(),
                     got1.b0.data(),
                     got2.la.data(),
                     got2.b0.data(),
                     errors[(y + r) % 6].data(),
                     errors[(y + r + 1) % 6].data(),
                     errors[(y + r + 2) % 6].data(),
                     row(r),
                     row(r + 1),
                     width,
                     y + r + 1 < height,
                     {},
                     {},
                     {},
                     {},
                     {},
                     {}};
    };
    RowPair first = pair(0), second = pair(2);
    if constexpr (PerCell) {
      for (const auto& [p, r] : {std::pair{&first, 0}, std::pair{&second, 2}}) {
        // Rows below the picture take the last row's cells; their codes go nowhere.
        const auto cellRow = [&](int n) {
          return std::min(y + n, height - 1) / CellSize * cellColumns;
        };
        p->cells = cells.data();
        p->cells0 = cellRow(r);
        p->cells1 = cellRow(r + 1);
        p->inCells = k.slots;
      }
    }
    const bool both = y + 2 < height;
    const int steps = width + (both ? 3 : 1) * RowLag;
    for (int step = 0; step < steps; ++step) {
      if (step < width + RowLag) first.Step<PerCell>(step, k);
      if (both && step >= 2 * RowLag) second.Step<PerCell>(step - 2 * RowLag, k);
    }
  }
}

void DitherAvx2(const std::int16_t* L, const std::int16_t* a, const std::int16_t* b, int width,
                int height, const LowFlickerSlots& slots, std::uint8_t* codes,
                ProgressSink* progress) {
  DitherRows<false>(L, a, b, width, height, slots, nullptr, codes, progress);
}

void DitherCellsAvx2(const std::int16_t* L, const std::int16_t* a, const std::int16_t* b, int width,
                     int height, const LowFlickerSlots* cellSlots, std::uint8_t* codes,
                     ProgressSink* progress) {
  DitherRows<true>(L, a, b, width, height, cellSlots[0], cellSlots, codes, progress);
}

#undef AVX2

}  // namespace

const ConversionKernels& Avx2Kernels() {
  static const ConversionKernels kernels = [] {
    ConversionKernels set = X86Kernels();
    set.name = "avx2";
    set.toLab = ToLab;
    set.lowFlicker = DitherAvx2;
    set.lowFlickerCells = DitherCellsAvx2;
    return set;
  }();
  return kernels;
}

}  // namespace vantrel
