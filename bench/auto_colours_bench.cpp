// The automatic colour choice on each judged window (target: 250 ms per search, all goals
// at once), one candidate's evaluation on its own, and the low-flicker dithering pass. The
// table benchmark prints error and flicker per window and their means for every dithering
// and goal against the search this one replaced (Faithful with Floyd-Steinberg), and checks
// the goals.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "colour/perceptual.h"
#include "convert/auto_colours.h"
#include "convert/conversion.h"
#include "convert/low_flicker_dither.h"
#include "tests/convert/auto_colours_windows.h"

namespace vantrel {
namespace {

using auto_colours_windows::AllWindows;

// Error and flicker of the previous search (coordinate descent from estimated starts, the
// least flicker within 2 % of the least error), Floyd-Steinberg, per judged window.
struct Score {
  double error, flicker;
};
constexpr std::array<Score, 8> Before = {{{7.9541, 38.1887},
                                          {5.8321, 36.8318},
                                          {32.4215, 10.3083},
                                          {5.0110, 46.3017},
                                          {4.8506, 10.9787},
                                          {1.5927, 40.6613},
                                          {0.0000, 9.4673},
                                          {40.6745, 12.7403}}};

constexpr const char* GoalNames[GoalCount] = {"faithful", "balanced", "calm"};
constexpr const char* DitheringNames[] = {"none", "floyd-steinberg", "low-flicker"};

void BM_SearchColourRoles(benchmark::State& bench) {
  const auto window = AllWindows()[bench.range(0)];
  const auto dithering = static_cast<Dithering>(bench.range(1));
  bench.SetLabel(window.name);
  std::unique_ptr<ConverterState> state;
  try {
    state = window.make();
  } catch (const std::exception& error) {
    bench.SkipWithError(error.what());
    return;
  }
  std::array<ColourRoleChoice, GoalCount> choices;
  for (auto _ : bench) {
    choices = SearchColourRoleGoals(state->Image1.Words(), dithering);
    benchmark::DoNotOptimize(choices);
  }
  for (int goal = 0; goal < GoalCount; ++goal) {
    bench.counters[std::string(GoalNames[goal]) + "_error"] = choices[goal].score.error;
    bench.counters[std::string(GoalNames[goal]) + "_flicker"] = choices[goal].score.flicker;
  }
  bench.counters["evaluations"] = choices[0].evaluations;
  bench.counters["coarse_evaluations"] = choices[0].coarseEvaluations;
}
BENCHMARK(BM_SearchColourRoles)
    ->ArgNames({"window", "dithering"})
    ->ArgsProduct({benchmark::CreateDenseRange(0, static_cast<int>(AllWindows().size()) - 1, 1),
                   {1, 2, 0}})
    ->Unit(benchmark::kMillisecond);

// One candidate: a full diffusion and classification, the blur and the error.
void BM_EvaluateRoles(benchmark::State& bench) {
  const auto dithering = static_cast<Dithering>(bench.range(0));
  const auto state = auto_colours_windows::Astronaut(0, 0);
  ColourRoleEvaluator evaluator(state->Image1.Words(), dithering);
  for (auto _ : bench) benchmark::DoNotOptimize(evaluator.Evaluate(DefaultColourRoles));
}
BENCHMARK(BM_EvaluateRoles)
    ->ArgName("dithering")
    ->Arg(1)
    ->Arg(2)
    ->Arg(0)
    ->Unit(benchmark::kMicrosecond);

// Every window, dithering and goal once (each search the fastest of three, thread time),
// printed as a table with the means and the goals.
void BM_AutoColoursTable(benchmark::State& bench) {
  const auto windows = AllWindows();
  const int n = static_cast<int>(windows.size());
  std::array<std::array<std::array<Score, GoalCount>, 8>, 3> scores{};  // [dithering][window]
  std::array<std::array<double, 8>, 3> milliseconds{};
  for (auto _ : bench) {
    for (int w = 0; w < n; ++w) {
      const auto state = windows[w].make();
      for (int d = 0; d < 3; ++d) {
        double best = 1e9;
        std::array<ColourRoleChoice, GoalCount> choices;
        for (int run = 0; run < 3; ++run) {
          const std::clock_t start = std::clock();
          choices = SearchColourRoleGoals(state->Image1.Words(), static_cast<Dithering>(d));
          best = std::min(best, 1000.0 * (std::clock() - start) / CLOCKS_PER_SEC);
        }
        milliseconds[d][w] = best;
        for (int g = 0; g < GoalCount; ++g) {
          scores[d][w][g] = {choices[g].score.error, choices[g].score.flicker};
        }
      }
    }
  }
  Score before{0, 0};
  for (const Score& s : Before) before.error += s.error / n, before.flicker += s.flicker / n;
  std::array<std::array<Score, GoalCount>, 3> mean{};
  std::printf("\n%-32s %-16s %17s %17s %17s %8s\n", "window", "dithering", "faithful err/flk",
              "balanced err/flk", "calm err/flk", "ms");
  for (int w = 0; w < n; ++w) {
    std::printf("%-32s %-16s %8.3f/%8.3f\n", windows[w].name.c_str(), "before (fs)",
                Before[w].error, Before[w].flicker);
    for (int d : {1, 2, 0}) {
      std::printf("%-32s %-16s", "", DitheringNames[d]);
      for (int g = 0; g < GoalCount; ++g) {
        std::printf(" %8.3f/%8.3f", scores[d][w][g].error, scores[d][w][g].flicker);
        mean[d][g].error += scores[d][w][g].error / n;
        mean[d][g].flicker += scores[d][w][g].flicker / n;
      }
      std::printf(" %8.1f\n", milliseconds[d][w]);
    }
  }
  std::printf("%-32s %-16s %8.3f/%8.3f\n", "MEAN", "before (fs)", before.error, before.flicker);
  for (int d : {1, 2, 0}) {
    std::printf("%-32s %-16s", "MEAN", DitheringNames[d]);
    for (int g = 0; g < GoalCount; ++g) {
      std::printf(" %8.3f/%8.3f", mean[d][g].error, mean[d][g].flicker);
    }
    const double slowest = *std::max_element(milliseconds[d].begin(), milliseconds[d].begin() + n);
    std::printf(" max %.1f\n", slowest);
  }
  // The goals, against the previous Faithful with Floyd-Steinberg.
  const auto change = [](double now, double then) { return 100.0 * (now / then - 1.0); };
  const auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
  std::printf("\nGoals (error and flicker change against before):\n");
  const Score& fsFaithful = mean[1][0];
  std::printf(
      "  faithful, fs:  error %+.1f %% (<= -1), flicker %+.1f %% (<= 0): %s\n",
      change(fsFaithful.error, before.error), change(fsFaithful.flicker, before.flicker),
      verdict(fsFaithful.error <= 0.99 * before.error && fsFaithful.flicker <= before.flicker));
  for (int d : {1, 2}) {
    const Score& b = mean[d][1];
    const Score& c = mean[d][2];
    std::printf("  balanced, %-3s: error %+.1f %% (<= +4), flicker %+.1f %% (<= -25): %s\n",
                d == 1 ? "fs" : "low", change(b.error, before.error),
                change(b.flicker, before.flicker),
                verdict(b.error <= 1.04 * before.error && b.flicker <= 0.75 * before.flicker));
    std::printf("  calm, %-3s:     error %+.1f %% (<= +12), flicker %+.1f %% (<= -55): %s\n",
                d == 1 ? "fs" : "low", change(c.error, before.error),
                change(c.flicker, before.flicker),
                verdict(c.error <= 1.12 * before.error && c.flicker <= 0.45 * before.flicker));
  }
  std::printf("  low flicker at faithful: error %+.1f %% against fs (<= -3): %s\n",
              change(mean[2][0].error, mean[1][0].error),
              verdict(mean[2][0].error <= 0.97 * mean[1][0].error));
  std::printf(
      "  low flicker at balanced: error %+.1f %% (<= 0), flicker %+.1f %% (<= -25) against fs: "
      "%s\n",
      change(mean[2][1].error, mean[1][1].error), change(mean[2][1].flicker, mean[1][1].flicker),
      verdict(mean[2][1].error <= mean[1][1].error &&
              mean[2][1].flicker <= 0.75 * mean[1][1].flicker));
  double slowest = 0;
  for (int d = 0; d < 3; ++d) {
    slowest =
        std::max(slowest, *std::max_element(milliseconds[d].begin(), milliseconds[d].begin() + n));
  }
  std::printf("  slowest search: %.1f ms (<= 250): %s\n\n", slowest, verdict(slowest <= 250));
  bench.counters["slowest_search_ms"] = slowest;
}
BENCHMARK(BM_AutoColoursTable)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace vantrel
