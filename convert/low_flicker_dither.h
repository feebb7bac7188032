// The low-flicker dithering: each pixel takes the mix colour that minimises its CIELAB
// distance, plus a penalty for the lightness difference between the two frames that show the
// mix, plus a penalty for the lightness contrast with its left and upper neighbours that the
// photo does not have; its error is spread in CIELAB (7/3/5/1 sixteenths). Calm is bought
// where it costs little: a pixel whose colour a steady mix shows nearly as well takes the
// steady one. Up close the eye sees lightness almost pixel by pixel and blurs only colour
// (S-CIELAB), so a steady mix must not be paid for with dots of light on dark: the contrast
// penalty makes a pixel follow its neighbours' lightness error instead, and small errors are
// not passed on, so smooth areas stay smooth rather than sprinkled.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "colour/mix_colours.h"
#include "convert/kernels.h"
#include "core/progress.h"
#include "core/types.h"

namespace vantrel {

// CIELAB in sixteenths of a unit: L 0..1600, a and b about -1700..1700.
inline constexpr int LabUnit = 16;

// The penalty per sixteenth of lightness difference between a mix's two frame colours, in
// squared sixteenths: 10 squared CIELAB units per unit of L*.
inline constexpr int FlickerPenalty = 160;

// The contrast penalty of a slot: c = 2 L(slot) - (2 L(input) + the lightness errors of the
// left and upper neighbours, each its slot's L minus its input L, 0 beyond the picture),
// squared and shifted right by this; c / 2 is how far the slot's lightness error lies from the
// mean of theirs, so the penalty is that squared: a lightness contrast the photo does not
// have costs as much as the same difference in the colour itself. Twice as much made smooth
// areas break into flat bands with stepped edges.
inline constexpr int ContrastShift = 2;

// Errors are passed on truncated toward zero to a multiple of this (8 CIELAB units): what
// no mix shows within that stays where it is instead of sprinkling dots into smooth areas.
inline constexpr int ErrorStep = 8 * LabUnit;

// How far the error a pixel has received may move its colour, per channel (20 CIELAB units):
// without a bound, colours no mix reaches pile up error that streaks far into the picture.
inline constexpr int ErrorBound = 20 * LabUnit;

// CIELAB sixteenths of an sRGB colour in float arithmetic (a cube root from the float's bits
// and one Halley step), rounded: within 0.75 sixteenths of SrgbToLab.
std::array<int, 3> SrgbToLab16(int red, int green, int blue);

// The adjusted planes in CIELAB sixteenths (LabPlanes16), exactly as SrgbToLab16 gives each
// pixel.
void ToLabPlanes16(const ColourPlanes& adjusted, LabPlanes16& out,
                   const ConversionKernels& kernels = ActiveKernels());

// What the dithering needs of the nine slots: their CIELAB sixteenths and their penalties.
struct LowFlickerSlots {
  std::array<std::array<int, 3>, 9> lab{};  // slot k (MixCode k + 1)
  std::array<int, 9> penalty{};             // FlickerPenalty * |L(frame 1) - L(frame 2)|
};
// `roles` and `model` give the frames' colours whose lightness the penalties weigh.
LowFlickerSlots MakeLowFlickerSlots(const MixSlots& mixTable, const ColourRoleSet& roles,
                                    const ColourModel& model = DefaultColourModel);
// The same for the mixes of what two frames show (a cell's, CellFrameColours).
LowFlickerSlots MakeLowFlickerSlots(const MixSlots& mixTable,
                                    const std::pair<FrameColours, FrameColours>& frames);
// The slots of every cell, index CellOf.
std::vector<LowFlickerSlots> MakeCellLowFlickerSlots(const CellMixSlots& tables,
                                                     const CellColours& cells,
                                                     const ColourRoleSet& roles,
                                                     const ColourModel& model = DefaultColourModel);

// The dithering over a picture of any size (width >= 1), `L`, `a`, `b` and `codes` holding
// width * height values row after row. Pixels go row by row, left to right; a pixel's colour
// is its input plus the error it received, each channel of that error bounded to
// +-ErrorBound; the winner has the smallest squared distance plus flicker penalty plus
// contrast penalty (ContrastShift), the lowest code among equals; its error, each channel
// truncated toward zero to a multiple of ErrorStep, e goes as (7e + 8) >> 4 to the right,
// (3e + 8) >> 4 below left, (5e + 8) >> 4 below and the rest below right; shares beyond the
// picture are dropped.
// Reports each row as its turn comes (the AVX2 kernels take four rows at a time); every
// kernel gives the same codes.
void LowFlickerDither(const std::int16_t* L, const std::int16_t* a, const std::int16_t* b,
                      int width, int height, const LowFlickerSlots& slots, std::uint8_t* codes,
                      ProgressSink* progress, const ConversionKernels& kernels = ActiveKernels());

// The same with each pixel's own cell's slots: cell (x / 8, y / 8) of (width + 7) / 8 cells a
// row, `cellSlots` row after row.
void LowFlickerDitherCells(const std::int16_t* L, const std::int16_t* a, const std::int16_t* b,
                           int width, int height, const LowFlickerSlots* cellSlots,
                           std::uint8_t* codes, ProgressSink* progress,
                           const ConversionKernels& kernels = ActiveKernels());

// The conversion's form: fills `codes` (MixCode of every pixel) for the adjusted planes, the
// mix table and the roles and model that made it. `lab` receives the planes in CIELAB.
void DiffuseLowFlicker(const ColourPlanes& adjusted, const MixSlots& mixTable,
                       const ColourRoleSet& roles, const ColourModel& model, MixCodes& codes,
                       LabPlanes16& lab, ProgressSink* progress,
                       const ConversionKernels& kernels = ActiveKernels());
// The same with colours per cell: each cell's mixes and the frame colours that make them.
void DiffuseLowFlickerCells(const ColourPlanes& adjusted, const CellMixSlots& tables,
                            const CellColours& cells, const ColourRoleSet& roles,
                            const ColourModel& model, MixCodes& codes, LabPlanes16& lab,
                            ProgressSink* progress,
                            const ConversionKernels& kernels = ActiveKernels());

}  // namespace vantrel
