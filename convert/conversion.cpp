#include "convert/conversion.h"

#include <array>
#include <cstdint>
#include <stdexcept>

#include "convert/error_diffusion.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VANTREL_HAVE_SSSE3_CLASSIFY 1
#endif

namespace vantrel {
namespace {

// What the classification writes for each MixCode (index 0 unused): the four layer bits and
// the mix colour. Code 3 sets the frame-1 bitmap as well as the sprite, unlike codes 8 and 9.
struct CodeTables {
  alignas(16) std::array<std::uint8_t, 16> bitmap1{}, sprite1{}, bitmap2{}, sprite2{};
  alignas(16) std::array<std::uint8_t, 16> red{}, green{}, blue{};
};

CodeTables MakeCodeTables(const MixSlots& mixTable) {
  //                                       code: 1  2  3  4  5  6  7  8  9
  static constexpr std::uint8_t kBitmap1[10] = {0, 0, 1, 1, 0, 0, 1, 1, 0, 0};
  static constexpr std::uint8_t kSprite1[10] = {0, 0, 0, 1, 0, 0, 0, 0, 1, 1};
  static constexpr std::uint8_t kBitmap2[10] = {0, 0, 0, 0, 1, 0, 1, 0, 1, 0};
  static constexpr std::uint8_t kSprite2[10] = {0, 0, 0, 0, 0, 1, 0, 1, 0, 1};
  CodeTables t;
  for (int code = 1; code <= 9; ++code) {
    t.bitmap1[code] = kBitmap1[code];
    t.sprite1[code] = kSprite1[code];
    t.bitmap2[code] = kBitmap2[code];
    t.sprite2[code] = kSprite2[code];
    t.red[code] = RedOf(mixTable[code - 1]);
    t.green[code] = GreenOf(mixTable[code - 1]);
    t.blue[code] = BlueOf(mixTable[code - 1]);
  }
  return t;
}

// Pass 1: the adjusted crop from the source view into WorkPlanes.
void ReadImage(ConverterState& state, ProgressSink* progress) {
  ColourPlanes& work = state.WorkPlanes;
  for (int y = 0; y < WindowHeight; ++y) {
    ReportProgress(progress, y);
    const int row = y * WindowWidth;
#if defined(__SSE2__)
    // The surface's words are the pixels as PackedRGB (what Pixel() returns, red and blue
    // swapped back): sixteen at a time into the three planes.
    const __m128i* words = reinterpret_cast<const __m128i*>(state.Image1.Words() + row);
    const __m128i low8 = _mm_set1_epi32(0xFF);
    const auto channel = [&](const __m128i w[4], int shift) {
      const auto part = [&](__m128i v) { return _mm_and_si128(_mm_srli_epi32(v, shift), low8); };
      return _mm_packus_epi16(_mm_packs_epi32(part(w[0]), part(w[1])),
                              _mm_packs_epi32(part(w[2]), part(w[3])));
    };
    for (int x = 0; x < WindowWidth; x += 16, words += 4) {
      const __m128i w[4] = {_mm_loadu_si128(words), _mm_loadu_si128(words + 1),
                            _mm_loadu_si128(words + 2), _mm_loadu_si128(words + 3)};
      _mm_storeu_si128(reinterpret_cast<__m128i*>(&work.red[row + x]), channel(w, 16));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(&work.green[row + x]), channel(w, 8));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(&work.blue[row + x]), channel(w, 0));
    }
#else
    for (int x = 0; x < WindowWidth; ++x) {
      const TColor c = state.Image1.Pixel(x, y);
      work.red[row + x] = RedOf(c);
      work.green[row + x] = GreenOf(c);
      work.blue[row + x] = BlueOf(c);
    }
#endif
  }
}

// Pass 3: layer bits and mix colour of every pixel from its code.
void ClassifyPortable(ConverterState& state, const MixCodes& codes, const CodeTables& t,
                      ProgressSink* progress) {
  ColourPlanes& work = state.WorkPlanes;
  LayerPlanes& layers = state.LayerBits;
  for (int y = 0; y < WindowHeight; ++y) {
    ReportProgress(progress, y);
    for (int i = y * WindowWidth; i < (y + 1) * WindowWidth; ++i) {
      const int code = codes[i];
      layers.Bitmap1Bits[i] = t.bitmap1[code];
      layers.Sprite1Bits[i] = t.sprite1[code];
      layers.Bitmap2Bits[i] = t.bitmap2[code];
      layers.Sprite2Bits[i] = t.sprite2[code];
      work.red[i] = t.red[code];
      work.green[i] = t.green[code];
      work.blue[i] = t.blue[code];
    }
  }
}

#if defined(VANTREL_HAVE_SSSE3_CLASSIFY)
__attribute__((target("ssse3"), always_inline)) inline void Put(Plane& plane, int i, __m128i table,
                                                                __m128i codes) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&plane[i]), _mm_shuffle_epi8(table, codes));
}

// The same with each table looked up for sixteen codes at once.
__attribute__((target("ssse3"))) void ClassifySsse3(ConverterState& state, const MixCodes& codes,
                                                    const CodeTables& t, ProgressSink* progress) {
  const auto load = [](const std::array<std::uint8_t, 16>& a) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(a.data()));
  };
  const __m128i bitmap1 = load(t.bitmap1), sprite1 = load(t.sprite1);
  const __m128i bitmap2 = load(t.bitmap2), sprite2 = load(t.sprite2);
  const __m128i red = load(t.red), green = load(t.green), blue = load(t.blue);
  ColourPlanes& work = state.WorkPlanes;
  LayerPlanes& layers = state.LayerBits;
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
#endif

// Pass 4: columns 0..191 of the preview as PackedRGB words; the rest stays as it is.
void DrawPreview(ConverterState& state) {
  const ColourPlanes& work = state.WorkPlanes;
  for (int y = 0; y < WindowHeight; ++y) {
    std::uint32_t* words = state.PreviewBitmap.ScanLine(y);
    const int row = y * WindowWidth;
#if defined(__SSE2__)
    // Bytes blue, green, red, 0 in memory, sixteen pixels at a time.
    const __m128i zero = _mm_setzero_si128();
    for (int x = 0; x < WindowWidth; x += 16) {
      const auto load = [&](const Plane& p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(&p[row + x]));
      };
      const __m128i r = load(work.red), g = load(work.green), b = load(work.blue);
      const __m128i bgLow = _mm_unpacklo_epi8(b, g), bgHigh = _mm_unpackhi_epi8(b, g);
      const __m128i rLow = _mm_unpacklo_epi8(r, zero), rHigh = _mm_unpackhi_epi8(r, zero);
      __m128i* out = reinterpret_cast<__m128i*>(words + x);
      _mm_storeu_si128(out, _mm_unpacklo_epi16(bgLow, rLow));
      _mm_storeu_si128(out + 1, _mm_unpackhi_epi16(bgLow, rLow));
      _mm_storeu_si128(out + 2, _mm_unpacklo_epi16(bgHigh, rHigh));
      _mm_storeu_si128(out + 3, _mm_unpackhi_epi16(bgHigh, rHigh));
    }
#else
    for (int x = 0; x < WindowWidth; ++x) {
      words[x] = MakePackedRGB(work.red[row + x], work.green[row + x], work.blue[row + x]);
    }
#endif
  }
}

}  // namespace

void ConvertPicture(ConverterState& state, bool dither, ProgressSink* progress) {
  ConvertPicture(state, dither, progress, FastestSimdLevel());
}

void ConvertPicture(ConverterState& state, bool dither, ProgressSink* progress, SimdLevel level) {
  if (!state.PictureLoaded) return;
  if (state.PreviewBitmap.Width() < WindowWidth || state.PreviewBitmap.Height() < WindowHeight) {
    throw std::invalid_argument("ConvertPicture: PreviewBitmap is smaller than 192 x 200");
  }
  if (!SimdLevelAvailable(level)) level = SimdLevel::Portable;
  MixCodes codes;  // the diffusion's choices, which the classification would repeat
  ReadImage(state, progress);
  DiffuseErrors(state.WorkPlanes, state.MixTable, dither, codes, progress, level);
  const CodeTables tables = MakeCodeTables(state.MixTable);
#if defined(VANTREL_HAVE_SSSE3_CLASSIFY)
  if (level == SimdLevel::Sse41) {
    ClassifySsse3(state, codes, tables, progress);
  } else {
    ClassifyPortable(state, codes, tables, progress);
  }
#else
  ClassifyPortable(state, codes, tables, progress);
#endif
  state.LastMixCode = codes[PixelCount - 1];
  DrawPreview(state);
}

}  // namespace vantrel
