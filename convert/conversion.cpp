#include "convert/conversion.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>

#include "convert/error_diffusion.h"

namespace vantrel {
namespace {

// LayerBits of each MixCode (index 0 unused): which layer frame 1 and frame 2 set.
// Code 3 sets the frame-1 bitmap as well as the sprite, unlike codes 8 and 9.
struct LayerFlags {
  std::uint8_t bitmap1, sprite1, bitmap2, sprite2;
};
constexpr std::array<LayerFlags, 10> kLayerFlags = {{
    {0, 0, 0, 0},
    {0, 0, 0, 0},
    {1, 0, 0, 0},
    {1, 1, 0, 0},
    {0, 0, 1, 0},
    {0, 0, 0, 1},
    {1, 0, 1, 0},
    {1, 0, 0, 1},
    {0, 1, 1, 0},
    {0, 1, 0, 1},
}};

void ReadImage(ConverterState& state, ProgressSink* progress) {
  ColourPlanes& work = state.WorkPlanes;
  for (int y = 0; y < WindowHeight; ++y) {
    ReportProgress(progress, y);
    for (int x = 0; x < WindowWidth; ++x) {
      const TColor c = state.Image1.Pixel(x, y);
      const int i = y * WindowWidth + x;
      work.red[i] = RedOf(c);
      work.green[i] = GreenOf(c);
      work.blue[i] = BlueOf(c);
    }
  }
}

void Classify(ConverterState& state, const MixCodes& codes, ProgressSink* progress) {
  ColourPlanes& work = state.WorkPlanes;
  LayerPlanes& layers = state.LayerBits;
  const MixSlots& table = state.MixTable;
  for (int y = 0; y < WindowHeight; ++y) {
    ReportProgress(progress, y);
    for (int x = 0; x < WindowWidth; ++x) {
      const int i = y * WindowWidth + x;
      const int code = codes[i];
      const LayerFlags flags = kLayerFlags[code];
      layers.Bitmap1Bits[i] = flags.bitmap1;
      layers.Sprite1Bits[i] = flags.sprite1;
      layers.Bitmap2Bits[i] = flags.bitmap2;
      layers.Sprite2Bits[i] = flags.sprite2;
      const TColor m = table[code - 1];
      work.red[i] = RedOf(m);
      work.green[i] = GreenOf(m);
      work.blue[i] = BlueOf(m);
    }
  }
  state.LastMixCode = codes[PixelCount - 1];
}

void DrawPreview(ConverterState& state) {
  const ColourPlanes& work = state.WorkPlanes;
  for (int y = 0; y < WindowHeight; ++y) {
    std::uint32_t* row = state.PreviewBitmap.ScanLine(y);
    for (int x = 0; x < WindowWidth; ++x) {
      const int i = y * WindowWidth + x;
      row[x] = MakePackedRGB(work.red[i], work.green[i], work.blue[i]);
    }
  }
}

}  // namespace

void ConvertPicture(ConverterState& state, bool dither, ProgressSink* progress) {
  if (!state.PictureLoaded) return;
  if (state.PreviewBitmap.Width() < WindowWidth || state.PreviewBitmap.Height() < WindowHeight) {
    throw std::invalid_argument("ConvertPicture: PreviewBitmap is smaller than 192 x 200");
  }
  MixCodes codes;  // the diffusion's choices, which the classification would repeat
  ReadImage(state, progress);
  DiffuseErrors(state.WorkPlanes, state.MixTable, dither, codes, progress);
  Classify(state, codes, progress);
  DrawPreview(state);
}

}  // namespace vantrel
