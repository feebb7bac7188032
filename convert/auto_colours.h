// Automatic choice of the five colour roles for one adjusted window: the roles whose
// conversion, as the eye sees it, comes closest to the picture.
#pragma once

#include <memory>

#include "convert/error_diffusion.h"
#include "core/converter_state.h"
#include "core/types.h"

namespace vantrel {

// How a set of roles does on one window.
struct RoleScore {
  double error = 0;    // mean CIE76 difference, source against preview, both blurred (sigma 1)
  double flicker = 0;  // mean |L| difference between the frame-1 and frame-2 colour of a pixel
};

// Scores role sets for one adjusted window by running the conversion's own diffusion and
// classification on a private copy, so dithering is accounted for exactly. Everything it
// needs is allocated once, on construction.
class ColourRoleEvaluator {
 public:
  // `adjusted`: 200 rows of 192 PackedRGB words, the adjusted crop (the Image1 surface).
  ColourRoleEvaluator(const PackedRGB* adjusted, bool dither);
  ~ColourRoleEvaluator();

  RoleScore Evaluate(const ColourRoleSet& roles);

  // Mix codes of the last evaluation: what the conversion would classify every pixel as.
  const MixCodes& Codes() const;

 private:
  struct Planes;
  std::unique_ptr<Planes> planes_;
  bool dither_;
};

struct ColourRoleChoice {
  ColourRoleSet roles;
  RoleScore score;      // of `roles`
  RoleScore bestError;  // the lowest error found (its flicker may be higher)
  int evaluations = 0;  // full conversions the search ran
};

// Searches the roles for the adjusted window. The same window and dithering setting always
// give the same roles. Among the role sets whose error lies within 2 % of the lowest found,
// the one that flickers least wins.
ColourRoleChoice SearchColourRoles(const PackedRGB* adjusted, bool dither);

// The roles for the state's adjusted crop (Image1, as ApplyChannelOffsets left it).
ColourRoleSet ChooseColourRoles(const ConverterState& adjusted, bool dither);

}  // namespace vantrel
