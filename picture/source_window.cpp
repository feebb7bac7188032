#include "picture/source_window.h"

namespace vantrel {

void ReadSourceWindow(ConverterState& state, int x, int y) {
  state.Image1.Draw(x, y, state.PictureBitmap);
  for (int row = 0; row < WindowHeight; ++row) {
    for (int column = 0; column < WindowWidth; ++column) {
      state.SourceWindow[row * WindowWidth + column] = ToPackedRGB(state.Image1.Pixel(column, row));
    }
  }
}

}  // namespace vantrel
