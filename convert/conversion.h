// The conversion pass: the adjusted crop in Image1 becomes LayerBits (what the C64 shows)
// and the preview in PreviewBitmap.
#pragma once

#include "convert/dithering.h"
#include "convert/kernels.h"
#include "core/converter_state.h"
#include "core/progress.h"

namespace vantrel {

// Reads Image1 into WorkPlanes, chooses every pixel's mix colour (with `dithering`: the
// nearest one; Floyd-Steinberg, the nearest with each error spread 7/3/5/1 sixteenths over
// the neighbours; low flicker, see DiffuseLowFlicker) among its own cell's nine mixes when the
// state has colours per cell (CellTable), else among MixTable's, sets LayerBits from the choices,
// leaves the mix colours in WorkPlanes and writes them into columns 0..191 of PreviewBitmap, then
// lays the state's PixelEdits over LayerBits and the preview (ApplyEdits), if any. Reports
// rows 0..199 once for each of the first three passes and leaves resetting the progress
// display to the caller.
//
// Does nothing at all while no picture is loaded. PreviewBitmap must be at least 192 x 200
// (as the state is made); a smaller one is refused with std::logic_error before anything
// changes.
void ConvertPicture(ConverterState& state, Dithering dithering, ProgressSink* progress,
                    const ConversionKernels& kernels = ActiveKernels());

// LayerBits anew: the last conversion's layers (ConvertedLayers) with PixelEdits over them,
// and the preview painted from them (PaintPreviewFromLayers).
void ApplyEdits(ConverterState& state);

// The MixCode pixel i shows: the mix of what frame 1 and frame 2 show there (a set sprite
// pixel covers the bitmap, a set bitmap pixel the background).
int MixCodeShown(const LayerPlanes& layers, int i);

// The role (0 background, 1 bitmap 1, 2 sprite 1, 3 bitmap 2, 4 sprite 2) that frame `frame`
// (1 or 2) alone shows at pixel i: a set sprite pixel covers the bitmap, a set bitmap pixel the
// background. The two frames' colours at a pixel mix into the colour of MixCodeShown.
int RoleShownInFrame(const LayerPlanes& layers, int i, int frame);

// Writes the preview anew from LayerBits and the current MixTable (each cell's mixes with
// colours per cell): each pixel shows the mix of
// what the two frames show there (a set sprite pixel covers the bitmap, a set bitmap pixel
// the background). After a conversion this is the preview it drew; after a change of the
// roles it is what a save of that moment holds. Does nothing while no picture is loaded.
void PaintPreviewFromLayers(ConverterState& state);

// The nine mixes that colour pixel (x, y): its cell's with colours per cell, else MixTable.
const MixSlots& MixTableAt(const ConverterState& state, int x, int y);

// The colour frame `frame` (1 or 2) alone shows at pixel (x, y) of LayerBits, in the state's
// palette: its cell's background or bitmap colour with colours per cell, else the role's; the
// sprite colours are the roles'.
TColor FrameColourAt(const ConverterState& state, int x, int y, int frame);

}  // namespace vantrel
