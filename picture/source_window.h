// The crop: the picture drawn into the source view at an offset, read back pixel by pixel.
#pragma once

#include "core/converter_state.h"

namespace vantrel {

// Draws the picture at its scale (PictureBitmap before any picture opened) into the Image1
// surface with its top-left corner at (x, y) and reads the 192 x 200 surface back into
// SourceWindow. Offsets are 0 or negative in use. Throws VantrelError when the picture's
// scale needs a decode that fails, before Image1 or SourceWindow change.
void ReadSourceWindow(ConverterState& state, int x, int y);

}  // namespace vantrel
