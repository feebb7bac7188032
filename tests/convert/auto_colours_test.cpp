#include "convert/auto_colours.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "colour/mix_colours.h"
#include "colour/palette.h"
#include "colour/perceptual.h"
#include "convert/conversion.h"
#include "picture/channel_offsets.h"
#include "tests/convert/auto_colours_windows.h"

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
    bool dither;
  } cases[] = {
      {0, DefaultColourRoles, true}, {0, DefaultColourRoles, false},
      {1, {8, 15, 0, 0, 1}, true},   {3, {1, 10, 0, 12, 9}, true},
      {4, {0, 1, 2, 1, 2}, false},   {7, {6, 6, 6, 6, 6}, true},  // one colour everywhere
      {5, {3, 3, 1, 3, 1}, true},  // roles sharing colours: only the lowest codes occur
  };
  const auto windows = AllWindows();
  for (const auto& c : cases) {
    SCOPED_TRACE(windows[c.window].name);
    auto state = windows[c.window].make();
    ColourRoleEvaluator evaluator(state->Image1.Words(), c.dither);
    // Scoring other roles first must leave nothing behind.
    evaluator.Evaluate(ColourRoleSet{1, 2, 3, 4, 5});
    const RoleScore score = evaluator.Evaluate(c.roles);

    const double error = ConvertedError(*state, c.roles, c.dither);
    EXPECT_DOUBLE_EQ(score.error, error);
    EXPECT_NEAR(score.flicker, InterlaceFlicker(state->LayerBits, c.roles), 1e-3);
    int mismatches = 0;
    for (int i = 0; i < PixelCount; ++i)
      mismatches += evaluator.Codes()[i] != CodeOfBits(state->LayerBits, i);
    EXPECT_EQ(mismatches, 0);
  }
}

// Every judged window searched once with dithering, shared by the tests below.
class JudgedWindows : public ::testing::Test {
 protected:
  struct Result {
    std::string name;
    ColourRoleChoice choice;
    double defaultError = 0, chosenError = 0;
    std::unique_ptr<ConverterState> state;  // converted with the chosen roles
  };

  static void SetUpTestSuite() {
    results_ = new std::vector<Result>;
    for (const auto& window : AllWindows()) {
      Result r;
      r.name = window.name;
      r.state = window.make();
      r.choice = SearchColourRoles(r.state->Image1.Words(), true);
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

TEST_F(JudgedWindows, AmongNearlyEqualErrorsTheLeastFlickerWins) {
  for (const Result& r : *results_) {
    const ColourRoleChoice& c = r.choice;
    EXPECT_LE(c.bestError.error, c.score.error) << r.name;
    EXPECT_LE(c.score.error, 1.02 * c.bestError.error) << r.name;
    EXPECT_LE(c.score.flicker, c.bestError.flicker) << r.name;
    EXPECT_NEAR(c.score.flicker, InterlaceFlicker(r.state->LayerBits, c.roles), 1e-3) << r.name;
    for (int role = 0; role < RoleCount; ++role) {
      EXPECT_GE(c.roles[role], 0);
      EXPECT_LT(c.roles[role], 16);
    }
  }
}

TEST(ChooseColourRoles, SameWindowSameRolesWhateverTheStateHoldsBesides) {
  auto first = auto_colours_windows::Astronaut(130, 10);
  const ColourRoleSet roles = ChooseColourRoles(*first, true);
  // A conversion overwrites WorkPlanes with mix colours; the adjusted picture is in Image1.
  first->MixTable = BuildMixTable(RoleColours(ColourRoleSet{1, 1, 1, 1, 1}));
  ConvertPicture(*first, true, nullptr);
  EXPECT_EQ(ChooseColourRoles(*first, true), roles);
  auto second = auto_colours_windows::Astronaut(130, 10);
  EXPECT_EQ(ChooseColourRoles(*second, true), roles);
}

TEST(ChooseColourRoles, FollowsTheChannelOffsetsAndTheDitheringSetting) {
  auto state = auto_colours_windows::Astronaut(0, 0);
  ApplyChannelOffsets(*state, 0, 0, 160, nullptr);  // a strong blue cast
  const ColourRoleSet roles = ChooseColourRoles(*state, false);
  const double chosen = ConvertedError(*state, roles, false);
  EXPECT_LT(chosen, ConvertedError(*state, DefaultColourRoles, false));
  // The roles for the unadjusted crop do worse on the adjusted one.
  auto plain = auto_colours_windows::Astronaut(0, 0);
  const ColourRoleSet plainRoles = ChooseColourRoles(*plain, false);
  EXPECT_NE(plainRoles, roles);
  EXPECT_LT(chosen, ConvertedError(*state, plainRoles, false));
}

}  // namespace
}  // namespace vantrel
