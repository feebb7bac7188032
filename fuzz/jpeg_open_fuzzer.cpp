// libFuzzer target for the whole open path: the bytes of a file are opened as a picture at
// 100 % (for a JPEG, its decoder's full decode), the crop is read back at two offsets, the
// channel offsets are applied and one conversion runs, as after "Open JPEG" in the window.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "core/error.h"
#include "fuzz/fuzz_input.h"
#include "session/session.h"

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

  Session session;
  try {
    session.OpenBytes({data, size}, "the picture");
  } catch (const VantrelError&) {
    return 0;  // refused with a message: the window shows it and keeps the old picture
  }
  const ConverterState& state = session.State();
  if (state.PictureWidth < WindowWidth || state.PictureHeight < WindowHeight) std::abort();

  // The top-left crop as after opening, then the bottom-right one (the scroll bars at
  // their minimum).
  session.ReadSourceWindow(0, 0);
  session.ReadSourceWindow(session.AllowedCrops().MinDrawX(), session.AllowedCrops().MinDrawY());

  const fuzz_input::Settings settings = fuzz_input::SettingsFor(data, size);
  CheckedProgress progress;
  session.Reconvert({settings.red, settings.green, settings.blue, settings.dithering}, &progress);

  const LayerPlanes& bits = session.Layers();
  for (const Plane* plane :
       {&bits.Bitmap1Bits, &bits.Sprite1Bits, &bits.Bitmap2Bits, &bits.Sprite2Bits}) {
    for (std::uint8_t bit : *plane) {
      if (bit > 1) std::abort();
    }
  }
  return 0;
}
