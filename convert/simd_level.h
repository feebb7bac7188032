// Which vector instructions the conversion may use. Every level gives identical results;
// the choice only changes the speed.
#pragma once

namespace vantrel {

enum class SimdLevel {
  Portable,  // plain C++ (SSE2 where the compiler targets it anyway)
  Sse41,     // SSSE3 byte shuffles and SSE4.1 minimum search, checked at run time
};

bool SimdLevelAvailable(SimdLevel level);

// The highest level this processor runs, found once.
SimdLevel FastestSimdLevel();

}  // namespace vantrel
