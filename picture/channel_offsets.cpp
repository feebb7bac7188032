// The offsets added to the crop, clamped per channel.
#include "picture/channel_offsets.h"

#include <algorithm>

namespace vantrel {

namespace {
std::uint8_t Offset(unsigned value, int offset) {
  return static_cast<std::uint8_t>(std::clamp(static_cast<int>(value) + offset, 0, 255));
}
}  // namespace

void ApplyChannelOffsets(ConverterState& state, int red, int green, int blue,
                         ProgressSink* progress) {
  if (!state.PictureLoaded) return;
  for (int y = 0; y < WindowHeight; ++y) {
    ReportProgress(progress, y);
    for (int x = 0; x < WindowWidth; ++x) {
      const int i = y * WindowWidth + x;
      const PackedRGB w = state.SourceWindow[i];
      const std::uint8_t r = Offset((w >> 16) & 0xFF, red);
      const std::uint8_t g = Offset((w >> 8) & 0xFF, green);
      const std::uint8_t b = Offset(w & 0xFF, blue);
      state.WorkPlanes.red[i] = r;
      state.WorkPlanes.green[i] = g;
      state.WorkPlanes.blue[i] = b;
      state.Image1.SetPixel(x, y, MakeTColor(r, g, b));
    }
  }
  ReportProgress(progress, 0);
}

}  // namespace vantrel
