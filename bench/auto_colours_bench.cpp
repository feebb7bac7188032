// The automatic colour choice on each judged window (target: 250 ms per window), one
// candidate's evaluation on its own, and the perceived error of a conversion. The counters
// give, per window, the error with the default roles and with the chosen ones, the
// improvement and the flicker of the choice.
#include <benchmark/benchmark.h>

#include <memory>

#include "colour/perceptual.h"
#include "convert/auto_colours.h"
#include "convert/conversion.h"
#include "tests/convert/auto_colours_windows.h"

namespace vantrel {
namespace {

using auto_colours_windows::AllWindows;
using auto_colours_windows::ConvertedError;

void BM_SearchColourRoles(benchmark::State& bench) {
  const auto window = AllWindows()[bench.range(0)];
  const bool dither = bench.range(1) != 0;
  bench.SetLabel(window.name);
  std::unique_ptr<ConverterState> state;
  try {
    state = window.make();
  } catch (const std::exception& error) {
    bench.SkipWithError(error.what());
    return;
  }
  ColourRoleChoice choice;
  for (auto _ : bench) {
    choice = SearchColourRoles(state->Image1.Words(), dither);
    benchmark::DoNotOptimize(choice);
  }
  const double defaultError = ConvertedError(*state, DefaultColourRoles, dither);
  const double chosenError = ConvertedError(*state, choice.roles, dither);
  bench.counters["default_error"] = defaultError;
  bench.counters["chosen_error"] = chosenError;
  bench.counters["improvement_pct"] = 100.0 * (1.0 - chosenError / defaultError);
  bench.counters["flicker"] = InterlaceFlicker(state->LayerBits, choice.roles);
  bench.counters["lowest_error"] = choice.bestError.error;
  bench.counters["evaluations"] = choice.evaluations;
}
BENCHMARK(BM_SearchColourRoles)
    ->ArgNames({"window", "dither"})
    ->ArgsProduct({benchmark::CreateDenseRange(0, static_cast<int>(AllWindows().size()) - 1, 1),
                   {1}})
    ->Args({0, 0})
    ->Unit(benchmark::kMillisecond);

// One candidate: a full diffusion and classification, the blur and the error.
void BM_EvaluateRoles(benchmark::State& bench) {
  const bool dither = bench.range(0) != 0;
  const auto state = auto_colours_windows::Astronaut(0, 0);
  ColourRoleEvaluator evaluator(state->Image1.Words(), dither);
  for (auto _ : bench) benchmark::DoNotOptimize(evaluator.Evaluate(DefaultColourRoles));
}
BENCHMARK(BM_EvaluateRoles)->ArgName("dither")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vantrel
