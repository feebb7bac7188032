// Mix codes of a whole window, plain or with Floyd-Steinberg diffusion, for the role search.
#include "convert/error_diffusion.h"

namespace vantrel {

void DiffuseErrors(ColourPlanes& work, const MixSlots& mixTable, bool dither, MixCodes& codes,
                   ProgressSink* progress, const ConversionKernels& kernels) {
  if (dither) {
    kernels.diffuse(work, mixTable, codes, progress);
  } else {
    kernels.classify(work, mixTable, codes, progress);
  }
}

void DiffuseErrorsCells(ColourPlanes& work, const CellMixSlots& tables, bool dither,
                        MixCodes& codes, ProgressSink* progress, const ConversionKernels& kernels) {
  if (dither) {
    kernels.diffuseCells(work, tables, codes, progress);
  } else {
    kernels.classifyCells(work, tables, codes, progress);
  }
}

}  // namespace vantrel
