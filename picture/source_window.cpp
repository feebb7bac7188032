// The picture set into the state, drawn into the source view and read back as the crop.
#include "picture/source_window.h"

#include <stdexcept>
#include <utility>

#include "picture/picture_scale.h"

namespace vantrel {
namespace {

// The crop is not copied out of the picture: the picture is drawn into the view and the view
// read back, so pixels the picture does not cover keep what the view showed. The view's
// pixels are TColor words (red in the low byte) and the crop holds PackedRGB (red high), so
// every word swaps red and blue on the way; the planes downstream pair red with red again.
void ReadBack(ConverterState& state) {
  for (int row = 0; row < WindowHeight; ++row) {
    for (int column = 0; column < WindowWidth; ++column) {
      state.SourceWindow[row * WindowWidth + column] = ToPackedRGB(state.Image1.Pixel(column, row));
    }
  }
}

void ShowAt(ConverterState& state, int percent) {
  state.ScalePercent = percent;
  state.PictureWidth = ScaledLength(state.Picture->Width(), percent);
  state.PictureHeight = ScaledLength(state.Picture->Height(), percent);
}

}  // namespace

void SetPicture(ConverterState& state, std::shared_ptr<PictureSource> picture, int percent) {
  picture->Prepare(percent);
  state.Picture = std::move(picture);
  ShowAt(state, percent);
  state.PictureLoaded = true;
}

void SetScale(ConverterState& state, int percent) {
  if (!state.Picture) throw std::logic_error("SetScale: no picture");
  state.Picture->Prepare(percent);
  state.Picture->KeepLevelsNear(percent);
  ShowAt(state, percent);
}

void ReadSourceWindow(ConverterState& state, int x, int y) {
  if (state.Picture) {
    state.Picture->DrawScaled(state.ScalePercent, x, y, state.Image1);
  } else {
    state.Image1.Draw(x, y, state.PictureBitmap);
  }
  ReadBack(state);
}

}  // namespace vantrel
