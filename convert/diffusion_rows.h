// What every diffusion kernel does the same way between two rows: the errors a row leaves
// for the next ones, and the shares that wrap around the side edges.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "core/types.h"

namespace vantrel::diffusion {

inline int Clamp255(int v) { return std::clamp(v, 0, 255); }

// (v - m) / 16, truncated toward zero.
inline int Error(int v, int m) { return (v - m) / 16; }

// Errors of one row per channel at index x + 1, with a zero on each side so that the below
// shares need no edge tests, and room behind for sixteen-byte stores.
struct RowErrors {
  alignas(16) std::array<std::int8_t, WindowWidth + 2 + 16> red{}, green{}, blue{};
};
static_assert(WindowWidth % 16 == 0, "vector kernels take rows sixteen pixels at a time");

// Adds the row's below-left, below and below-right shares to the next row, in the order the
// pixels of the row sent them: target x gets e(x - 1), then 5 e(x), then 3 e(x + 1), each
// clamped on its own. The first pixel's below-left share stays in its own row and is made
// at that pixel's turn; the last pixel's below-right share goes two rows down.
inline void AddBelowShares(std::uint8_t* next, const std::int8_t* e, std::uint8_t* twoDown) {
  for (int x = 0; x < WindowWidth; ++x) {
    int v = Clamp255(next[x] + e[x]);
    v = Clamp255(v + 5 * e[x + 1]);
    next[x] = static_cast<std::uint8_t>(Clamp255(v + 3 * e[x + 2]));
  }
  if (twoDown) *twoDown = static_cast<std::uint8_t>(Clamp255(*twoDown + e[WindowWidth]));
}

// The below shares of row `y` (through `AddBelow`, which a kernel may replace with a faster
// equal; a template argument, so the call is direct and may be inlined), then the right share
// of its last pixel, which wraps to the first pixel of the next row and must come after the
// shares that pixel gets from above. Returns false after the last row, whose lower shares fall
// below the picture.
template <auto AddBelow>
[[gnu::always_inline]] inline bool FinishRow(ColourPlanes& work, const RowErrors& e, int y) {
  const int next = (y + 1) * WindowWidth;
  if (next >= PixelCount) return false;
  const bool twoDown = next + WindowWidth < PixelCount;
  std::uint8_t* planes[] = {work.red.data(), work.green.data(), work.blue.data()};
  const std::int8_t* errors[] = {e.red.data(), e.green.data(), e.blue.data()};
  for (int c = 0; c < 3; ++c) {
    std::uint8_t* p = planes[c];
    AddBelow(p + next, errors[c], twoDown ? p + next + WindowWidth : nullptr);
    p[next] = static_cast<std::uint8_t>(Clamp255(p[next] + 7 * errors[c][WindowWidth]));
  }
  return true;
}

// The first pixel's below-left share lands on the last pixel of its own row.
inline void AddWrappedShare(ColourPlanes& work, const RowErrors& e, int row) {
  const int last = row + WindowWidth - 1;
  work.red[last] = static_cast<std::uint8_t>(Clamp255(work.red[last] + 3 * e.red[1]));
  work.green[last] = static_cast<std::uint8_t>(Clamp255(work.green[last] + 3 * e.green[1]));
  work.blue[last] = static_cast<std::uint8_t>(Clamp255(work.blue[last] + 3 * e.blue[1]));
}

// What pass 3 writes for each MixCode (index 0 unused): the four layer bits and the mix colour.
struct CodeTables {
  alignas(16) std::array<std::uint8_t, 16> bitmap1{}, sprite1{}, bitmap2{}, sprite2{};
  alignas(16) std::array<std::uint8_t, 16> red{}, green{}, blue{};
};

inline CodeTables MakeCodeTables(const MixSlots& mixTable) {
  //                                       code: 1  2  3  4  5  6  7  8  9
  static constexpr std::uint8_t kBitmap1[10] = {0, 0, 1, 1, 0, 0, 1, 1, 0, 0};
  static constexpr std::uint8_t kSprite1[10] = {0, 0, 0, 1, 0, 0, 0, 0, 1, 1};
  static constexpr std::uint8_t kBitmap2[10] = {0, 0, 0, 0, 1, 0, 1, 0, 1, 0};
  static constexpr std::uint8_t kSprite2[10] = {0, 0, 0, 0, 0, 1, 0, 1, 0, 1};
  CodeTables t;
  for (int code = 1; code <= 9; ++code) {
    t.bitmap1[code] = kBitmap1[code];
    t.sprite1[code] = kSprite1[code];
    t.bitmap2[code] = kBitmap2[code];
    t.sprite2[code] = kSprite2[code];
    t.red[code] = RedOf(mixTable[code - 1]);
    t.green[code] = GreenOf(mixTable[code - 1]);
    t.blue[code] = BlueOf(mixTable[code - 1]);
  }
  return t;
}

}  // namespace vantrel::diffusion
