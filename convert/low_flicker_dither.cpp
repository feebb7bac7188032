// The crop in CIELAB sixteenths, the low-flicker slots and the pass over them.
#include "convert/low_flicker_dither.h"

#include <cstdlib>

#include "colour/mix_colours.h"
#include "colour/palette.h"
#include "colour/perceptual.h"
#include "convert/lab16.h"

namespace vantrel {

std::array<int, 3> SrgbToLab16(int red, int green, int blue) {
  return lab16::Lab16(SrgbToLinear(static_cast<std::uint8_t>(red)),
                      SrgbToLinear(static_cast<std::uint8_t>(green)),
                      SrgbToLinear(static_cast<std::uint8_t>(blue)));
}

void ToLabPlanes16(const ColourPlanes& adjusted, LabPlanes16& out,
                   const ConversionKernels& kernels) {
  kernels.toLab(adjusted, out);
}

LowFlickerSlots MakeLowFlickerSlots(const MixSlots& mixTable, const ColourRoleSet& roles) {
  LowFlickerSlots slots;
  for (int k = 0; k < 9; ++k) {
    const TColor m = mixTable[k];
    slots.lab[k] = SrgbToLab16(RedOf(m), GreenOf(m), BlueOf(m));
    const auto [first, second] = MixSlotRoles[k];
    const TColor one = C64Palette[roles[first] & 0x0F], two = C64Palette[roles[second] & 0x0F];
    const int flicker = std::abs(SrgbToLab16(RedOf(one), GreenOf(one), BlueOf(one))[0] -
                                 SrgbToLab16(RedOf(two), GreenOf(two), BlueOf(two))[0]);
    slots.penalty[k] = FlickerPenalty * flicker;
  }
  return slots;
}

void LowFlickerDither(const std::int16_t* L, const std::int16_t* a, const std::int16_t* b,
                      int width, int height, const LowFlickerSlots& slots, std::uint8_t* codes,
                      ProgressSink* progress, const ConversionKernels& kernels) {
  kernels.lowFlicker(L, a, b, width, height, slots, codes, progress);
}

void DiffuseLowFlicker(const ColourPlanes& adjusted, const MixSlots& mixTable,
                       const ColourRoleSet& roles, MixCodes& codes, LabPlanes16& lab,
                       ProgressSink* progress, const ConversionKernels& kernels) {
  ToLabPlanes16(adjusted, lab, kernels);
  LowFlickerDither(lab.L.data(), lab.a.data(), lab.b.data(), WindowWidth, WindowHeight,
                   MakeLowFlickerSlots(mixTable, roles), codes.data(), progress, kernels);
}

}  // namespace vantrel
