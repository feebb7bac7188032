// Conversion of one 192 x 200 window, with and without dithering, through the session; and,
// as single stages, the same with the portable kernels and the nearest-mix search on its own.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "colour/mix_colours.h"
#include "colour/palette.h"
#include "convert/conversion.h"
#include "convert/nearest_mix.h"
#include "core/progress.h"
#include "session/session.h"

namespace vantrel {
namespace {

// What the window's progress bar costs at most: a virtual call that stores the row.
class LastRow : public ProgressSink {
 public:
  void SetProgress(int row) override { row_ = row; }

 private:
  volatile int row_ = 0;
};

// The astronaut's top-left window with the default roles, as after opening the file.
std::unique_ptr<Session> AstronautSession() {
  auto session = std::make_unique<Session>();
  session->OpenFile(VANTREL_TEST_DATA "/astronaut.jpg");
  session->ReadSourceWindow(0, 0);
  session->ApplyChannelOffsets(0, 0, 0);
  return session;
}

// The argument is the dithering: 0 none, 1 Floyd-Steinberg, 2 low flicker.
void BM_ConvertPicture(benchmark::State& bench) {
  const auto dithering = static_cast<Dithering>(bench.range(0));
  const auto session = AstronautSession();
  LastRow progress;
  for (auto _ : bench) {
    session->ConvertPicture(dithering, &progress);
    benchmark::DoNotOptimize(session->Layers().Sprite2Bits.data());
    benchmark::ClobberMemory();
  }
  bench.SetItemsProcessed(bench.iterations() * PixelCount);
}
BENCHMARK(BM_ConvertPicture)
    ->ArgName("dither")
    ->Arg(1)
    ->Arg(0)
    ->Arg(2)
    ->Unit(benchmark::kMicrosecond);

// The same restricted to the portable code, for comparison and for processors without
// SSE4.1.
void BM_ConvertPicturePortable(benchmark::State& bench) {
  const auto dithering = static_cast<Dithering>(bench.range(0));
  const auto session = AstronautSession();
  ConverterState state = session->State();
  LastRow progress;
  for (auto _ : bench) {
    ConvertPicture(state, dithering, &progress, PortableKernels());
    benchmark::DoNotOptimize(state.LayerBits.Sprite2Bits.data());
    benchmark::ClobberMemory();
  }
  bench.SetItemsProcessed(bench.iterations() * PixelCount);
}
BENCHMARK(BM_ConvertPicturePortable)
    ->ArgName("dither")
    ->Arg(1)
    ->Arg(0)
    ->Arg(2)
    ->Unit(benchmark::kMicrosecond);

std::vector<PackedRGB> RandomColours() {
  std::mt19937 rng(1);
  std::vector<PackedRGB> colours(4096);
  for (PackedRGB& c : colours) c = rng() & 0xFFFFFF;
  return colours;
}

// The public call, one colour at a time, as the window's pass would make it.
void BM_NearestMix(benchmark::State& bench) {
  const MixSlots table = BuildMixTable(RoleColours(DefaultColourRoles));
  const std::vector<PackedRGB> colours = RandomColours();
  std::int32_t last = 0;
  std::size_t n = 0;
  for (auto _ : bench) {
    benchmark::DoNotOptimize(NearestMix(table, colours[n++ & 4095], last));
  }
  bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(BM_NearestMix);

}  // namespace
}  // namespace vantrel
