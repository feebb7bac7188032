// The window's data path for callers that have all settings at once (the command line):
// decode, crop, channel offsets and conversion into a ConverterState, in the window's order
// and through the same steps, so the saved files come out byte for byte the same.
#pragma once

#include <string>

#include "colour/palette.h"
#include "core/converter_state.h"
#include "core/progress.h"
#include "core/types.h"

namespace vantrel {

struct ConversionSettings {
  int cropLeft = 0;  // top-left corner of the 192 x 200 window, in picture pixels
  int cropTop = 0;
  int redOffset = 0;  // each -255..255
  int greenOffset = 0;
  int blueOffset = 0;
  ColourRoleSet roles = DefaultColourRoles;  // palette indices 0..15
  bool dither = true;
};

// Decodes `fileName` into PictureBitmap and sets PictureWidth, PictureHeight and
// PictureLoaded. Throws VantrelError with the decoder's message, or
// "Picture too small (<w> x <h> pixels, at least 192 x 200 needed)"; on any failure the
// state is left as it was.
void LoadPicture(ConverterState& state, const std::string& fileName);

// Whether a window with its top-left corner at (left, top) lies inside the loaded picture.
bool CropFits(const ConverterState& state, int left, int top);

// Crops, applies the offsets, takes the roles and their mix colours and converts. Leaves
// LayerBits, PreviewBitmap and ColourRoles ready for saving. Throws std::invalid_argument,
// before changing anything, when no picture is loaded, the crop does not fit, an offset is
// outside -255..255 or a role is not a palette index.
void ConvertLoadedPicture(ConverterState& state, const ConversionSettings& settings,
                          ProgressSink* progress);

}  // namespace vantrel
