// States for the tests of single stages, made as a session makes its own: the default roles
// and their mix colours, both bitmaps 256 x 200, and a picture where one is asked for.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "colour/mix_colours.h"
#include "colour/palette.h"
#include "core/converter_state.h"
#include "picture/photo.h"
#include "picture/picture_scale.h"
#include "picture/source_window.h"

namespace testsupport {

using namespace vantrel;

inline std::unique_ptr<ConverterState> NewConverterState() {
  auto state = std::make_unique<ConverterState>();
  SetColourRoles(*state, DefaultColourRoles);
  state->PictureBitmap.SetSize(InitialBitmapWidth, InitialBitmapHeight);
  state->PreviewBitmap.SetSize(InitialBitmapWidth, InitialBitmapHeight);
  return state;
}

// The picture file at the scale `scale` resolves to.
inline void LoadPicture(ConverterState& state, const std::string& fileName,
                        const ScaleSetting& scale = {}) {
  auto picture = std::make_shared<Photo>(Photo::OpenFile(fileName));
  const int percent = ResolvePercent(scale, picture->Width(), picture->Height());
  SetPicture(state, std::move(picture), percent);
}

// A picture already decoded, at 100 %.
inline void SetPicture(ConverterState& state, Bitmap32 picture) {
  vantrel::SetPicture(
      state, std::make_shared<Photo>(Photo::FromBitmap(std::move(picture), "the picture")), 100);
}

}  // namespace testsupport
