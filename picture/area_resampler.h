// Scaling in linear light by area averaging: each pixel of the result is the mean, in
// linear light, of the source area it covers (weighted by how much of each source pixel
// it covers). Upscaling by a whole factor repeats pixels; other upscales blend the two
// source pixels an edge falls between.
//
// All weights are whole numbers and all sums integers, so a pixel of the result depends
// only on the source and its own position: any window of a scaled picture comes out the
// same whichever part of it is drawn and on whichever machine.
#pragma once

#include <cstdint>

#include "core/bitmap32.h"
#include "core/view_surface.h"

namespace vantrel {

// sRGB byte to linear light in 0..65535, and back (rounded in sRGB). Back(Linear(c)) == c.
std::uint16_t LinearFromSrgb(std::uint8_t value);
std::uint8_t SrgbFromLinear(std::uint16_t value);

// The picture at 1/reduction of its size, each side ceil(side / reduction): each pixel the
// linear-light mean of the reduction x reduction block it stands for (fewer pixels at the
// right and bottom edges). May throw std::bad_alloc.
Bitmap32 ReduceInLinearLight(const Bitmap32& picture, int reduction);

// Draws a width x height picture scaled to `percent` into `surface` with the scaled
// picture's top-left corner at (x, y), clipped to the surface; pixels it does not cover
// keep their value. `level` is that picture at 1/reduction of its size (each side
// ceil(side / reduction), pixel i standing for source pixels i * reduction up to
// (i + 1) * reduction). The scaled picture is ScaledLength(width) x ScaledLength(height).
void DrawScaledPicture(const Bitmap32& level, int reduction, int width, int height, int percent,
                       int x, int y, ViewSurface& surface);

}  // namespace vantrel
