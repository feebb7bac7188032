// States for the tests of single stages, made as a session makes its own: the default roles
// and their mix colours, both bitmaps 256 x 200, and a crop where one is asked for.
#pragma once

#include <algorithm>
#include <memory>

#include "colour/mix_colours.h"
#include "colour/palette.h"
#include "core/converter_state.h"

namespace testsupport {

using namespace vantrel;

inline std::unique_ptr<ConverterState> NewConverterState() {
  auto state = std::make_unique<ConverterState>();
  SetColourRoles(*state, DefaultColourRoles);
  state->PictureBitmap.SetSize(InitialBitmapWidth, InitialBitmapHeight);
  state->PreviewBitmap.SetSize(InitialBitmapWidth, InitialBitmapHeight);
  return state;
}

// A picture loaded and `crop` read from it, as the crop and the channel offsets leave the
// state: the crop in SourceWindow, and with the offsets added (each channel clamped to
// 0..255) in WorkPlanes and Image1.
inline void SetCrop(ConverterState& state, const WindowWords& crop, int red = 0, int green = 0,
                    int blue = 0) {
  const auto offset = [](PackedRGB word, int shift, int by) {
    return static_cast<std::uint8_t>(
        std::clamp(static_cast<int>((word >> shift) & 0xFF) + by, 0, 255));
  };
  state.PictureLoaded = true;
  state.SourceWindow = crop;
  for (int i = 0; i < PixelCount; ++i) {
    const std::uint8_t r = offset(crop[i], 16, red), g = offset(crop[i], 8, green),
                       b = offset(crop[i], 0, blue);
    state.WorkPlanes.red[i] = r;
    state.WorkPlanes.green[i] = g;
    state.WorkPlanes.blue[i] = b;
    state.Image1.SetPixel(i % WindowWidth, i / WindowWidth, MakeTColor(r, g, b));
  }
}

}  // namespace testsupport
