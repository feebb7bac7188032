#include "convert/conversion.h"

#include <stdexcept>

#include "convert/error_diffusion.h"

namespace vantrel {
namespace {

// Pass 1: the adjusted crop from the source view into WorkPlanes. The surface's words are the
// pixels as PackedRGB (what Pixel() returns, red and blue swapped back).
void ReadImage(ConverterState& state, ProgressSink* progress) {
  ColourPlanes& work = state.WorkPlanes;
  const std::uint32_t* words = state.Image1.Words();
  for (int y = 0; y < WindowHeight; ++y) {
    ReportProgress(progress, y);
    for (int i = y * WindowWidth; i < (y + 1) * WindowWidth; ++i) {
      work.red[i] = static_cast<std::uint8_t>(words[i] >> 16);
      work.green[i] = static_cast<std::uint8_t>(words[i] >> 8);
      work.blue[i] = static_cast<std::uint8_t>(words[i]);
    }
  }
}

// Pass 4: columns 0..191 of the preview as PackedRGB words; the rest stays as it is.
void DrawPreview(ConverterState& state) {
  const ColourPlanes& work = state.WorkPlanes;
  for (int y = 0; y < WindowHeight; ++y) {
    std::uint32_t* words = state.PreviewBitmap.ScanLine(y);
    for (int x = 0, i = y * WindowWidth; x < WindowWidth; ++x, ++i) {
      words[x] = MakePackedRGB(work.red[i], work.green[i], work.blue[i]);
    }
  }
}

}  // namespace

void ConvertPicture(ConverterState& state, bool dither, ProgressSink* progress,
                    const ConversionKernels& kernels) {
  if (!state.PictureLoaded) return;
  if (state.PreviewBitmap.Width() < WindowWidth || state.PreviewBitmap.Height() < WindowHeight) {
    throw std::logic_error("ConvertPicture: PreviewBitmap is smaller than 192 x 200");
  }
  MixCodes codes;  // the diffusion's choices, which the classification would repeat
  ReadImage(state, progress);
  DiffuseErrors(state.WorkPlanes, state.MixTable, dither, codes, progress, kernels);
  kernels.expand(codes, state.MixTable, state.LayerBits, state.WorkPlanes, progress);
  state.LastMixCode = codes[PixelCount - 1];
  DrawPreview(state);
}

}  // namespace vantrel
