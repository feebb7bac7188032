// The reference kernels: plain C++ that follows the rules step by step.
#include "convert/diffusion_rows.h"
#include "convert/kernels.h"
#include "convert/nearest_mix.h"

namespace vantrel {
namespace {

using namespace diffusion;

void Read(const std::uint32_t* words, ColourPlanes& work, ProgressSink* progress) {
  for (int y = 0; y < WindowHeight; ++y) {
    ReportProgress(progress, y);
    for (int i = y * WindowWidth; i < (y + 1) * WindowWidth; ++i) {
      work.red[i] = static_cast<std::uint8_t>(words[i] >> 16);
      work.green[i] = static_cast<std::uint8_t>(words[i] >> 8);
      work.blue[i] = static_cast<std::uint8_t>(words[i]);
    }
  }
}

void Classify(const ColourPlanes& work, const MixSlots& mixTable, MixCodes& codes,
              ProgressSink* progress) {
  const MixChannels mix(mixTable);
  for (int y = 0; y < WindowHeight; ++y) {
    ReportProgress(progress, y);
    for (int i = y * WindowWidth; i < (y + 1) * WindowWidth; ++i) {
      codes[i] =
          static_cast<std::uint8_t>(NearestMixCode(mix, work.red[i], work.green[i], work.blue[i]));
    }
  }
}

void Diffuse(ColourPlanes& work, const MixSlots& mixTable, MixCodes& codes,
             ProgressSink* progress) {
  const MixChannels mix(mixTable);
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
      const int code = NearestMixCode(mix, r, g, b);
      codes[i] = static_cast<std::uint8_t>(code);
      const int er = Error(r, mix.red[code - 1]);
      const int eg = Error(g, mix.green[code - 1]);
      const int eb = Error(b, mix.blue[code - 1]);
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
    if (!FinishRow(work, e, y, AddBelowShares)) break;
  }
}

void Expand(const MixCodes& codes, const MixSlots& mixTable, LayerPlanes& layers,
            ColourPlanes& work, ProgressSink* progress) {
  const CodeTables t = MakeCodeTables(mixTable);
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

void Draw(const ColourPlanes& work, std::uint32_t* const* rows) {
  for (int y = 0; y < WindowHeight; ++y) {
    for (int x = 0, i = y * WindowWidth; x < WindowWidth; ++x, ++i) {
      rows[y][x] = MakePackedRGB(work.red[i], work.green[i], work.blue[i]);
    }
  }
}

}  // namespace

const ConversionKernels& PortableKernels() {
  static constexpr ConversionKernels kernels{"portable", Read, Classify, Diffuse, Expand, Draw};
  return kernels;
}

}  // namespace vantrel
