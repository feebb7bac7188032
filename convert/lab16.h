// sRGB to CIELAB in sixteenths of a unit, the arithmetic every low-flicker kernel repeats in
// the same order, so that all of them give the same bits.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "colour/cielab.h"
#include "convert/low_flicker_dither.h"

namespace vantrel::lab16 {

// sRGB to CIELAB sixteenths with float arithmetic that the vector code repeats lane by lane
// in the same order, so both give the same bits. The cube root starts from an estimate made
// from the float's bits (within about 3 %) and takes one Halley step (then within about
// 2e-5, under a fifth of a sixteenth in a and b).
constexpr float Third = 1.0f / 3.0f;
constexpr float Delta3 = 216.0f / 24389.0f;  // (6/29)^3: below it the companding is linear
constexpr float LinearSlope = 841.0f / 108.0f, LinearOffset = 4.0f / 29.0f;
constexpr std::int32_t RootBias = 709921077;

// The sRGB primaries to XYZ, relative to the D65 white, in float.
constexpr float Relative(double m, double white) {
  return static_cast<float>(m) / static_cast<float>(white);
}
constexpr float Mx[3] = {Relative(cielab::SrgbToXyz[0][0], cielab::WhiteX),
                         Relative(cielab::SrgbToXyz[0][1], cielab::WhiteX),
                         Relative(cielab::SrgbToXyz[0][2], cielab::WhiteX)};
constexpr float My[3] = {static_cast<float>(cielab::SrgbToXyz[1][0]),
                         static_cast<float>(cielab::SrgbToXyz[1][1]),
                         static_cast<float>(cielab::SrgbToXyz[1][2])};
constexpr float Mz[3] = {Relative(cielab::SrgbToXyz[2][0], cielab::WhiteZ),
                         Relative(cielab::SrgbToXyz[2][1], cielab::WhiteZ),
                         Relative(cielab::SrgbToXyz[2][2], cielab::WhiteZ)};

inline float Companded(float t) {
  std::int32_t bits;
  std::memcpy(&bits, &t, sizeof bits);
  const std::int32_t guess = static_cast<std::int32_t>(static_cast<float>(bits) * Third) + RootBias;
  float y;
  std::memcpy(&y, &guess, sizeof y);
  const float cube = y * y * y;
  y = y * (cube + t + t) / (cube + cube + t);  // Halley's step
  return t > Delta3 ? y : t * LinearSlope + LinearOffset;
}

inline int RoundHalfEven(float v) { return static_cast<int>(std::nearbyint(v)); }

inline std::array<int, 3> Lab16(float r, float g, float b) {
  const float fx = Companded(Mx[0] * r + Mx[1] * g + Mx[2] * b);
  const float fy = Companded(My[0] * r + My[1] * g + My[2] * b);
  const float fz = Companded(Mz[0] * r + Mz[1] * g + Mz[2] * b);
  constexpr float unit = LabUnit;
  return {RoundHalfEven((fy * 116.0f - 16.0f) * unit), RoundHalfEven((fx - fy) * (500.0f * unit)),
          RoundHalfEven((fy - fz) * (200.0f * unit))};
}

inline int Clamp(int v, int bound) { return std::clamp(v, -bound, bound); }

// The part of a low-flicker error that is passed on: truncated toward zero to a multiple of
// ErrorStep.
inline int ErrorPassed(int e) { return e / ErrorStep * ErrorStep; }

}  // namespace vantrel::lab16
