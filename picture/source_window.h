// The crop: the picture drawn into the source view at an offset, read back pixel by pixel.
#pragma once

#include "core/converter_state.h"

namespace vantrel {

// Draws PictureBitmap into the Image1 surface with its top-left corner at (x, y) and
// reads the 192 x 200 surface back into SourceWindow. Offsets are 0 or negative in use.
void ReadSourceWindow(ConverterState& state, int x, int y);

}  // namespace vantrel
