// Eight floats side by side, for the loops that run in every search step. Where the processor
// has AVX2, functions marked VANTREL_WIDE_CLONES run them eight to an instruction; the
// operations and their order are the same either way (no fused multiply-add), so both give the
// same bits.
#pragma once

#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define VANTREL_WIDE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VANTREL_WIDE_CLONES
#endif

// The vectors are inlined into those functions only, so the ABI of passing a 32-byte vector
// without AVX never matters.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace vantrel {

using Float8 = float __attribute__((vector_size(32)));

inline Float8 Load8(const float* p) {
  Float8 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline void Store8(float* p, Float8 v) { std::memcpy(p, &v, sizeof v); }

inline Float8 Splat8(float x) { return Float8{x, x, x, x, x, x, x, x}; }

}  // namespace vantrel
