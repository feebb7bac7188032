// What the fuzz target derives from its input besides the JPEG bytes themselves.
#pragma once

#include <cstddef>
#include <cstdint>

#include "convert/dithering.h"

namespace fuzz_input {

// Pictures between this size and the decoder's own limit are valid but take seconds and
// hundreds of megabytes each; the fuzzer skips them to keep its rate up. Larger ones still
// go in, since the decoder must refuse them before allocating anything.
inline constexpr long long kLargestFuzzedPixels = 1LL << 20;
inline constexpr long long kDecoderLimitPixels = 1LL << 28;

// Width times height from the first start-of-frame marker, or -1 when there is none.
inline long long FramePixels(const std::uint8_t* data, std::size_t size) {
  std::size_t i = 2;  // after the start-of-image marker
  while (i + 4 <= size) {
    if (data[i] != 0xFF) {  // libjpeg skips stray bytes before a marker, and so do we
      ++i;
      continue;
    }
    const std::uint8_t marker = data[i + 1];
    if (marker == 0xFF) {  // fill byte
      ++i;
      continue;
    }
    const std::size_t length = (std::size_t{data[i + 2]} << 8) | data[i + 3];
    const bool startOfFrame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (startOfFrame) {
      if (i + 9 > size) return -1;
      const long long height = (data[i + 5] << 8) | data[i + 6];
      const long long width = (data[i + 7] << 8) | data[i + 8];
      return width * height;
    }
    if (marker == 0xDA || length < 2) return -1;  // scan data before any frame
    i += 2 + length;
  }
  return -1;
}

inline bool TooSlowToDecode(const std::uint8_t* data, std::size_t size) {
  const long long pixels = FramePixels(data, size);
  return pixels > kLargestFuzzedPixels && pixels <= kDecoderLimitPixels;
}

// Channel offsets and the dithering switch, from a hash of the input, so that every input
// keeps its own settings from run to run.
struct Settings {
  int red, green, blue;
  vantrel::Dithering dithering;
};

inline Settings SettingsFor(const std::uint8_t* data, std::size_t size) {
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
  auto offset = [&hash] {
    hash = hash * 1103515245u + 12345u;
    // Zero half of the time (the common case), otherwise anywhere in -255..255.
    const int value = static_cast<int>((hash >> 8) % 511) - 255;
    return (hash >> 30) & 1 ? value : 0;
  };
  Settings settings{};
  settings.red = offset();
  settings.green = offset();
  settings.blue = offset();
  settings.dithering = static_cast<vantrel::Dithering>((hash >> 4) % 3);
  return settings;
}

}  // namespace fuzz_input
