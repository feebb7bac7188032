// CIELAB's constants, written once for every module that computes it: the sRGB primaries in
// CIE XYZ, the D65 white and the companding of a white-relative value.
#pragma once

#include <cmath>

namespace vantrel::cielab {

// Linear sRGB (0..1) to XYZ, white Y = 1.
inline constexpr double SrgbToXyz[3][3] = {{0.4124564, 0.3575761, 0.1804375},
                                           {0.2126729, 0.7151522, 0.0721750},
                                           {0.0193339, 0.1191920, 0.9503041}};

// The D65 white the X and Z values are taken relative to (Y's is 1).
inline constexpr double WhiteX = 0.95047, WhiteZ = 1.08883;

// Below Delta^3 the companding is the straight line that meets the cube root there.
inline constexpr double Delta = 6.0 / 29.0;
inline constexpr double Delta3 = Delta * Delta * Delta;
inline constexpr double LinearOffset = 4.0 / 29.0;

// The companding of a white-relative tristimulus value.
inline double Companded(double t) {
  return t > Delta3 ? std::cbrt(t) : t / (3 * Delta * Delta) + LinearOffset;
}

}  // namespace vantrel::cielab
