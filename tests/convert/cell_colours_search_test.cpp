// Tests of the search for colours per cell: the same colours whatever the threads' timing,
// better than the roles it starts from as the eye sees the conversion, without blocks, and
// progress and cancelling as the role search has them.
#include "convert/cell_colours_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "colour/blockiness.h"
#include "colour/mix_colours.h"
#include "colour/perceptual.h"
#include "colour/scielab.h"
#include "convert/auto_colours_windows.h"
#include "convert/conversion.h"

namespace vantrel {
namespace {

TEST(SearchCellColours, SameColoursWhateverTheTimingAndCloserThanTheRoles) {
  // A face, and a corner whose left column takes what the row above's last cell passes round
  // the edge; how much closer than the roles each comes at least (Low Flicker's steps of tint
  // between cells cost it more of its gain).
  const struct {
    int left, top;
    Dithering dithering;
    double closer;
  } cases[] = {{130, 10, Dithering::FloydSteinberg, 0.85},
               {130, 10, Dithering::LowFlicker, 0.9},
               {0, 0, Dithering::FloydSteinberg, 0.85}};
  for (const auto& [left, top, dithering, closer] : cases) {
    SCOPED_TRACE(testing::Message() << left << "," << top << " " << static_cast<int>(dithering));
    const auto state = auto_colours_windows::Astronaut(left, top);
    const PackedRGB* window = state->Image1.Words();
    const ColourRoleSet start = SearchColourRoles(window, dithering, ColourGoal::Faithful).roles;
    const CellColourChoice choice =
        SearchCellColours(window, dithering, ColourGoal::Faithful, start);
    // Again, with the caller's thread held up now and then, so the other thread runs ahead of
    // it or falls behind.
    std::mt19937 rng(3);
    SearchControl control;
    control.progress = [&](int) {
      std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
    };
    const CellColourChoice again =
        SearchCellColours(window, dithering, ColourGoal::Faithful, start, control);
    EXPECT_EQ(again.cells, choice.cells);
    EXPECT_EQ(again.roles, choice.roles);
    // And on one thread, which takes every row in turn.
    SearchControl alone;
    alone.threads = 1;
    const CellColourChoice serial =
        SearchCellColours(window, dithering, ColourGoal::Faithful, start, alone);
    EXPECT_EQ(serial.cells, choice.cells);
    EXPECT_EQ(serial.roles, choice.roles);

    // What the search reports is what the conversion with its colours shows.
    auto converted = std::make_unique<ConverterState>(*state);
    SetCellColours(*converted, choice.roles, choice.cells);
    ConvertPicture(*converted, dithering, nullptr);
    const PackedRGB* preview = converted->PreviewBitmap.Words();
    const int stride = converted->PreviewBitmap.Width();
    const double near = ScielabDifference(window, WindowWidth, preview, stride, WindowWidth,
                                          WindowHeight, NearPixelsPerDegree);
    const double far = ScielabDifference(window, WindowWidth, preview, stride, WindowWidth,
                                         WindowHeight, FarPixelsPerDegree);
    EXPECT_NEAR(choice.score.near, near, 1e-3);
    EXPECT_NEAR(choice.score.far, far, 1e-3);
    EXPECT_NEAR(choice.score.flicker,
                InterlaceFlicker(converted->LayerBits, choice.roles, choice.cells), 1e-3);
    EXPECT_NEAR(choice.blockiness, Blockiness(window, WindowWidth, preview, stride), 1e-3);
    const RoleScore scored = ScoreCellColours(window, dithering, choice.roles, choice.cells);
    EXPECT_NEAR(scored.error, choice.score.error, 1e-3);

    // Closer than the roles alone at both distances, with no cells to see.
    EXPECT_LT(choice.score.near, closer * choice.start.near);
    EXPECT_LT(choice.score.far, closer * choice.start.far);
    EXPECT_LE(choice.blockiness, 1.06);
    EXPECT_GE(choice.passes, 1);
    // The cells really differ from one another, and the sprites are the roles'.
    EXPECT_GT(std::count_if(choice.cells.begin(), choice.cells.end(),
                            [&](const CellColourSet& c) { return !(c == choice.cells[0]); }),
              CellCount / 4);
    EXPECT_EQ(choice.roles.BackgroundColour, start.BackgroundColour);
  }
}

TEST(SearchCellColours, ReportsRisingProgressAndStopsWhenCancelled) {
  const auto state = auto_colours_windows::Astronaut(300, 312);
  std::vector<int> reported;
  SearchControl control;
  control.progress = [&](int permille) { reported.push_back(permille); };
  SearchCellColours(state->Image1.Words(), Dithering::None, ColourGoal::Calm, std::nullopt,
                    control);
  ASSERT_GE(reported.size(), 20u);
  EXPECT_EQ(reported.back(), 1000);
  EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
  EXPECT_EQ(std::adjacent_find(reported.begin(), reported.end()), reported.end());

  // Cancelled in the roles' search, and in a pass over the cells.
  const struct {
    std::optional<ColourRoleSet> start;
    int poll;
  } cases[] = {{std::nullopt, 5}, {DefaultColourRoles, 30}};
  for (const auto& [start, poll] : cases) {
    int polls = 0;
    reported.clear();
    control.cancelled = [&, poll = poll] { return ++polls >= poll; };
    EXPECT_THROW(SearchCellColours(state->Image1.Words(), Dithering::FloydSteinberg,
                                   ColourGoal::Faithful, start, control),
                 SearchCancelled);
    EXPECT_EQ(polls, poll);
    ASSERT_FALSE(reported.empty());
    EXPECT_LT(reported.back(), 1000);
  }
}

}  // namespace
}  // namespace vantrel
