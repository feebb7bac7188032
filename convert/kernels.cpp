// The one place that decides which kernels run, as libjpeg-turbo's jsimd_can_* checks do:
// once, on first use, from what the processor reports and VANTREL_KERNELS asks for.
#include "convert/kernels.h"

#include <cstdlib>
#include <cstring>

namespace vantrel {

#if defined(VANTREL_X86_KERNELS)
// Built for x86 only: convert/kernels_x86.cpp and convert/kernels_avx2.cpp.
const ConversionKernels& X86Kernels();
const ConversionKernels& Avx2Kernels();
#endif

std::vector<const ConversionKernels*> AvailableKernels() {
  std::vector<const ConversionKernels*> sets = {&PortableKernels()};
#if defined(VANTREL_X86_KERNELS)
  if (__builtin_cpu_supports("sse4.1")) sets.push_back(&X86Kernels());
  if (__builtin_cpu_supports("sse4.1") && __builtin_cpu_supports("avx2")) {
    sets.push_back(&Avx2Kernels());
  }
#endif
  return sets;
}

const ConversionKernels& ChooseKernels(const std::vector<const ConversionKernels*>& available,
                                       const char* wanted) {
  if (wanted != nullptr) {
    for (const ConversionKernels* kernels : available) {
      if (std::strcmp(kernels->name, wanted) == 0) return *kernels;
    }
  }
  return *available.back();
}

const ConversionKernels& ActiveKernels() {
  static const ConversionKernels& active =
      ChooseKernels(AvailableKernels(), std::getenv("VANTREL_KERNELS"));
  return active;
}

}  // namespace vantrel
