// The picture in the state at its scale, and the crop: the picture drawn into the source
// view at an offset, read back pixel by pixel.
#pragma once

#include <memory>

#include "core/converter_state.h"
#include "core/picture_source.h"

namespace vantrel {

// Makes `picture` the state's, shown at `percent`: decodes what that needs, then sets
// Picture, ScalePercent, PictureWidth and PictureHeight (the scaled size) and PictureLoaded.
// On failure nothing changes.
void SetPicture(ConverterState& state, std::shared_ptr<PictureSource> picture, int percent);

// Shows the state's picture at another scale, as SetPicture. The crop is not read again.
void SetScale(ConverterState& state, int percent);

// Draws the picture at its scale (PictureBitmap before any picture opened) into the Image1
// surface with its top-left corner at (x, y) and reads the 192 x 200 surface back into
// SourceWindow. Offsets are 0 or negative in use. Throws VantrelError when the picture's
// scale needs a decode that fails, before Image1 or SourceWindow change.
void ReadSourceWindow(ConverterState& state, int x, int y);

}  // namespace vantrel
