// The classification pass of the conversion on its own, for callers that score many role sets
// on one window: every pixel's mix code, with or without Floyd-Steinberg diffusion.
#pragma once

#include "convert/kernels.h"
#include "core/progress.h"
#include "core/types.h"

namespace vantrel {

// With `dither`, the diffusion pass of the active kernels (see ConversionKernels::diffuse):
// WorkPlanes end holding the diffused working colours. Without it, the plain nearest codes;
// WorkPlanes stay as they are.
void DiffuseErrors(ColourPlanes& work, const MixSlots& mixTable, bool dither, MixCodes& codes,
                   ProgressSink* progress, const ConversionKernels& kernels = ActiveKernels());
// The same with each pixel's own cell's nine mixes.
void DiffuseErrorsCells(ColourPlanes& work, const CellMixSlots& tables, bool dither,
                        MixCodes& codes, ProgressSink* progress,
                        const ConversionKernels& kernels = ActiveKernels());

}  // namespace vantrel
