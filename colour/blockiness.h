// Blockiness: whether a converted picture shows its 8 x 8 cells. Cells that each chose their
// own colours can each match the photo on average and still meet their neighbours with a step
// the photo does not have: 8-pixel blocks on a smooth sky. The measure asks how much more the
// picture's error, as the eye sees it, changes across cell borders than inside cells.
//
// Both pictures go through S-CIELAB's eye at 24 pixels per degree (BlockinessPixelsPerDegree;
// ScielabEye: the opponent channels blurred by the eye's point spread, then CIELAB); e(x, y) is
// the picture's L* there minus the photo's. Over every pair of horizontally or vertically
// adjacent pixels p, q of the 192 x 200 window, d = |e(p) - e(q)|. Pairs that straddle a cell
// border (x = 8k - 1 and 8k, or y = 8k - 1 and 8k) are border pairs, all others inside pairs;
// the measure is
//
//   blockiness = mean d over the border pairs / mean d over the inside pairs.
//
// 1.0: the error changes as much between cells as within them, no cell structure (a
// conversion with one set of roles for the whole picture measures about that, give or take
// its dither's chance alignments); above 1, the cells show. A picture equal to the photo
// has no error at all and measures 1.
#pragma once

#include "colour/scielab.h"
#include "core/types.h"

namespace vantrel {

// The distance the measure is taken from: 24 pixels per degree, where the dither's grain has
// faded more than the cells' steps have.
inline constexpr double BlockinessPixelsPerDegree = FarPixelsPerDegree;

// `source` and `preview`: 200 rows of 192 PackedRGB words, `sourceStride` and `previewStride`
// words apart. Allocates its working planes.
double Blockiness(const PackedRGB* source, int sourceStride, const PackedRGB* preview,
                  int previewStride, double pixelsPerDegree = BlockinessPixelsPerDegree);

// The same from both pictures already seen by the eye (ScielabEye::Perceive), L* in plane 0.
double Blockiness(const FloatPicture& source, const FloatPicture& preview);

// The same from e itself: `width` x `height` values, row after row.
double BlockinessOfError(const float* error, int width, int height);

}  // namespace vantrel
