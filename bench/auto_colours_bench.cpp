// The automatic colour choice on each judged window and on windows of other photos (target:
// 250 ms per search, all goals at once), one candidate's evaluation on its own, and the
// low-flicker dithering pass; colours per cell against the roles, in quality and time. The table
// benchmark prints, for every window, dithering and goal, S-CIELAB at 12 and 24 pixels per degree
// and the flicker of the chosen roles (and the blurred CIELAB measure the search used to minimise,
// for comparison), against the roles the previous search chose, and checks the goals.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "colour/blockiness.h"
#include "colour/mix_colours.h"
#include "colour/perceptual.h"
#include "convert/auto_colours.h"
#include "convert/cell_colours_search.h"
#include "convert/conversion.h"
#include "convert/low_flicker_dither.h"
#include "session/session.h"
#include "tests/convert/auto_colours_windows.h"

namespace vantrel {
namespace {

using auto_colours_windows::AllWindows;
using auto_colours_windows::Converted;
using auto_colours_windows::ConvertedScore;
using auto_colours_windows::OtherPhotoWindows;
using auto_colours_windows::TestWindow;

constexpr const char* GoalNames[GoalCount] = {"faithful", "balanced", "calm"};
constexpr const char* DitheringNames[] = {"none", "floyd-steinberg", "low-flicker"};
constexpr int Orders[] = {1, 2, 0};  // the table's order of the ditherings

// The roles the previous search (blurred CIELAB) chose, per window, dithering (none, fs, low
// flicker) and goal: their Floyd-Steinberg and plain conversions are measured again here.
const std::map<std::string, std::array<std::array<ColourRoleSet, GoalCount>, 3>> Previous = {
    {"astronaut top-left (0,0)",
     {{{{{2, 6, 12, 0, 1}, {15, 0, 6, 0, 2}, {15, 0, 6, 0, 2}}},
       {{{0, 6, 15, 1, 10}, {0, 6, 15, 1, 10}, {15, 8, 0, 6, 0}}},
       {{{1, 9, 6, 0, 4}, {1, 11, 6, 8, 0}, {1, 9, 6, 0, 9}}}}}},
    {"astronaut face (130,10)",
     {{{{{8, 15, 0, 0, 1}, {8, 15, 0, 0, 1}, {8, 15, 0, 0, 1}}},
       {{{0, 1, 8, 8, 15}, {0, 1, 8, 8, 15}, {0, 1, 8, 8, 15}}},
       {{{8, 1, 11, 0, 1}, {8, 1, 11, 0, 1}, {8, 1, 0, 0, 1}}}}}},
    {"astronaut flag and suit (0,250)",
     {{{{{10, 14, 2, 1, 2}, {10, 14, 2, 1, 2}, {10, 4, 2, 2, 4}}},
       {{{10, 14, 2, 1, 2}, {4, 10, 2, 10, 2}, {4, 10, 2, 10, 2}}},
       {{{10, 14, 2, 1, 2}, {10, 14, 2, 1, 2}, {10, 4, 1, 14, 1}}}}}},
    {"astronaut shuttle (320,0)",
     {{{{{15, 1, 8, 9, 0}, {15, 1, 8, 9, 0}, {15, 9, 1, 9, 1}}},
       {{{1, 11, 2, 9, 0}, {15, 1, 9, 9, 1}, {15, 1, 9, 9, 1}}},
       {{{1, 10, 0, 8, 3}, {1, 12, 8, 8, 12}, {1, 12, 8, 8, 12}}}}}},
    {"astronaut helmet (300,312)",
     {{{{{1, 10, 0, 10, 0}, {1, 0, 2, 11, 0}, {1, 0, 2, 11, 0}}},
       {{{1, 0, 2, 0, 2}, {1, 0, 2, 0, 11}, {1, 0, 2, 0, 11}}},
       {{{0, 8, 1, 1, 10}, {0, 10, 1, 1, 10}, {0, 10, 1, 1, 10}}}}}},
    {"grey ramp",
     {{{{{0, 1, 11, 1, 15}, {1, 12, 11, 15, 11}, {1, 12, 11, 15, 11}}},
       {{{0, 1, 12, 1, 12}, {0, 1, 12, 12, 1}, {15, 11, 1, 1, 11}}},
       {{{1, 12, 0, 0, 12}, {1, 12, 0, 0, 12}, {1, 12, 0, 0, 12}}}}}},
    {"two mix colours",
     {{{{{6, 1, 0, 7, 10}, {6, 1, 0, 7, 10}, {6, 1, 0, 7, 10}}},
       {{{6, 1, 0, 7, 10}, {6, 1, 0, 7, 10}, {6, 1, 0, 7, 10}}},
       {{{6, 1, 3, 7, 10}, {6, 1, 3, 7, 10}, {6, 1, 3, 7, 10}}}}}},
    {"saturated gradient",
     {{{{{6, 2, 5, 5, 2}, {6, 2, 5, 5, 2}, {6, 2, 5, 5, 2}}},
       {{{6, 5, 2, 13, 9}, {6, 2, 5, 5, 2}, {6, 2, 5, 5, 2}}},
       {{{6, 5, 2, 9, 13}, {5, 6, 2, 6, 2}, {5, 6, 2, 6, 2}}}}}},
    {"rocket-sky",
     {{{{{12, 0, 6, 11, 0}, {12, 11, 9, 8, 6}, {12, 11, 9, 8, 6}}},
       {{{0, 6, 11, 5, 7}, {0, 6, 11, 5, 9}, {11, 0, 6, 5, 0}}},
       {{{0, 10, 3, 12, 6}, {0, 10, 3, 12, 6}, {11, 0, 1, 0, 6}}}}}},
    {"rocket-lights",
     {{{{{12, 10, 6, 7, 9}, {12, 10, 6, 7, 9}, {12, 10, 6, 7, 9}}},
       {{{11, 10, 6, 7, 3}, {11, 10, 6, 7, 3}, {11, 10, 6, 7, 3}}},
       {{{3, 0, 7, 10, 6}, {3, 9, 7, 10, 6}, {3, 9, 7, 10, 6}}}}}},
    {"coffee",
     {{{{{1, 10, 2, 7, 8}, {10, 1, 7, 1, 7}, {10, 1, 7, 15, 1}}},
       {{{1, 10, 1, 8, 7}, {10, 1, 7, 7, 1}, {10, 1, 7, 7, 1}}},
       {{{1, 10, 2, 7, 8}, {8, 1, 7, 1, 7}, {8, 1, 7, 1, 7}}}}}},
    {"chelsea",
     {{{{{10, 8, 0, 7, 8}, {10, 8, 0, 7, 8}, {8, 11, 10, 2, 10}}},
       {{{8, 10, 0, 10, 7}, {8, 10, 0, 10, 7}, {8, 15, 10, 10, 7}}},
       {{{8, 0, 10, 10, 7}, {8, 0, 10, 10, 7}, {10, 8, 0, 7, 8}}}}}},
    {"hubble",
     {{{{{10, 11, 0, 3, 0}, {10, 11, 0, 3, 0}, {0, 6, 10, 10, 11}}},
       {{{0, 11, 1, 6, 10}, {0, 10, 14, 12, 1}, {0, 12, 10, 12, 10}}},
       {{{0, 2, 11, 11, 1}, {0, 2, 11, 11, 1}, {10, 11, 0, 11, 0}}}}}},
};

// The previous low-flicker dithering with its roles, measured before it changed: S-CIELAB
// near, far and flicker per window and goal.
struct Recorded {
  double near, far, flicker;
};
const std::map<std::string, std::array<Recorded, GoalCount>> PreviousLowFlicker = {
    {"astronaut top-left (0,0)",
     {{{43.3932, 27.5653, 25.2594}, {41.6760, 27.6408, 21.4505}, {54.4603, 28.8620, 19.7466}}}},
    {"astronaut face (130,10)",
     {{{35.0114, 24.8813, 21.1031}, {35.0114, 24.8813, 21.1031}, {33.2371, 25.4768, 19.6208}}}},
    {"astronaut flag and suit (0,250)",
     {{{36.7425, 38.3645, 5.6289}, {36.7425, 38.3645, 5.6289}, {40.7767, 41.4568, 1.6046}}}},
    {"astronaut shuttle (320,0)",
     {{{29.7486, 22.4745, 16.3959}, {40.3638, 30.7098, 5.6739}, {40.3638, 30.7098, 5.6739}}}},
    {"astronaut helmet (300,312)",
     {{{14.6532, 12.3785, 7.5154}, {17.3487, 14.4715, 3.5857}, {17.3487, 14.4715, 3.5857}}}},
    {"grey ramp",
     {{{32.0672, 20.9638, 0.0000}, {32.0672, 20.9638, 0.0000}, {32.0672, 20.9638, 0.0000}}}},
    {"two mix colours",
     {{{0.0000, 0.0000, 9.4673}, {0.0000, 0.0000, 9.4673}, {0.0000, 0.0000, 9.4673}}}},
    {"saturated gradient",
     {{{37.4069, 36.1169, 13.7810}, {37.0891, 36.5433, 4.5170}, {37.0891, 36.5433, 4.5170}}}},
    {"rocket-sky",
     {{{28.4986, 21.3209, 19.9538}, {28.4986, 21.3209, 19.9538}, {15.9864, 13.9974, 6.7739}}}},
    {"rocket-lights",
     {{{34.2234, 19.9524, 30.5494}, {20.6024, 16.4303, 18.4777}, {20.6024, 16.4303, 18.4777}}}},
    {"coffee",
     {{{29.6518, 30.2879, 19.2494}, {57.8487, 42.4006, 3.7357}, {57.8487, 42.4006, 3.7357}}}},
    {"chelsea",
     {{{18.9091, 16.9770, 10.3666}, {18.9091, 16.9770, 10.3666}, {18.9027, 16.9827, 10.3663}}}},
    {"hubble",
     {{{13.2422, 12.8794, 1.8131}, {13.2422, 12.8794, 1.8131}, {14.3590, 14.0464, 0.2279}}}},
};

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

// One candidate: a full diffusion and classification, and S-CIELAB at both distances.
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

// Scores of one group of windows: [dithering][window][goal], and the previous roles' scores.
struct GroupScores {
  std::vector<std::array<std::array<ConvertedScore, GoalCount>, 3>> now, before;
  std::vector<std::array<double, 3>> milliseconds;
};

GroupScores Measure(const std::vector<TestWindow>& windows) {
  GroupScores g;
  for (const TestWindow& window : windows) {
    auto state = window.make();
    const std::vector<PackedRGB> adjusted(state->Image1.Words(),
                                          state->Image1.Words() + PixelCount);
    std::array<std::array<ConvertedScore, GoalCount>, 3> now{}, before{};
    std::array<double, 3> ms{};
    for (int d = 0; d < 3; ++d) {
      const auto dithering = static_cast<Dithering>(d);
      double best = 1e9;
      std::array<ColourRoleChoice, GoalCount> choices;
      for (int run = 0; run < 2; ++run) {
        const std::clock_t start = std::clock();
        choices = SearchColourRoleGoals(adjusted.data(), dithering);
        best = std::min(best, 1000.0 * (std::clock() - start) / CLOCKS_PER_SEC);
      }
      ms[d] = best;
      for (int goal = 0; goal < GoalCount; ++goal) {
        now[d][goal] = Converted(*state, choices[goal].roles, dithering);
        if (dithering == Dithering::LowFlicker) {
          const Recorded& r = PreviousLowFlicker.at(window.name)[goal];
          before[d][goal] = {(r.near + r.far) / 2, r.near, r.far, -1, r.flicker};
        } else {
          before[d][goal] = Converted(*state, Previous.at(window.name)[d][goal], dithering);
        }
      }
    }
    g.now.push_back(now);
    g.before.push_back(before);
    g.milliseconds.push_back(ms);
  }
  return g;
}

// Prints one group's table and its means, checks the goals on the means, and returns the
// slowest search.
double PrintGroup(const char* title, const std::vector<TestWindow>& windows, const GroupScores& g) {
  const int n = static_cast<int>(windows.size());
  std::printf("\n%s: S-CIELAB near (12 px/deg) / far (24 px/deg) / flicker; [blurred CIELAB]\n",
              title);
  std::printf("%-24s %-16s %-27s %-27s %-27s %7s\n", "window", "dithering", "faithful", "balanced",
              "calm", "ms");
  std::array<std::array<ConvertedScore, GoalCount>, 3> mean{}, meanBefore{};
  // The previous low-flicker dithering's blurred measure was not recorded: a dash.
  const auto cell = [](const ConvertedScore& s) {
    std::printf(" %6.2f/%6.2f/%5.1f ", s.near, s.far, s.flicker);
    if (s.blurred < 0) {
      std::printf("[  -  ]");
    } else {
      std::printf("[%5.2f]", s.blurred);
    }
  };
  for (int w = 0; w < n; ++w) {
    for (int d : Orders) {
      std::printf("%-24s %-16s", d == 1 ? windows[w].name.c_str() : "", DitheringNames[d]);
      for (int goal = 0; goal < GoalCount; ++goal) {
        cell(g.now[w][d][goal]);
        const ConvertedScore &s = g.now[w][d][goal], &b = g.before[w][d][goal];
        ConvertedScore& m = mean[d][goal];
        ConvertedScore& mb = meanBefore[d][goal];
        m.near += s.near / n, m.far += s.far / n, m.flicker += s.flicker / n;
        m.blurred += s.blurred / n;
        mb.near += b.near / n, mb.far += b.far / n, mb.flicker += b.flicker / n;
        mb.blurred = mb.blurred < 0 || b.blurred < 0 ? -1 : mb.blurred + b.blurred / n;
      }
      std::printf(" %7.1f\n", g.milliseconds[w][d]);
      std::printf("%-24s %-16s", "", "  before");
      for (int goal = 0; goal < GoalCount; ++goal) cell(g.before[w][d][goal]);
      std::printf("\n");
    }
  }
  double slowest = 0;
  for (int d : Orders) {
    std::printf("%-24s %-16s", "MEAN", DitheringNames[d]);
    for (int goal = 0; goal < GoalCount; ++goal) cell(mean[d][goal]);
    for (int w = 0; w < n; ++w) slowest = std::max(slowest, g.milliseconds[w][d]);
    std::printf("\n%-24s %-16s", "MEAN", "  before");
    for (int goal = 0; goal < GoalCount; ++goal) cell(meanBefore[d][goal]);
    std::printf("\n");
  }
  const auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
  const auto change = [](double now, double then) { return 100.0 * (now / then - 1.0); };
  const ConvertedScore& fs = mean[1][0];
  const ConvertedScore& fsBefore = meanBefore[1][0];
  const ConvertedScore& low = mean[2][0];
  const ConvertedScore& calm = mean[1][2];
  std::printf("Goals on the means of %s:\n", title);
  std::printf("  faithful fs against before: near %+.1f %%, far %+.1f %% (<= -5 each): %s\n",
              change(fs.near, fsBefore.near), change(fs.far, fsBefore.far),
              verdict(fs.near <= 0.95 * fsBefore.near && fs.far <= 0.95 * fsBefore.far));
  std::printf(
      "  faithful low flicker against faithful fs: near %+.1f %%, far %+.1f %% (<= 0 each), "
      "flicker %.0f %% of it (<= 60): %s\n",
      change(low.near, fs.near), change(low.far, fs.far), 100 * low.flicker / fs.flicker,
      verdict(low.near <= fs.near && low.far <= fs.far && low.flicker <= 0.6 * fs.flicker));
  std::printf(
      "  calm fs against faithful fs: near %+.1f %%, far %+.1f %% (<= +10 each), flicker %.0f "
      "%% of it (<= 50): %s\n",
      change(calm.near, fs.near), change(calm.far, fs.far), 100 * calm.flicker / fs.flicker,
      verdict(calm.near <= 1.1 * fs.near && calm.far <= 1.1 * fs.far &&
              calm.flicker <= 0.5 * fs.flicker));
  std::printf("  slowest search: %.1f ms (<= 250): %s\n", slowest, verdict(slowest <= 250));
  return slowest;
}

// Every window, dithering and goal once (each search the faster of two, thread time), as
// tables with the means and the goals.
void BM_AutoColoursTable(benchmark::State& bench) {
  double slowest = 0;
  for (auto _ : bench) {
    const auto judged = AllWindows();
    const auto others = OtherPhotoWindows();
    const double judgedSlowest = PrintGroup("the judged windows", judged, Measure(judged));
    slowest = std::max(judgedSlowest, PrintGroup("the other photos", others, Measure(others)));
    std::printf("\n");
  }
  bench.counters["slowest_search_ms"] = slowest;
}
BENCHMARK(BM_AutoColoursTable)->Iterations(1)->Unit(benchmark::kSecond);

// Colours per cell for the goal, the search timed from the window alone (the roles it starts
// from searched too), for each judged window and dithering.
void BM_SearchCellColours(benchmark::State& bench) {
  const auto window = AllWindows()[bench.range(0)];
  const auto dithering = static_cast<Dithering>(bench.range(1));
  bench.SetLabel(window.name);
  const auto state = window.make();
  CellColourChoice choice;
  for (auto _ : bench) {
    choice = SearchCellColours(state->Image1.Words(), dithering, ColourGoal::Faithful);
    benchmark::DoNotOptimize(choice);
  }
  bench.counters["near"] = choice.score.near;
  bench.counters["far"] = choice.score.far;
  bench.counters["flicker"] = choice.score.flicker;
  bench.counters["blockiness"] = choice.blockiness;
}
BENCHMARK(BM_SearchCellColours)
    ->ArgNames({"window", "dithering"})
    ->ArgsProduct({{0, 1, 3}, {1}})
    ->Unit(benchmark::kMillisecond);

// How a conversion measures: S-CIELAB near and far, flicker and blockiness.
struct CellsScore {
  double near = 0, far = 0, flicker = 0, blockiness = 0;
};

CellsScore Measured(ConverterState& state, Dithering dithering) {
  ConvertPicture(state, dithering, nullptr);
  const PackedRGB* source = state.Image1.Words();
  const PackedRGB* preview = state.PreviewBitmap.Words();
  const int stride = state.PreviewBitmap.Width();
  CellsScore s;
  s.near = ScielabDifference(source, WindowWidth, preview, stride, WindowWidth, WindowHeight,
                             NearPixelsPerDegree);
  s.far = ScielabDifference(source, WindowWidth, preview, stride, WindowWidth, WindowHeight,
                            FarPixelsPerDegree);
  s.flicker = state.CellTable
                  ? InterlaceFlicker(state.LayerBits, state.ColourRoles, *state.CellTable)
                  : InterlaceFlicker(state.LayerBits, state.ColourRoles);
  s.blockiness = Blockiness(source, WindowWidth, preview, stride);
  return s;
}

// Wall-clock milliseconds of the faster of two runs of `search`.
template <typename Search>
double FasterOfTwo(Search search) {
  double best = 1e30;
  for (int run = 0; run < 2; ++run) {
    const auto start = std::chrono::steady_clock::now();
    search();
    best = std::min(
        best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                  .count());
  }
  return best;
}

// The sample photo's window at (left, top) at `scale` as the session scales it.
std::unique_ptr<ConverterState> ScaledAstronaut(const char* scale, int left, int top) {
  Session session;
  session.OpenFile(VANTREL_TEST_DATA "/astronaut.jpg", *ParseScale(scale));
  session.ReadSourceWindow(-left, -top);
  auto state = testsupport::NewConverterState();
  testsupport::SetCrop(*state, session.State().SourceWindow);
  return state;
}

// A photo turned upside down (turned half round): the same picture, met by the dithering from
// its other corner.
std::unique_ptr<ConverterState> TurnedPhoto(const std::string& file) {
  const jpeg_samples::RawImage photo =
      jpeg_samples::ReadJpegRgb(VANTREL_TEST_DATA "/" + file, JDCT_FLOAT);
  return auto_colours_windows::Drawn([&](int x, int y) {
    const std::uint8_t* p = photo.Pixel(WindowWidth - 1 - x, WindowHeight - 1 - y);
    return MakePackedRGB(p[0], p[1], p[2]);
  });
}

// Windows the cell search was not tuned on: other corners and scales of the sample photo, and
// the other photos turned half round.
std::vector<TestWindow> MoreCellWindows() {
  std::vector<TestWindow> windows = {
      {"astronaut (200,150)", [] { return auto_colours_windows::Astronaut(200, 150); }},
      {"astronaut (60,120)", [] { return auto_colours_windows::Astronaut(60, 120); }},
      {"astronaut (310,180)", [] { return auto_colours_windows::Astronaut(310, 180); }},
      {"astronaut 50% (40,30)", [] { return ScaledAstronaut("50", 40, 30); }},
      {"astronaut 70% (150,80)", [] { return ScaledAstronaut("70", 150, 80); }},
  };
  for (const char* name : {"rocket-sky", "rocket-lights", "coffee", "chelsea", "hubble"}) {
    windows.push_back({std::string(name) + " turned",
                       [file = std::string(name) + ".jpg"] { return TurnedPhoto(file); }});
  }
  return windows;
}

// Prints one group of windows: global Faithful (Auto Colors) against colours per cell for
// Faithful and Calm, with Floyd-Steinberg: S-CIELAB at 12 and 24 pixels per degree, flicker,
// blockiness and the searches' times (wall clock, the faster of two runs each, the per-cell
// searches including the roles they start from), then the means and the goals. Returns the
// worst ratio of a per-cell search's time to the roles'.
double PrintCellGroup(const char* title, const std::vector<TestWindow>& windows) {
  const Dithering dithering = Dithering::FloydSteinberg;
  std::printf(
      "\n%s, colours per cell against the roles (Floyd-Steinberg): S-CIELAB near (12 px/deg) / "
      "far (24 px/deg) / flicker / blockiness; search ms\n",
      title);
  std::printf("%-32s %-31s %-31s %-31s %7s %7s %7s %6s\n", "window", "global faithful",
              "per cell faithful", "per cell calm", "global", "cells f", "cells c", "ratio");
  const auto cell = [](const CellsScore& s) {
    std::printf(" %6.2f/%6.2f/%5.1f/%5.3f  ", s.near, s.far, s.flicker, s.blockiness);
  };
  CellsScore meanGlobal, meanFaithful, meanCalm;
  double meanRatio = 0, worstRatio = 0, worstBlockiness = 0;
  const int n = static_cast<int>(windows.size());
  // Windows the roles already show exactly leave nothing to divide by.
  int judged = 0;
  std::array<double, 5> shares{};  // faithful near, far; calm flicker, near, far
  for (const TestWindow& window : windows) {
    auto state = window.make();
    const std::vector<PackedRGB> adjusted(state->Image1.Words(),
                                          state->Image1.Words() + PixelCount);
    ColourRoleSet roles;
    const double globalMs = FasterOfTwo(
        [&] { roles = SearchColourRoles(adjusted.data(), dithering, ColourGoal::Faithful).roles; });
    CellColourChoice faithful, calm;
    const double faithfulMs = FasterOfTwo(
        [&] { faithful = SearchCellColours(adjusted.data(), dithering, ColourGoal::Faithful); });
    const double calmMs = FasterOfTwo(
        [&] { calm = SearchCellColours(adjusted.data(), dithering, ColourGoal::Calm); });
    SetColourRoles(*state, roles);
    const CellsScore g = Measured(*state, dithering);
    SetCellColours(*state, faithful.roles, faithful.cells);
    const CellsScore f = Measured(*state, dithering);
    SetCellColours(*state, calm.roles, calm.cells);
    const CellsScore c = Measured(*state, dithering);
    ClearCellColours(*state);
    const double ratio = std::max(faithfulMs, calmMs) / globalMs;
    std::printf("%-32s", window.name.c_str());
    cell(g), cell(f), cell(c);
    std::printf(" %7.1f %7.1f %7.1f %6.2f\n", globalMs, faithfulMs, calmMs, ratio);
    for (const auto& [mean, s] :
         {std::pair{&meanGlobal, g}, std::pair{&meanFaithful, f}, std::pair{&meanCalm, c}}) {
      mean->near += s.near / n, mean->far += s.far / n, mean->flicker += s.flicker / n;
      mean->blockiness += s.blockiness / n;
    }
    if (g.near > 0 && g.far > 0 && g.flicker > 0) {
      ++judged;
      const double ratios[5] = {f.near / g.near, f.far / g.far, c.flicker / g.flicker,
                                c.near / g.near, c.far / g.far};
      for (int k = 0; k < 5; ++k) shares[k] += ratios[k];
    }
    meanRatio += ratio / n;
    worstRatio = std::max(worstRatio, ratio);
    worstBlockiness = std::max({worstBlockiness, f.blockiness, c.blockiness});
  }
  for (double& share : shares) share /= judged;
  std::printf("%-32s", "MEAN");
  cell(meanGlobal), cell(meanFaithful), cell(meanCalm);
  std::printf(" %30.2f\n", meanRatio);
  const auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
  std::printf(
      "Goals, on the means of the %d windows' ratios to global faithful that have an error:\n",
      judged);
  std::printf("  faithful per cell: near %.3f, far %.3f (<= 0.80 each): %s\n", shares[0], shares[1],
              verdict(shares[0] <= 0.8 && shares[1] <= 0.8));
  std::printf("  calm per cell: flicker %.3f (<= 0.50), near %.3f, far %.3f (<= 0.95 each): %s\n",
              shares[2], shares[3], shares[4],
              verdict(shares[2] <= 0.5 && shares[3] <= 0.95 && shares[4] <= 0.95));
  std::printf("  blockiness per cell: mean %.3f / %.3f, worst %.3f (<= 1.06): %s\n",
              meanFaithful.blockiness, meanCalm.blockiness, worstBlockiness,
              verdict(worstBlockiness <= 1.06));
  std::printf("  per-cell search time: mean %.2f, worst %.2f times global (<= 3): %s\n\n",
              meanRatio, worstRatio, verdict(worstRatio <= 3));
  return worstRatio;
}

// The judged windows, the other photos and the sample photo at Fit, then windows the search
// was not tuned on.
void BM_CellColoursTable(benchmark::State& bench) {
  double worstRatio = 0;
  for (auto _ : bench) {
    std::vector<TestWindow> windows = AllWindows();
    for (const TestWindow& other : OtherPhotoWindows()) windows.push_back(other);
    windows.push_back({"astronaut at Fit", [] { return ScaledAstronaut("fit", 0, 0); }});
    worstRatio = PrintCellGroup("The judged windows", windows);
    worstRatio = std::max(worstRatio, PrintCellGroup("More windows", MoreCellWindows()));
  }
  bench.counters["worst_time_ratio"] = worstRatio;
}
BENCHMARK(BM_CellColoursTable)->Iterations(1)->Unit(benchmark::kSecond);

// The photos' windows: the judged ones of the sample photo, one of each other photo, and the
// sample photo at Fit.
std::vector<TestWindow> PhotoWindows() {
  std::vector<TestWindow> windows;
  for (const TestWindow& window : AllWindows()) {
    if (window.name.rfind("astronaut", 0) == 0) windows.push_back(window);
  }
  for (const TestWindow& other : OtherPhotoWindows()) windows.push_back(other);
  windows.push_back({"astronaut at Fit", [] {
                       Session session;
                       session.OpenFile(VANTREL_TEST_DATA "/astronaut.jpg", {true, 100});
                       session.ReadSourceWindow(0, 0);
                       auto state = testsupport::NewConverterState();
                       testsupport::SetCrop(*state, session.State().SourceWindow);
                       return state;
                     }});
  return windows;
}

// S-CIELAB near and far of the preview on show against the crop.
std::pair<double, double> PreviewScielab(const ConverterState& state) {
  const PackedRGB* source = state.Image1.Words();
  const PackedRGB* preview = state.PreviewBitmap.Words();
  const int stride = state.PreviewBitmap.Width();
  return {ScielabDifference(source, WindowWidth, preview, stride, WindowWidth, WindowHeight,
                            NearPixelsPerDegree),
          ScielabDifference(source, WindowWidth, preview, stride, WindowWidth, WindowHeight,
                            FarPixelsPerDegree)};
}

// Faithful made for the mix as light against today's Faithful, both judged as a screen shows
// them (the frames' light averaged): today's roles and conversion (made for the bytes' average),
// their preview painted again with the light mix, against the roles Auto Colors finds and the
// conversion it makes with the light mix, for every photo window and dithering. The preview
// today's conversion promised is printed first. Goal: near and far each at most 0.85 of today's
// seen the same way, on every window.
void BM_LightMixTable(benchmark::State& bench) {
  const ColourModel light{PaletteId::Pepto, MixRule::Light};
  double worst = 0;
  for (auto _ : bench) {
    const std::vector<TestWindow> windows = PhotoWindows();
    std::printf(
        "\nFaithful for the mix as light against today's, both seen as light mixes them: S-CIELAB "
        "near (12 px/deg) / far (24 px/deg) / flicker\n");
    std::printf("%-32s %-16s %-22s %-22s %-22s %13s\n", "window", "dithering",
                "today, as previewed", "today, seen", "light, seen", "light / today");
    for (int d : Orders) {
      const auto dithering = static_cast<Dithering>(d);
      double meanNear = 0, meanFar = 0, worstNear = 0, worstFar = 0;
      // Per photo (the window's name up to its first space): the sums of its windows' ratios.
      std::vector<std::pair<std::string, std::array<double, 3>>> photos;
      for (const TestWindow& window : windows) {
        auto state = window.make();
        const std::vector<PackedRGB> adjusted(state->Image1.Words(),
                                              state->Image1.Words() + PixelCount);
        const auto row = [](const std::pair<double, double>& s, double flicker) {
          std::printf(" %6.2f/%6.2f/%5.1f      ", s.first, s.second, flicker);
        };
        const ColourRoleSet today =
            SearchColourRoles(adjusted.data(), dithering, ColourGoal::Faithful).roles;
        SetColourModel(*state, DefaultColourModel);
        SetColourRoles(*state, today);
        ConvertPicture(*state, dithering, nullptr);
        const auto promised = PreviewScielab(*state);
        const double todayFlicker = InterlaceFlicker(state->LayerBits, today);
        SetColourModel(*state, light);
        PaintPreviewFromLayers(*state);
        const auto seen = PreviewScielab(*state);
        const ColourRoleSet roles =
            SearchColourRoles(adjusted.data(), dithering, ColourGoal::Faithful, {}, light).roles;
        SetColourRoles(*state, roles);
        ConvertPicture(*state, dithering, nullptr);
        const auto made = PreviewScielab(*state);
        const double near = made.first / seen.first, far = made.second / seen.second;
        std::printf("%-32s %-16s", window.name.c_str(), DitheringNames[d]);
        row(promised, todayFlicker);
        row(seen, todayFlicker);
        row(made, InterlaceFlicker(state->LayerBits, roles, light));
        std::printf(" %5.3f/%5.3f\n", near, far);
        meanNear += near / windows.size(), meanFar += far / windows.size();
        worstNear = std::max(worstNear, near), worstFar = std::max(worstFar, far);
        const std::string photo = window.name.substr(0, window.name.find(' '));
        auto found = std::find_if(photos.begin(), photos.end(),
                                  [&](const auto& p) { return p.first == photo; });
        if (found == photos.end()) found = photos.insert(photos.end(), {photo, {}});
        found->second[0] += near, found->second[1] += far, ++found->second[2];
      }
      worst = std::max({worst, worstNear, worstFar});
      std::printf("  %s, light / today near/far per photo (<= 0.85 each):", DitheringNames[d]);
      int met = 0;
      for (const auto& [photo, sums] : photos) {
        const double near = sums[0] / sums[2], far = sums[1] / sums[2];
        met += near <= 0.85 && far <= 0.85;
        std::printf(" %s %.3f/%.3f", photo.c_str(), near, far);
      }
      std::printf(
          "; met by %d of %zu photos\n  %s, over the windows: near mean %.3f, worst %.3f; far "
          "mean %.3f, worst %.3f\n",
          met, photos.size(), DitheringNames[d], meanNear, worstNear, meanFar, worstFar);
    }
    std::printf("\n");
  }
  bench.counters["worst_light_ratio"] = worst;
}
BENCHMARK(BM_LightMixTable)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace vantrel
