// Tests of the role search: its goals, its progress and cancelling.
#include "convert/auto_colours.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "colour/mix_colours.h"
#include "colour/palette.h"
#include "colour/perceptual.h"
#include "convert/auto_colours_windows.h"
#include "convert/conversion.h"
#include "convert/low_flicker_dither.h"

namespace vantrel {
namespace {

using auto_colours_windows::AllWindows;
using auto_colours_windows::ConvertedError;

int CodeOfBits(const LayerPlanes& layers, int i) {
  static const std::map<std::array<int, 4>, int> codes = {
      {{0, 0, 0, 0}, 1}, {{1, 0, 0, 0}, 2}, {{1, 1, 0, 0}, 3}, {{0, 0, 1, 0}, 4}, {{0, 0, 0, 1}, 5},
      {{1, 0, 1, 0}, 6}, {{1, 0, 0, 1}, 7}, {{0, 1, 1, 0}, 8}, {{0, 1, 0, 1}, 9}};
  const auto found = codes.find(
      {layers.Bitmap1Bits[i], layers.Sprite1Bits[i], layers.Bitmap2Bits[i], layers.Sprite2Bits[i]});
  return found == codes.end() ? 0 : found->second;
}

TEST(ColourRoleEvaluator, ScoresExactlyWhatTheConversionProduces) {
  struct Case {
    int window;
    ColourRoleSet roles;
    Dithering dithering;
  } cases[] = {
      {0, DefaultColourRoles, Dithering::FloydSteinberg},
      {0, DefaultColourRoles, Dithering::None},
      {1, {8, 15, 0, 0, 1}, Dithering::FloydSteinberg},
      {3, {1, 10, 0, 12, 9}, Dithering::FloydSteinberg},
      {4, {0, 1, 2, 1, 2}, Dithering::None},
      {7, {6, 6, 6, 6, 6}, Dithering::FloydSteinberg},  // one colour everywhere
      {5, {3, 3, 1, 3, 1}, Dithering::FloydSteinberg},  // roles sharing colours
      {3, {1, 9, 11, 0, 2}, Dithering::LowFlicker},
      {5, {0, 1, 12, 15, 11}, Dithering::LowFlicker},
      {7, {6, 6, 6, 6, 6}, Dithering::LowFlicker},
  };
  const auto windows = AllWindows();
  for (const auto& c : cases) {
    SCOPED_TRACE(windows[c.window].name + " dithering " +
                 std::to_string(static_cast<int>(c.dithering)));
    auto state = windows[c.window].make();
    ColourRoleEvaluator evaluator(state->Image1.Words(), c.dithering);
    // Scoring other roles first must leave nothing behind.
    evaluator.Evaluate(ColourRoleSet{1, 2, 3, 4, 5});
    const RoleScore score = evaluator.Evaluate(c.roles);

    // The window converts with the same roles and dithering; its preview measured as the eye
    // sees it from both distances.
    const auto converted = auto_colours_windows::Converted(*state, c.roles, c.dithering);
    EXPECT_DOUBLE_EQ(score.near, converted.near);
    EXPECT_DOUBLE_EQ(score.far, converted.far);
    EXPECT_DOUBLE_EQ(score.error, converted.error);
    EXPECT_NEAR(score.flicker, converted.flicker, 1e-3);
    int mismatches = 0;
    for (int i = 0; i < PixelCount; ++i)
      mismatches += evaluator.Codes()[i] != CodeOfBits(state->LayerBits, i);
    EXPECT_EQ(mismatches, 0);
  }
}

// Every judged window searched once for Floyd-Steinberg and once for the low-flicker
// dithering, shared by the tests below.
class JudgedWindows : public ::testing::Test {
 protected:
  struct Result {
    std::string name;
    ColourRoleChoice choice;  // Faithful with Floyd-Steinberg
    std::array<ColourRoleChoice, GoalCount> fs, low;
    double defaultError = 0, chosenError = 0;
    std::unique_ptr<ConverterState> state;  // converted with the chosen roles
  };

  static void SetUpTestSuite() {
    results_ = new std::vector<Result>;
    for (const auto& window : AllWindows()) {
      Result r;
      r.name = window.name;
      r.state = window.make();
      r.fs = SearchColourRoleGoals(r.state->Image1.Words(), Dithering::FloydSteinberg);
      r.low = SearchColourRoleGoals(r.state->Image1.Words(), Dithering::LowFlicker);
      r.choice = r.fs[static_cast<int>(ColourGoal::Faithful)];
      r.defaultError = ConvertedError(*r.state, DefaultColourRoles, true);
      r.chosenError = ConvertedError(*r.state, r.choice.roles, true);
      results_->push_back(std::move(r));
    }
  }
  static void TearDownTestSuite() {
    delete results_;
    results_ = nullptr;
  }

  static std::vector<Result>* results_;
};
std::vector<JudgedWindows::Result>* JudgedWindows::results_ = nullptr;

TEST_F(JudgedWindows, ChosenRolesLookCloserThanTheDefaultsEverywhere) {
  ASSERT_GE(results_->size(), 6u);
  double improvement = 0;
  for (const Result& r : *results_) {
    EXPECT_LT(r.chosenError, r.defaultError) << r.name;
    // The search's own score is the real conversion's.
    EXPECT_DOUBLE_EQ(r.choice.score.error, r.chosenError) << r.name;
    improvement += 1 - r.chosenError / r.defaultError;
  }
  EXPECT_GE(improvement / results_->size(), 0.20);
}

TEST_F(JudgedWindows, TwoMixColoursAreReproducedExactly) {
  const Result* two = nullptr;
  for (const Result& r : *results_) {
    if (r.name == "two mix colours") two = &r;
  }
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(two->chosenError, 0);
  const ConverterState& state = *two->state;
  for (int y = 0; y < WindowHeight; ++y) {
    for (int x = 0; x < WindowWidth; ++x) {
      ASSERT_EQ(state.PreviewBitmap.ScanLine(y)[x], state.Image1.Words()[y * WindowWidth + x])
          << x << "," << y;
    }
  }
}

TEST_F(JudgedWindows, GoalsThatWeighFlickerMoreNeverFlickerMore) {
  for (const Result& r : *results_) {
    for (const auto* goals : {&r.fs, &r.low}) {
      SCOPED_TRACE(r.name + (goals == &r.fs ? " Floyd-Steinberg" : " low flicker"));
      for (int goal = 0; goal < GoalCount; ++goal) {
        const ColourRoleChoice& c = (*goals)[goal];
        if (goal > 0) {
          EXPECT_LE(c.score.flicker, (*goals)[goal - 1].score.flicker) << goal;
        }
        // Each goal's choice is the best of its own trade among those the search converted.
        const double lambda = FlickerLambda(static_cast<ColourGoal>(goal));
        for (const ColourRoleChoice& other : *goals) {
          EXPECT_LE(c.score.error + lambda * c.score.flicker,
                    other.score.error + lambda * other.score.flicker + 1e-9);
        }
        EXPECT_LE(c.bestError.error, c.score.error);
        for (int role = 0; role < RoleCount; ++role) {
          EXPECT_GE(c.roles[role], 0);
          EXPECT_LT(c.roles[role], 16);
        }
      }
    }
    // The Floyd-Steinberg choice's scores are those of the window's real conversion.
    EXPECT_NEAR(r.choice.score.flicker, InterlaceFlicker(r.state->LayerBits, r.choice.roles), 1e-3)
        << r.name;
  }
}

TEST_F(JudgedWindows, LowFlickerDitheringBeatsFloydSteinbergAtEachGoal) {
  const auto mean = [&](const auto& pick) {
    double sum = 0;
    for (const Result& r : *results_) sum += pick(r);
    return sum / results_->size();
  };
  // At every goal no more error than Floyd-Steinberg; at Faithful and Balanced at least a
  // quarter less flicker too (Calm with Floyd-Steinberg already gives up most of its own).
  const struct {
    ColourGoal goal;
    double flickerShare;
  } cases[] = {{ColourGoal::Faithful, 0.75}, {ColourGoal::Balanced, 0.75}, {ColourGoal::Calm, 1.1}};
  for (const auto& c : cases) {
    const int goal = static_cast<int>(c.goal);
    SCOPED_TRACE(goal);
    EXPECT_LE(mean([&](const Result& r) { return r.low[goal].score.error; }),
              mean([&](const Result& r) { return r.fs[goal].score.error; }));
    EXPECT_LE(mean([&](const Result& r) { return r.low[goal].score.flicker; }),
              c.flickerShare * mean([&](const Result& r) { return r.fs[goal].score.flicker; }));
  }
}

TEST(SearchColourRoles, ReportsRisingProgressAndStopsWhenCancelled) {
  const auto state = auto_colours_windows::Astronaut(130, 10);
  std::vector<int> reported;
  SearchControl control;
  control.progress = [&](int permille) { reported.push_back(permille); };
  const ColourRoleSet roles = SearchColourRoles(state->Image1.Words(), Dithering::FloydSteinberg,
                                                ColourGoal::Faithful, control)
                                  .roles;
  ASSERT_GE(reported.size(), 20u);
  EXPECT_GE(reported.front(), 0);
  EXPECT_EQ(reported.back(), 1000);
  EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
  EXPECT_EQ(std::adjacent_find(reported.begin(), reported.end()), reported.end());
  // Following it changes nothing.
  EXPECT_EQ(SearchColourRoles(state->Image1.Words(), Dithering::FloydSteinberg).roles, roles);

  // Cancelled at the fifth poll: the search throws there, converting nothing more.
  for (const Dithering dithering : {Dithering::FloydSteinberg, Dithering::LowFlicker}) {
    int polls = 0;
    reported.clear();
    control.cancelled = [&] { return ++polls >= 5; };
    EXPECT_THROW(SearchColourRoleGoals(state->Image1.Words(), dithering, control), SearchCancelled);
    EXPECT_EQ(polls, 5);
    ASSERT_FALSE(reported.empty());
    EXPECT_LT(reported.back(), 1000);
  }
}

TEST(ChooseColourRoles, SameWindowSameRolesWhateverTheStateHoldsBesides) {
  struct Case {
    Dithering dithering;
    ColourGoal goal;
  } cases[] = {{Dithering::FloydSteinberg, ColourGoal::Faithful},
               {Dithering::LowFlicker, ColourGoal::Calm}};
  for (const Case& c : cases) {
    auto first = auto_colours_windows::Astronaut(130, 10);
    const ColourRoleSet roles = ChooseColourRoles(*first, c.dithering, c.goal);
    // A conversion overwrites WorkPlanes with mix colours; the adjusted picture is in Image1.
    first->MixTable = BuildMixTable(RoleColours(ColourRoleSet{1, 1, 1, 1, 1}));
    ConvertPicture(*first, Dithering::FloydSteinberg, nullptr);
    EXPECT_EQ(ChooseColourRoles(*first, c.dithering, c.goal), roles);
    auto second = auto_colours_windows::Astronaut(130, 10);
    EXPECT_EQ(ChooseColourRoles(*second, c.dithering, c.goal), roles);
  }
}

TEST(ChooseColourRoles, FollowsTheChannelOffsetsAndTheDitheringSetting) {
  auto state = auto_colours_windows::Astronaut(0, 0);
  testsupport::SetCrop(*state, state->SourceWindow, 0, 0, 160);  // a strong blue cast
  const ColourRoleSet roles = ChooseColourRoles(*state, Dithering::None, ColourGoal::Faithful);
  const double chosen = ConvertedError(*state, roles, false);
  EXPECT_LT(chosen, ConvertedError(*state, DefaultColourRoles, false));
  // The roles for the unadjusted crop do worse on the adjusted one.
  auto plain = auto_colours_windows::Astronaut(0, 0);
  const ColourRoleSet plainRoles = ChooseColourRoles(*plain, Dithering::None, ColourGoal::Faithful);
  EXPECT_NE(plainRoles, roles);
  EXPECT_LT(chosen, ConvertedError(*state, plainRoles, false));
}

}  // namespace
}  // namespace vantrel
