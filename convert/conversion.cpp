// The conversion pass and the preview painted from the layer bits.
#include "convert/conversion.h"

#include <array>
#include <stdexcept>

#include "colour/mix_colours.h"
#include "convert/diffusion_rows.h"
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
  if (state.CellTable) {
    // Colours per cell: the same passes, each pixel with its own cell's mixes.
    if (dithering == Dithering::LowFlicker) {
      DiffuseLowFlickerCells(state.WorkPlanes, state.CellMixTables, *state.CellTable,
                             state.ColourRoles, state.Model, codes, state.LabPlanes, progress,
                             kernels);
    } else {
      DiffuseErrorsCells(state.WorkPlanes, state.CellMixTables,
                         dithering == Dithering::FloydSteinberg, codes, progress, kernels);
    }
    kernels.expandCells(codes, state.CellMixTables, state.LayerBits, state.WorkPlanes, progress);
  } else if (dithering == Dithering::LowFlicker) {
    DiffuseLowFlicker(state.WorkPlanes, state.MixTable, state.ColourRoles, state.Model, codes,
                      state.LabPlanes, progress, kernels);
    kernels.expand(codes, state.MixTable, state.LayerBits, state.WorkPlanes, progress);
  } else {
    DiffuseErrors(state.WorkPlanes, state.MixTable, dithering == Dithering::FloydSteinberg, codes,
                  progress, kernels);
    kernels.expand(codes, state.MixTable, state.LayerBits, state.WorkPlanes, progress);
  }
  state.LastMixCode = codes[PixelCount - 1];
  state.ConvertedLayers = state.LayerBits;
  std::array<std::uint32_t*, WindowHeight> rows;
  for (int y = 0; y < WindowHeight; ++y) rows[y] = state.PreviewBitmap.ScanLine(y);
  kernels.draw(state.WorkPlanes, rows.data());
  if (!state.PixelEdits.Empty()) ApplyEdits(state);
}

void ApplyEdits(ConverterState& state) {
  static const diffusion::CodeTables bits = diffusion::MakeCodeTables(MixSlots{});
  state.LayerBits = state.ConvertedLayers;
  LayerPlanes& layers = state.LayerBits;
  for (int i = 0; i < PixelCount; ++i) {
    const int code = state.PixelEdits.codes[i];
    if (code == 0) continue;
    layers.Bitmap1Bits[i] = bits.bitmap1[code];
    layers.Sprite1Bits[i] = bits.sprite1[code];
    layers.Bitmap2Bits[i] = bits.bitmap2[code];
    layers.Sprite2Bits[i] = bits.sprite2[code];
  }
  PaintPreviewFromLayers(state);
}

int MixCodeShown(const LayerPlanes& layers, int i) {
  // MixCode by the layer each frame shows: 0 background, 1 bitmap, 2 sprite (role 0, 1, 2
  // in frame 1; 0, 3, 4 in frame 2).
  static const auto codeShown = [] {
    std::array<std::array<int, 3>, 3> codes{};
    for (int code = 1; code <= 9; ++code) {
      const auto [first, second] = MixSlotRoles[code - 1];
      codes[first][second == 0 ? 0 : second - 2] = code;
    }
    return codes;
  }();
  const int frame1 = layers.Sprite1Bits[i] ? 2 : layers.Bitmap1Bits[i] ? 1 : 0;
  const int frame2 = layers.Sprite2Bits[i] ? 2 : layers.Bitmap2Bits[i] ? 1 : 0;
  return codeShown[frame1][frame2];
}

int RoleShownInFrame(const LayerPlanes& layers, int i, int frame) {
  if (frame == 1) return layers.Sprite1Bits[i] ? 2 : layers.Bitmap1Bits[i] ? 1 : 0;
  return layers.Sprite2Bits[i] ? 4 : layers.Bitmap2Bits[i] ? 3 : 0;
}

void PaintPreviewFromLayers(ConverterState& state) {
  if (!state.PictureLoaded) return;
  if (state.PreviewBitmap.Width() < WindowWidth || state.PreviewBitmap.Height() < WindowHeight) {
    throw std::logic_error("PaintPreviewFromLayers: PreviewBitmap is smaller than 192 x 200");
  }
  for (int y = 0; y < WindowHeight; ++y) {
    std::uint32_t* row = state.PreviewBitmap.ScanLine(y);
    for (int x = 0, i = y * WindowWidth; x < WindowWidth; ++x, ++i) {
      row[x] = ToPackedRGB(MixTableAt(state, x, y)[MixCodeShown(state.LayerBits, i) - 1]);
    }
  }
}

const MixSlots& MixTableAt(const ConverterState& state, int x, int y) {
  return state.CellTable ? state.CellMixTables[CellOf(x, y)] : state.MixTable;
}

TColor FrameColourAt(const ConverterState& state, int x, int y, int frame) {
  const int role = RoleShownInFrame(state.LayerBits, y * WindowWidth + x, frame);
  if (state.CellTable && role != 2 && role != 4) {
    const CellColourSet& cell = (*state.CellTable)[CellOf(x, y)];
    const int index = role == 0 ? (frame == 1 ? cell.Background1Colour : cell.Background2Colour)
                                : (frame == 1 ? cell.Bitmap1Colour : cell.Bitmap2Colour);
    return PaletteColour(index, state.Model);
  }
  return PaletteColour(state.ColourRoles[role], state.Model);
}

}  // namespace vantrel
