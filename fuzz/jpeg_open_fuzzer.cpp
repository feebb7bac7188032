// libFuzzer target for the whole open path: the bytes of a file are opened as a picture at
// 100 % (for a JPEG, its decoder's full decode), the crop is read back at two offsets, the
// channel offsets are applied and one conversion runs, as after "Open JPEG" in the window.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "convert/data_path.h"
#include "core/error.h"
#include "fuzz/fuzz_input.h"

namespace {

// Each pass reports rows 0..199 in order; anything else is a fault.
class CheckedProgress : public vantrel::ProgressSink {
 public:
  void SetProgress(int row) override {
    if (row < 0 || row >= vantrel::WindowHeight) std::abort();
    if (row != 0 && row != last_ + 1) std::abort();
    last_ = row;
  }

 private:
  int last_ = -1;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantrel;
  if (fuzz_input::TooSlowToDecode(data, size)) return 0;

  // One state for the whole run (a fresh megabyte per input costs more than the decode);
  // what a run could carry over to the next is put back to its start value.
  static const std::unique_ptr<ConverterState> state = [] {
    auto fresh = NewConverterState();
    fresh->PictureLoaded = true;
    return fresh;
  }();
  static const ViewSurface blankView;
  state->Image1 = blankView;
  state->SourceWindow.fill(0);
  state->Picture.reset();
  try {
    LoadPicture(*state, {data, size}, "the picture");
  } catch (const VantrelError&) {
    return 0;  // refused with a message: the window shows it and keeps the old picture
  }
  if (state->PictureWidth < WindowWidth || state->PictureHeight < WindowHeight) std::abort();

  // The top-left crop as after opening, then the bottom-right one (the scroll bars at
  // their minimum).
  ReadSourceWindow(*state, 0, 0);
  ReadSourceWindow(*state, WindowWidth - state->PictureWidth, WindowHeight - state->PictureHeight);

  const fuzz_input::Settings settings = fuzz_input::SettingsFor(data, size);
  CheckedProgress progress;
  Reconvert(*state, {settings.red, settings.green, settings.blue, settings.dithering}, &progress);

  const LayerPlanes& bits = state->LayerBits;
  for (const Plane* plane :
       {&bits.Bitmap1Bits, &bits.Sprite1Bits, &bits.Bitmap2Bits, &bits.Sprite2Bits}) {
    for (std::uint8_t bit : *plane) {
      if (bit > 1) std::abort();
    }
  }
  return 0;
}
