#include "convert/conversion.h"

#include <array>
#include <stdexcept>

#include "colour/mix_colours.h"
#include "convert/error_diffusion.h"
#include "convert/low_flicker_dither.h"

namespace vantrel {

void ConvertPicture(ConverterState& state, Dithering dithering, ProgressSink* progress,
                    const ConversionKernels& kernels) {
  if (!state.PictureLoaded) return;
  if (state.PreviewBitmap.Width() < WindowWidth || state.PreviewBitmap.Height() < WindowHeight) {
    throw std::logic_error("ConvertPicture: PreviewBitmap is smaller than 192 x 200");
  }
  // The source view's words are its pixels as PackedRGB (what Pixel() gives, red and blue
  // swapped back); the preview's columns 192.. are never written.
  MixCodes codes;  // the diffusion's choices, which the classification would repeat
  kernels.read(state.Image1.Words(), state.WorkPlanes, progress);
  if (dithering == Dithering::LowFlicker) {
    DiffuseLowFlicker(state.WorkPlanes, state.MixTable, state.ColourRoles, codes, state.LabPlanes,
                      progress, kernels);
  } else {
    DiffuseErrors(state.WorkPlanes, state.MixTable, dithering == Dithering::FloydSteinberg, codes,
                  progress, kernels);
  }
  kernels.expand(codes, state.MixTable, state.LayerBits, state.WorkPlanes, progress);
  state.LastMixCode = codes[PixelCount - 1];
  std::array<std::uint32_t*, WindowHeight> rows;
  for (int y = 0; y < WindowHeight; ++y) rows[y] = state.PreviewBitmap.ScanLine(y);
  kernels.draw(state.WorkPlanes, rows.data());
}

void PaintPreviewFromLayers(ConverterState& state) {
  if (!state.PictureLoaded) return;
  if (state.PreviewBitmap.Width() < WindowWidth || state.PreviewBitmap.Height() < WindowHeight) {
    throw std::logic_error("PaintPreviewFromLayers: PreviewBitmap is smaller than 192 x 200");
  }
  // MixCode by the layer each frame shows: 0 background, 1 bitmap, 2 sprite (role 0, 1, 2
  // in frame 1; 0, 3, 4 in frame 2).
  int codeShown[3][3] = {};
  for (int code = 1; code <= 9; ++code) {
    const auto [first, second] = MixSlotRoles[code - 1];
    codeShown[first][second == 0 ? 0 : second - 2] = code;
  }
  const LayerPlanes& layers = state.LayerBits;
  for (int y = 0; y < WindowHeight; ++y) {
    std::uint32_t* row = state.PreviewBitmap.ScanLine(y);
    for (int x = 0, i = y * WindowWidth; x < WindowWidth; ++x, ++i) {
      const int frame1 = layers.Sprite1Bits[i] ? 2 : layers.Bitmap1Bits[i] ? 1 : 0;
      const int frame2 = layers.Sprite2Bits[i] ? 2 : layers.Bitmap2Bits[i] ? 1 : 0;
      row[x] = ToPackedRGB(state.MixTable[codeShown[frame1][frame2] - 1]);
    }
  }
}

}  // namespace vantrel
