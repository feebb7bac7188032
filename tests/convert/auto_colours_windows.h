// Windows the automatic colour choice is judged on: parts of the sample photo and pictures
// made here, each brought into a ConverterState through the real crop and offset steps.
// Shared by the tests and the benchmark.
#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "colour/mix_colours.h"
#include "colour/palette.h"
#include "colour/perceptual.h"
#include "convert/conversion.h"
#include "core/converter_state.h"
#include "picture/channel_offsets.h"
#include "picture/jpeg_decoder.h"
#include "picture/source_window.h"
#include "tests/support/converter_states.h"

namespace vantrel::auto_colours_windows {

struct TestWindow {
  std::string name;
  std::function<std::unique_ptr<ConverterState>()> make;
};

// A state with a picture loaded, cropped at (left, top) and adjusted with zero offsets.
inline std::unique_ptr<ConverterState> Prepared(std::unique_ptr<ConverterState> state, int left,
                                                int top) {
  ReadSourceWindow(*state, -left, -top);
  ApplyChannelOffsets(*state, 0, 0, 0, nullptr);
  return state;
}

inline std::unique_ptr<ConverterState> Astronaut(int left, int top) {
  auto state = testsupport::NewConverterState();
  testsupport::LoadPicture(*state, VANTREL_TEST_DATA "/astronaut.jpg");
  return Prepared(std::move(state), left, top);
}

// A 192 x 200 picture whose pixel (x, y) is colour(x, y) as PackedRGB.
inline std::unique_ptr<ConverterState> Drawn(const std::function<PackedRGB(int, int)>& colour) {
  Bitmap32 picture(WindowWidth, WindowHeight);
  for (int y = 0; y < WindowHeight; ++y) {
    for (int x = 0; x < WindowWidth; ++x) picture.ScanLine(y)[x] = colour(x, y);
  }
  auto state = testsupport::NewConverterState();
  testsupport::SetPicture(*state, std::move(picture));
  return Prepared(std::move(state), 0, 0);
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

// Converts with `roles` as the window does after five palette picks and "CONVERT", and
// measures the preview the way the user's eye sees it.
inline double ConvertedError(ConverterState& state, const ColourRoleSet& roles, bool dither) {
  state.ColourRoles = roles;
  state.MixTable = BuildMixTable(RoleColours(roles));
  ConvertPicture(state, DitheringOf(dither), nullptr);
  return PerceivedError(state.Image1.Words(), state.PreviewBitmap.Words(),
                        state.PreviewBitmap.Width());
}

}  // namespace vantrel::auto_colours_windows
