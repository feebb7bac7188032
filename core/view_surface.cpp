// Clipped drawing into the source view and reading its pixels back.
#include "core/view_surface.h"

#include <algorithm>

namespace vantrel {

void ViewSurface::Draw(int x, int y, const Bitmap32& bitmap) {
  // Work in 64 bits: offsets and sizes can be anything a decoded picture has.
  const long long left = std::max<long long>(0, x);
  const long long right =
      std::min<long long>(WindowWidth, static_cast<long long>(x) + bitmap.Width());
  const long long top = std::max<long long>(0, y);
  const long long bottom =
      std::min<long long>(WindowHeight, static_cast<long long>(y) + bitmap.Height());
  for (long long sy = top; sy < bottom; ++sy) {
    const std::uint32_t* row = bitmap.ScanLine(static_cast<int>(sy - y));
    for (long long sx = left; sx < right; ++sx) {
      words_[Index(static_cast<int>(sx), static_cast<int>(sy))] = row[sx - x] & 0xFFFFFFu;
    }
  }
}

}  // namespace vantrel
