// The sRGB transfer curve: an sRGB value 0..1 to linear light 0..1 and back, for every module
// that averages or compares colours as light.
#pragma once

#include <cmath>

namespace vantrel {

inline double SrgbDecode(double value) {
  return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

inline double SrgbEncode(double linear) {
  return linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

}  // namespace vantrel
