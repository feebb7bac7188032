// The 6000 x 4000 photo the open and scale benchmarks use: made once per run from the
// sample, scaled up bilinearly and compressed at quality 90, and left in the temporary
// folder so that other programs (djpeg, open_fit, open_peak_memory) open the same file.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>

#include "tests/picture/jpeg_samples.h"

namespace vantrel {
namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// Bilinear resampling, pixel centres aligned, in 16.16 fixed point.
jpeg_samples::RawImage ScaleUp(const jpeg_samples::RawImage& source, int width, int height) {
  jpeg_samples::RawImage result(width, height, source.components);
  auto position = [](int i, int from, int to) {
    const long long p = ((2LL * i + 1) * from * 65536) / (2LL * to) - 32768;
    return std::max(0LL, std::min(p, static_cast<long long>(from - 1) * 65536));
  };
  for (int y = 0; y < height; ++y) {
    const long long py = position(y, source.height, height);
    const int y0 = static_cast<int>(py >> 16);
    const int y1 = std::min(y0 + 1, source.height - 1);
    const long long fy = py & 0xFFFF;
    for (int x = 0; x < width; ++x) {
      const long long px = position(x, source.width, width);
      const int x0 = static_cast<int>(px >> 16);
      const int x1 = std::min(x0 + 1, source.width - 1);
      const long long fx = px & 0xFFFF;
      for (int c = 0; c < source.components; ++c) {
        const long long top = source.Pixel(x0, y0)[c] * (65536 - fx) + source.Pixel(x1, y0)[c] * fx;
        const long long bottom =
            source.Pixel(x0, y1)[c] * (65536 - fx) + source.Pixel(x1, y1)[c] * fx;
        const long long value = (top * (65536 - fy) + bottom * fy + (1LL << 31)) >> 32;
        result.Pixel(x, y)[c] = static_cast<std::uint8_t>(value);
      }
    }
  }
  return result;
}

// Makes the file in a child process (an empty name if that failed), so that the 72 MB source
// picture never counts towards this process's peak memory.
const std::string& BenchFile() {
  static const std::string path = [] {
    const std::string name =
        (std::filesystem::temp_directory_path() / "vantrel-decode-bench-6000x4000.jpg").string();
    const pid_t child = fork();
    if (child == 0) {
      const auto sample = jpeg_samples::ReadJpegRgb(VANTREL_TEST_DATA "/astronaut.jpg");
      jpeg_samples::WriteJpeg(name, ScaleUp(sample, kWidth, kHeight), {.quality = 90});
      _exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
      return std::string();
    }
    return name;
  }();
  return path;
}

}  // namespace
}  // namespace vantrel
