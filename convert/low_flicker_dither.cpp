// The crop in CIELAB sixteenths, the low-flicker slots and the pass over them.
#include "convert/low_flicker_dither.h"

#include <cstdlib>

#include "colour/mix_colours.h"
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

namespace {

int Lightness16(TColor c) { return SrgbToLab16(RedOf(c), GreenOf(c), BlueOf(c))[0]; }

}  // namespace

LowFlickerSlots MakeLowFlickerSlots(const MixSlots& mixTable, const ColourRoleSet& roles,
                                    const ColourModel& model) {
  const std::array<TColor, RoleCount> colours = RoleColours(roles, model);
  return MakeLowFlickerSlots(
      mixTable, {{colours[0], colours[1], colours[2]}, {colours[0], colours[3], colours[4]}});
}

LowFlickerSlots MakeLowFlickerSlots(const MixSlots& mixTable,
                                    const std::pair<FrameColours, FrameColours>& frames) {
  std::array<int, 3> first{}, second{};
  for (int layer = 0; layer < 3; ++layer) {
    first[layer] = Lightness16(frames.first[layer]);
    second[layer] = Lightness16(frames.second[layer]);
  }
  LowFlickerSlots slots;
  for (int k = 0; k < 9; ++k) {
    const TColor m = mixTable[k];
    slots.lab[k] = SrgbToLab16(RedOf(m), GreenOf(m), BlueOf(m));
    const auto [one, two] = MixSlotLayers(k + 1);
    slots.penalty[k] = FlickerPenalty * std::abs(first[one] - second[two]);
  }
  return slots;
}

std::vector<LowFlickerSlots> MakeCellLowFlickerSlots(const CellMixSlots& tables,
                                                     const CellColours& cells,
                                                     const ColourRoleSet& roles,
                                                     const ColourModel& model) {
  std::vector<LowFlickerSlots> slots(CellCount);
  for (int cell = 0; cell < CellCount; ++cell) {
    // Neighbouring cells often hold the same colours.
    if (cell > 0 && cells[cell] == cells[cell - 1]) {
      slots[cell] = slots[cell - 1];
    } else {
      slots[cell] = MakeLowFlickerSlots(tables[cell], CellFrameColours(cells[cell], roles, model));
    }
  }
  return slots;
}

void LowFlickerDither(const std::int16_t* L, const std::int16_t* a, const std::int16_t* b,
                      int width, int height, const LowFlickerSlots& slots, std::uint8_t* codes,
                      ProgressSink* progress, const ConversionKernels& kernels) {
  kernels.lowFlicker(L, a, b, width, height, slots, codes, progress);
}

void LowFlickerDitherCells(const std::int16_t* L, const std::int16_t* a, const std::int16_t* b,
                           int width, int height, const LowFlickerSlots* cellSlots,
                           std::uint8_t* codes, ProgressSink* progress,
                           const ConversionKernels& kernels) {
  kernels.lowFlickerCells(L, a, b, width, height, cellSlots, codes, progress);
}

void DiffuseLowFlicker(const ColourPlanes& adjusted, const MixSlots& mixTable,
                       const ColourRoleSet& roles, const ColourModel& model, MixCodes& codes,
                       LabPlanes16& lab, ProgressSink* progress, const ConversionKernels& kernels) {
  ToLabPlanes16(adjusted, lab, kernels);
  LowFlickerDither(lab.L.data(), lab.a.data(), lab.b.data(), WindowWidth, WindowHeight,
                   MakeLowFlickerSlots(mixTable, roles, model), codes.data(), progress, kernels);
}

void DiffuseLowFlickerCells(const ColourPlanes& adjusted, const CellMixSlots& tables,
                            const CellColours& cells, const ColourRoleSet& roles,
                            const ColourModel& model, MixCodes& codes, LabPlanes16& lab,
                            ProgressSink* progress, const ConversionKernels& kernels) {
  ToLabPlanes16(adjusted, lab, kernels);
  const std::vector<LowFlickerSlots> slots = MakeCellLowFlickerSlots(tables, cells, roles, model);
  LowFlickerDitherCells(lab.L.data(), lab.a.data(), lab.b.data(), WindowWidth, WindowHeight,
                        slots.data(), codes.data(), progress, kernels);
}

}  // namespace vantrel
