// How the conversion spreads each pixel's colour error, and how Auto Colors trades colour
// error against interlace flicker.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace vantrel {

enum class Dithering {
  None,            // every pixel takes its nearest mix colour
  FloydSteinberg,  // the nearest mix colour, its error spread 7/3/5/1 sixteenths
  LowFlicker,      // CIELAB distance plus a flicker penalty, its error spread in CIELAB
};

// What Auto Colors minimises: colour error + lambda * flicker, one lambda per goal.
enum class ColourGoal { Faithful, Balanced, Calm };

// Dithering on or off, as a Dithering: Floyd-Steinberg or none.
constexpr Dithering DitheringOf(bool dither) {
  return dither ? Dithering::FloydSteinberg : Dithering::None;
}

// The same word on the command line as in the window: the window's caption, and the command
// line's name of each choice, in the order of the enums.
inline constexpr std::array<std::string_view, 3> DitheringCaptions = {"None", "Floyd Steinberg",
                                                                      "Low Flicker"};
inline constexpr std::array<std::string_view, 3> DitheringNames = {"none", "fs", "low-flicker"};
inline constexpr std::array<std::string_view, 3> ColourGoalCaptions = {"Faithful", "Balanced",
                                                                       "Calm"};
inline constexpr std::array<std::string_view, 3> ColourGoalNames = {"faithful", "balanced", "calm"};

template <typename Choice, std::size_t Count>
std::optional<Choice> ChoiceNamed(const std::array<std::string_view, Count>& names,
                                  std::string_view name) {
  for (std::size_t i = 0; i < Count; ++i) {
    if (names[i] == name) return static_cast<Choice>(i);
  }
  return std::nullopt;
}

}  // namespace vantrel
