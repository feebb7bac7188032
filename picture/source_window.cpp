#include "picture/source_window.h"

namespace vantrel {
namespace {

void ReadBack(ConverterState& state) {
  for (int row = 0; row < WindowHeight; ++row) {
    for (int column = 0; column < WindowWidth; ++column) {
      state.SourceWindow[row * WindowWidth + column] = ToPackedRGB(state.Image1.Pixel(column, row));
    }
  }
}

}  // namespace

void ReadSourceWindow(ConverterState& state, int x, int y) {
  state.Image1.Draw(x, y, state.PictureBitmap);
  ReadBack(state);
}

void ReadScaledSourceWindow(ConverterState& state, Photo& photo, int percent, int x, int y) {
  photo.DrawScaled(percent, x, y, state.Image1);
  ReadBack(state);
}

}  // namespace vantrel
