// Colours in CIELAB (D65), the flicker that frames of very different lightness cause, and the
// measure Auto Colors minimised before S-CIELAB (colour/scielab.h): the CIE76 difference of
// the two pictures after a blur of one pixel, which the benchmark still prints for comparison.
#pragma once

#include <array>
#include <cstdint>

#include "core/cell_colours.h"
#include "core/colour_model.h"
#include "core/types.h"

namespace vantrel {

struct LabColour {
  float L = 0, a = 0, b = 0;
};

// sRGB channel value 0..255 to linear light 0..1 (from a table of 256 entries).
float SrgbToLinear(std::uint8_t value);
// The same for all 256 levels at once.
const std::array<float, 256>& LinearTable();

// CIELAB of an sRGB colour, D65 white.
LabColour SrgbToLab(unsigned red, unsigned green, unsigned blue);
inline LabColour PackedRgbToLab(PackedRGB c) {
  return SrgbToLab((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}
inline LabColour TColorToLab(TColor c) { return SrgbToLab(RedOf(c), GreenOf(c), BlueOf(c)); }

// One float per picture pixel, index 192 * y + x.
using FloatPlane = std::array<float, PixelCount>;

struct LabPlanes {
  FloatPlane L{}, a{}, b{};
};

// The seven weights of the Gaussian of sigma 1 pixel (radius 3), normalised to sum 1.
const std::array<float, 7>& BlurWeights();

// Separable Gaussian blur of sigma 1 over a 192 x 200 plane; pixels beyond an edge repeat
// the edge pixel, so a flat plane stays flat. `scratch` holds the horizontal pass; `in` and
// `out` may be the same plane.
void BlurPlane(const FloatPlane& in, FloatPlane& out, FloatPlane& scratch);

// Lab planes of 200 rows of 192 PackedRGB words, `stride` words apart.
void ToLabPlanes(const PackedRGB* words, int stride, LabPlanes& out);

// The three planes blurred in place.
void BlurLabPlanes(LabPlanes& planes, FloatPlane& scratch);

// Mean CIE76 difference (Euclidean distance in CIELAB) between two sets of planes.
double MeanDeltaE(const LabPlanes& first, const LabPlanes& second);

// The CIE76 differences along one row of `width` pixels (a multiple of 4) of two pictures'
// L, a and b values, in four running sums, one per pixel column modulo 4, for the caller to
// add up in a fixed order.
std::array<float, 4> RowDeltaE(const float* firstL, const float* firstA, const float* firstB,
                               const float* secondL, const float* secondA, const float* secondB,
                               int width);

// The blurred measure: mean CIE76 difference between source and preview after both are
// blurred (sigma 1); it takes any pattern whose local mean is right for the colour itself. `source`
// holds 192 words per row (the Image1 surface); `preview` rows are `previewStride` words apart
// (PreviewBitmap). Allocates its working planes.
double PerceivedError(const PackedRGB* source, const PackedRGB* preview, int previewStride);

// Mean over the pixels of |L(frame 1 colour) - L(frame 2 colour)|: how much the interlace
// flickers, from the layer bits and the roles that colour them, in the model's palette.
double InterlaceFlicker(const LayerPlanes& layers, const ColourRoleSet& roles,
                        const ColourModel& model = DefaultColourModel);
// The same with each cell's own background and bitmap colours (the roles give the sprites').
double InterlaceFlicker(const LayerPlanes& layers, const ColourRoleSet& roles,
                        const CellColours& cells, const ColourModel& model = DefaultColourModel);

}  // namespace vantrel
