// Automatic choice of the five colour roles for one adjusted window: the roles whose
// conversion, as the eye sees it, comes closest to the picture.
#pragma once

#include <array>
#include <exception>
#include <functional>
#include <memory>

#include "convert/dithering.h"
#include "convert/error_diffusion.h"
#include "core/colour_model.h"
#include "core/converter_state.h"
#include "core/types.h"

namespace vantrel {

// How a set of roles does on one window.
struct RoleScore {
  double error = 0;    // the mean of `near` and `far`: what the search minimises
  double near = 0;     // S-CIELAB, source against preview, at NearPixelsPerDegree (12)
  double far = 0;      // the same at FarPixelsPerDegree (24)
  double flicker = 0;  // mean |L| difference between the frame-1 and frame-2 colour of a pixel
};

// Scores role sets for one adjusted window by running the conversion's own diffusion and
// classification on a private copy, so dithering is accounted for exactly, and measuring the
// preview as the eye sees it from both distances. Everything it needs is allocated once, on
// construction.
class ColourRoleEvaluator {
 public:
  // `adjusted`: 200 rows of 192 PackedRGB words, the adjusted crop (the Image1 surface). The
  // conversions and their previews are made in `model`.
  ColourRoleEvaluator(const PackedRGB* adjusted, Dithering dithering,
                      const ColourModel& model = DefaultColourModel);
  ~ColourRoleEvaluator();

  RoleScore Evaluate(const ColourRoleSet& roles);

  // Mix codes of the last evaluation: what the conversion would classify every pixel as.
  const MixCodes& Codes() const;

 private:
  struct Planes;
  std::unique_ptr<Planes> planes_;
  Dithering dithering_;
  ColourModel model_;
};

// The weight of flicker against colour error that each goal minimises (error + lambda *
// flicker, both in CIELAB units).
double FlickerLambda(ColourGoal goal);

struct ColourRoleChoice {
  ColourRoleSet roles;
  RoleScore score;            // of `roles`
  RoleScore bestError;        // the lowest error found (its flicker may be higher)
  int evaluations = 0;        // full conversions the search ran
  int coarseEvaluations = 0;  // conversions of the half-size window
};

inline constexpr int GoalCount = 3;

// How a caller follows and stops a search. Both may be empty.
struct SearchControl {
  std::function<void(int permille)> progress;  // now and then, 0..1000, rising
  std::function<bool()> cancelled;             // polled between conversions
  int threads = 2;  // at most this many at once (the result is the same with one)
};

// Thrown out of a search whose caller cancelled it.
class SearchCancelled : public std::exception {
 public:
  const char* what() const noexcept override;
};

// Searches the roles that minimise error + FlickerLambda(goal) * flicker for the adjusted
// window converted with `dithering`, for every goal at once: for each goal in turn, descents
// on a half-size copy of the window from many starts and from the optima of the goals
// before, the best of them refined on the window itself, then the role sets that show the
// same nine mixes in other layers. Each goal then takes the best of everything converted,
// so Calm never flickers more than Balanced, nor Balanced more than Faithful. The same window
// and dithering always give the same roles. Indexed by ColourGoal. Every conversion is made, and
// judged, in `model`: its palette, and its mix as the eye sees the two frames.
std::array<ColourRoleChoice, GoalCount> SearchColourRoleGoals(
    const PackedRGB* adjusted, Dithering dithering, const SearchControl& control = {},
    const ColourModel& model = DefaultColourModel);

// One goal's choice of the search above.
ColourRoleChoice SearchColourRoles(const PackedRGB* adjusted, Dithering dithering,
                                   ColourGoal goal = ColourGoal::Faithful,
                                   const SearchControl& control = {},
                                   const ColourModel& model = DefaultColourModel);

// The roles for the state's adjusted crop (Image1, as ApplyChannelOffsets left it), in the
// state's model.
ColourRoleSet ChooseColourRoles(const ConverterState& adjusted, Dithering dithering,
                                ColourGoal goal, const SearchControl& control = {});

}  // namespace vantrel
