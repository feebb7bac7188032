// The crop: the picture drawn into the source view at an offset, read back pixel by pixel.
#pragma once

#include "core/converter_state.h"
#include "picture/photo.h"

namespace vantrel {

// Draws PictureBitmap into the Image1 surface with its top-left corner at (x, y) and
// reads the 192 x 200 surface back into SourceWindow. Offsets are 0 or negative in use.
void ReadSourceWindow(ConverterState& state, int x, int y);

// The same for `photo` scaled to `percent`: the scaled picture is drawn into Image1 with
// its top-left corner at (x, y) (Photo::DrawScaled) and the surface read back. At 100,
// with PictureBitmap holding photo.Level(1), this is ReadSourceWindow. Throws VantrelError
// when a level cannot be decoded, before Image1 or SourceWindow change.
void ReadScaledSourceWindow(ConverterState& state, Photo& photo, int percent, int x, int y);

}  // namespace vantrel
