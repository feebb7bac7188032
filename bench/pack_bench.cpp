// Packing an executable: the sample photo that packs worst (the most detail) and the first one,
// each converted with every setting at its default.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "c64/packed_executable.h"
#include "session/session.h"

namespace vantrel {
namespace {

std::vector<std::uint8_t> Executable(const std::string& photo) {
  Session session;
  session.ConvertFile(VANTREL_TEST_DATA "/" + photo + ".jpg", {});
  const auto bytes = session.Output(OutputKind::Executable);
  return {bytes.begin(), bytes.end()};
}

void BM_PackExecutable(benchmark::State& bench, const std::string& photo) {
  const std::vector<std::uint8_t> plain = Executable(photo);
  std::size_t packed = 0;
  for (auto _ : bench) {
    packed = PackExecutable(plain).size();
    benchmark::DoNotOptimize(packed);
  }
  bench.SetLabel(std::to_string(packed) + " bytes");
}
BENCHMARK_CAPTURE(BM_PackExecutable, chelsea, std::string("chelsea"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PackExecutable, astronaut, std::string("astronaut"))
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vantrel
