// Opening a 6000 x 4000 photo: DecodeJpegFile against libjpeg decoding the same file the
// way djpeg does (same settings, RGB rows into one reused buffer, no bitmap).
//
// The file is made once per run from the sample, scaled up bilinearly and compressed at
// quality 90, and left in the temporary folder (its path is each benchmark's label) so
// that `djpeg -dct float` can be timed on the very same file.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/bitmap32.h"
#include "picture/jpeg_decoder.h"
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

double PeakMemoryOverBitmap() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss * 1024.0 / (4.0 * kWidth * kHeight);
}

// A fresh bitmap each time, as for the first picture the window opens (with an earlier
// picture the old one stays until the new one is complete).
void BM_DecodeJpegFile(benchmark::State& state) {
  const std::string& file = BenchFile();
  if (file.empty()) {
    state.SkipWithError("cannot make the 6000 x 4000 JPEG file");
    return;
  }
  for (auto _ : state) {
    Bitmap32 picture;
    DecodeJpegFile(file, picture);
    benchmark::DoNotOptimize(picture.Words());
  }
  state.SetLabel(file);
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
  state.counters["peak_rss/bitmap"] = PeakMemoryOverBitmap();
}
BENCHMARK(BM_DecodeJpegFile)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// What djpeg -dct float does short of writing the PPM file.
void BM_LibjpegRgbRows(benchmark::State& state) {
  const std::string& file = BenchFile();
  if (file.empty()) {
    state.SkipWithError("cannot make the 6000 x 4000 JPEG file");
    return;
  }
  std::vector<JSAMPLE> row(static_cast<std::size_t>(kWidth) * 3);
  for (auto _ : state) {
    std::FILE* input = std::fopen(file.c_str(), "rb");
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, input);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.dct_method = JDCT_FLOAT;
    jpeg_start_decompress(&cinfo);
    JSAMPROW rows[1] = {row.data()};
    while (cinfo.output_scanline < cinfo.output_height) jpeg_read_scanlines(&cinfo, rows, 1);
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(input);
    benchmark::DoNotOptimize(row.data());
  }
  state.SetLabel(file);
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_LibjpegRgbRows)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace
}  // namespace vantrel
