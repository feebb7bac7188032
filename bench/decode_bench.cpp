// Opening a 6000 x 4000 photo: DecodeJpegFile against libjpeg decoding the same file the
// way djpeg does (same settings, RGB rows into one reused buffer, no bitmap).
//
// The file (bench/big_photo.h) is left in the temporary folder, its path each benchmark's
// label, so that `djpeg -dct float` can be timed on the very same file.
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

#include "bench/big_photo.h"
#include "core/bitmap32.h"
#include "picture/jpeg_decoder.h"
#include "picture/photo.h"

namespace vantrel {
namespace {

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

// The same open through Photo, as the window will do it at 100 %: the file read whole,
// decoded from memory into level 1.
void BM_PhotoOpenAt100(benchmark::State& state) {
  const std::string& file = BenchFile();
  if (file.empty()) {
    state.SkipWithError("cannot make the 6000 x 4000 JPEG file");
    return;
  }
  for (auto _ : state) {
    Photo photo = Photo::OpenFile(file);
    benchmark::DoNotOptimize(photo.Level(1).Words());
  }
  state.SetLabel(file);
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_PhotoOpenAt100)->Unit(benchmark::kMillisecond)->MinTime(3.0);

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
