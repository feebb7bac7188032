// How the conversion spreads each pixel's colour error, and how Auto Colors trades colour
// error against interlace flicker.
#pragma once

namespace vantrel {

enum class Dithering {
  None,            // every pixel takes its nearest mix colour
  FloydSteinberg,  // the nearest mix colour, its error spread 7/3/5/1 sixteenths
  LowFlicker,      // CIELAB distance plus a flicker penalty, its error spread in CIELAB
};

// What Auto Colors minimises: colour error + lambda * flicker, one lambda per goal.
enum class ColourGoal { Faithful, Balanced, Calm };

// The conversion's dithering for the two settings that have a check box.
constexpr Dithering DitheringOf(bool dither) {
  return dither ? Dithering::FloydSteinberg : Dithering::None;
}

}  // namespace vantrel
