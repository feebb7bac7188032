#include "picture/source_window.h"

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

}  // namespace

void ReadSourceWindow(ConverterState& state, int x, int y) {
  if (state.Picture) {
    state.Picture->DrawScaled(state.ScalePercent, x, y, state.Image1);
  } else {
    state.Image1.Draw(x, y, state.PictureBitmap);
  }
  ReadBack(state);
}

}  // namespace vantrel
