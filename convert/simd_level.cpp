#include "convert/simd_level.h"

namespace vantrel {

bool SimdLevelAvailable(SimdLevel level) {
  switch (level) {
    case SimdLevel::Portable:
      return true;
    case SimdLevel::Sse41:
#if defined(__x86_64__) || defined(__i386__)
      return __builtin_cpu_supports("sse4.1");
#else
      return false;
#endif
  }
  return false;
}

SimdLevel FastestSimdLevel() {
  static const SimdLevel fastest =
      SimdLevelAvailable(SimdLevel::Sse41) ? SimdLevel::Sse41 : SimdLevel::Portable;
  return fastest;
}

}  // namespace vantrel
