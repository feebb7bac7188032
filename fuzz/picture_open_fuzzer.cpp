// libFuzzer target for opening pictures of every format and drawing them scaled: the
// bytes go through format recognition, the decoders, orientation and the reduced levels
// into the area-average scaler, at Fit, 100 % and a scale taken from the input.
//
// Besides the sanitizers it checks what the window and the command line rely on: a scaled
// window is the same whichever part of the scaled picture is drawn, and the same from a
// freshly opened file as from one whose other levels were made first.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/error.h"
#include "core/view_surface.h"
#include "picture/photo.h"
#include "picture/picture_scale.h"

namespace {

using namespace vantrel;

// Pictures are refused above this size here (the real limit is 2^28, far too slow to
// fuzz); the refusal is the same code path.
constexpr long long kFuzzMaxPixels = 1LL << 20;
constexpr TColor kUntouched = 0x5A5A5A;

std::uint32_t Hash(const std::uint8_t* data, std::size_t size) {
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
  return hash;
}

ViewSurface Drawn(Photo& photo, int percent, int x, int y) {
  ViewSurface surface;
  for (int row = 0; row < WindowHeight; ++row) {
    for (int column = 0; column < WindowWidth; ++column) surface.SetPixel(column, row, kUntouched);
  }
  photo.DrawScaled(percent, x, y, surface);
  return surface;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> bytes(data, data + size);
  std::vector<Photo> photos;
  try {
    photos.push_back(Photo::OpenBytes(bytes, "input", kFuzzMaxPixels));
    photos.push_back(Photo::OpenBytes(bytes, "input", kFuzzMaxPixels));
  } catch (const VantrelError& error) {
    Check(error.what()[0] != '\0');
    return 0;
  }
  Photo& photo = photos[0];
  Check(photo.Width() > 0 && photo.Height() > 0);
  Check(photo.Orientation() >= 1 && photo.Orientation() <= 8);

  const std::uint32_t hash = Hash(data, size);
  const int fit = std::min(FitPercent(photo.Width(), photo.Height()), kMaxScalePercent);
  const int any = 1 + static_cast<int>(hash % kMaxScalePercent);
  for (const int percent : {fit, 100, any}) {
    const int scaledWidth = ScaledLength(photo.Width(), percent);
    const int scaledHeight = ScaledLength(photo.Height(), percent);
    // The bottom-right window (or the top-left one of a smaller picture), and the window
    // one pixel up and left of it.
    const CropCorner far =
        CropRangeOf(scaledWidth, scaledHeight).Clamp({scaledWidth, scaledHeight});
    const int x = far.DrawX();
    const int y = far.DrawY();
    ViewSurface first, shifted;
    try {
      // Other levels are made on the first photo before this one; the second photo makes
      // only the level this scale needs.
      first = Drawn(photo, percent, x, y);
      shifted = Drawn(photo, percent, x + 1, y + 1);
      const ViewSurface fresh = Drawn(photos[1], percent, x, y);
      Check(std::equal(first.Words(), first.Words() + PixelCount, fresh.Words()));
    } catch (const VantrelError& error) {
      Check(error.what()[0] != '\0');  // a JPEG whose data fails at this level
      return 0;
    }
    for (int row = 0; row < WindowHeight; ++row) {
      for (int column = 0; column < WindowWidth; ++column) {
        const bool covered =
            column >= x && column < x + scaledWidth && row >= y && row < y + scaledHeight;
        Check((first.Pixel(column, row) == kUntouched) || covered);
        if (covered && column + 1 < WindowWidth && row + 1 < WindowHeight) {
          Check(first.Pixel(column, row) == shifted.Pixel(column + 1, row + 1));
        }
      }
    }
  }
  for (const int percent : {fit, 100, any}) {
    const int reduction = percent == 100 ? 1 : LevelReduction(percent);
    const Bitmap32& level = photo.Level(reduction);  // drawn above, so no decode here
    Check(level.Width() == (photo.Width() + reduction - 1) / reduction);
    Check(level.Height() == (photo.Height() + reduction - 1) / reduction);
  }
  return 0;
}
