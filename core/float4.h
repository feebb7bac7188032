// Four floats side by side. The compiler maps the arithmetic onto the processor's vector unit
// (SSE on x86-64, NEON on ARM) or onto plain code where there is none: one code path for every
// processor, giving the bits that the same operations one float at a time give.
#pragma once

#include <cmath>
#include <cstring>

namespace vantrel {

using Float4 = float __attribute__((vector_size(16)));

inline Float4 Load4(const float* p) {
  Float4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline void Store4(float* p, Float4 v) { std::memcpy(p, &v, sizeof v); }

inline Float4 Splat4(float x) { return Float4{x, x, x, x}; }

inline Float4 Sqrt4(Float4 v) {
  return Float4{std::sqrt(v[0]), std::sqrt(v[1]), std::sqrt(v[2]), std::sqrt(v[3])};
}

}  // namespace vantrel
