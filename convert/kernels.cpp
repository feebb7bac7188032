// The one place that decides which kernels run, as libjpeg-turbo's jsimd_can_* checks do:
// once, on first use, from what the processor reports.
#include "convert/kernels.h"

namespace vantrel {

#if defined(VANTREL_X86_KERNELS)
const ConversionKernels& X86Kernels();  // convert/kernels_x86.cpp, built for x86 only
#endif

std::vector<const ConversionKernels*> AvailableKernels() {
  std::vector<const ConversionKernels*> sets = {&PortableKernels()};
#if defined(VANTREL_X86_KERNELS)
  if (__builtin_cpu_supports("sse4.1")) sets.push_back(&X86Kernels());
#endif
  return sets;
}

const ConversionKernels& ActiveKernels() {
  static const ConversionKernels& active = *AvailableKernels().back();
  return active;
}

}  // namespace vantrel
