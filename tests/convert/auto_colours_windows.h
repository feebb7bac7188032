// Windows the automatic colour choice is judged on: parts of the sample photo and pictures
// made here, and windows of other photos to check it on, each brought into a ConverterState
// as the crop and the channel offsets bring them. Shared by the tests and the benchmark.
#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "colour/mix_colours.h"
#include "colour/palette.h"
#include "colour/perceptual.h"
#include "colour/scielab.h"
#include "convert/conversion.h"
#include "core/converter_state.h"
#include "picture/jpeg_samples.h"
#include "support/converter_states.h"

namespace vantrel::auto_colours_windows {

struct TestWindow {
  std::string name;
  std::function<std::unique_ptr<ConverterState>()> make;
};

// A state whose crop has pixel (x, y) colour(x, y) as PackedRGB, adjusted with zero offsets.
inline std::unique_ptr<ConverterState> Drawn(const std::function<PackedRGB(int, int)>& colour) {
  WindowWords crop;
  for (int y = 0; y < WindowHeight; ++y) {
    for (int x = 0; x < WindowWidth; ++x) crop[y * WindowWidth + x] = colour(x, y);
  }
  auto state = testsupport::NewConverterState();
  testsupport::SetCrop(*state, crop);
  return state;
}

// The photo's window at (left, top), decoded as the program decodes photos (the float DCT).
inline std::unique_ptr<ConverterState> Photo(const std::string& file, int left, int top) {
  const jpeg_samples::RawImage photo =
      jpeg_samples::ReadJpegRgb(VANTREL_TEST_DATA "/" + file, JDCT_FLOAT);
  if (left + WindowWidth > photo.width || top + WindowHeight > photo.height) {
    throw std::runtime_error(file + " has no window at that corner");
  }
  return Drawn([&](int x, int y) {
    const std::uint8_t* p = photo.Pixel(left + x, top + y);
    return MakePackedRGB(p[0], p[1], p[2]);
  });
}

inline std::unique_ptr<ConverterState> Astronaut(int left, int top) {
  return Photo("astronaut.jpg", left, top);
}

// Grey from black at the left to white at the right.
inline PackedRGB GreyRamp(int x, int) {
  const unsigned v = static_cast<unsigned>(x * 255 / (WindowWidth - 1));
  return MakePackedRGB(v, v, v);
}

// Two colours that some roles show exactly: blue (blue with itself) and the mix of yellow
// and white, in discs on a blue ground.
inline constexpr TColor TwoColourGround = C64Palette[6];
inline constexpr TColor TwoColourDiscs = MixColours(C64Palette[7], C64Palette[1]);
inline PackedRGB TwoColours(int x, int y) {
  const int dx = x % 48 - 24, dy = y % 50 - 25;
  return ToPackedRGB(dx * dx + dy * dy < 18 * 18 ? TwoColourDiscs : TwoColourGround);
}

// Fully saturated hues from left to right, dark at the top and bright at the bottom.
inline PackedRGB SaturatedGradient(int x, int y) {
  const double hue = 6.0 * x / WindowWidth;
  const double value = 0.15 + 0.85 * y / (WindowHeight - 1);
  const double f = hue - std::floor(hue);
  double r = 0, g = 0, b = 0;
  switch (static_cast<int>(hue)) {
    case 0:
      r = 1, g = f;
      break;
    case 1:
      r = 1 - f, g = 1;
      break;
    case 2:
      g = 1, b = f;
      break;
    case 3:
      g = 1 - f, b = 1;
      break;
    case 4:
      r = f, b = 1;
      break;
    default:
      r = 1, b = 1 - f;
      break;
  }
  const auto channel = [&](double c) {
    return static_cast<unsigned>(std::lround(255 * c * value));
  };
  return MakePackedRGB(channel(r), channel(g), channel(b));
}

inline std::vector<TestWindow> AllWindows() {
  return {
      {"astronaut top-left (0,0)", [] { return Astronaut(0, 0); }},
      {"astronaut face (130,10)", [] { return Astronaut(130, 10); }},
      {"astronaut flag and suit (0,250)", [] { return Astronaut(0, 250); }},
      {"astronaut shuttle (320,0)", [] { return Astronaut(320, 0); }},
      {"astronaut helmet (300,312)", [] { return Astronaut(300, 312); }},
      {"grey ramp", [] { return Drawn(GreyRamp); }},
      {"two mix colours", [] { return Drawn(TwoColours); }},
      {"saturated gradient", [] { return Drawn(SaturatedGradient); }},
  };
}

// Windows of other photos, one window each (192 x 200 crops of public-domain and CC0
// pictures that scikit-image ships: a SpaceX launch at dusk, an espresso, a cat, the Hubble
// deep field), for checking that what holds on the judged windows holds elsewhere too.
inline std::vector<TestWindow> OtherPhotoWindows() {
  std::vector<TestWindow> windows;
  for (const char* name : {"rocket-sky", "rocket-lights", "coffee", "chelsea", "hubble"}) {
    windows.push_back({name, [file = std::string(name) + ".jpg"] { return Photo(file, 0, 0); }});
  }
  return windows;
}

// How a conversion looks: S-CIELAB near and far and their mean, the blurred CIELAB measure
// the search used before, and the flicker.
struct ConvertedScore {
  double error, near, far, blurred, flicker;
};

// Converts with `roles` as the window does after five palette picks and "CONVERT", and
// measures the preview the way the user's eye sees it.
inline ConvertedScore Converted(ConverterState& state, const ColourRoleSet& roles,
                                Dithering dithering) {
  state.ColourRoles = roles;
  state.MixTable = BuildMixTable(RoleColours(roles));
  ConvertPicture(state, dithering, nullptr);
  const PackedRGB* source = state.Image1.Words();
  const PackedRGB* preview = state.PreviewBitmap.Words();
  const int stride = state.PreviewBitmap.Width();
  ConvertedScore s{};
  s.near = ScielabDifference(source, WindowWidth, preview, stride, WindowWidth, WindowHeight,
                             NearPixelsPerDegree);
  s.far = ScielabDifference(source, WindowWidth, preview, stride, WindowWidth, WindowHeight,
                            FarPixelsPerDegree);
  s.error = (s.near + s.far) / 2;
  s.blurred = PerceivedError(source, preview, stride);
  s.flicker = InterlaceFlicker(state.LayerBits, roles);
  return s;
}

// The error the search minimises, of that conversion.
inline double ConvertedError(ConverterState& state, const ColourRoleSet& roles, bool dither) {
  return Converted(state, roles, DitheringOf(dither)).error;
}

}  // namespace vantrel::auto_colours_windows
