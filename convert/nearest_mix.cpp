// The nearest-mix rule written plainly: the reference every kernel set matches.
#include "convert/nearest_mix.h"

namespace vantrel {

TColor NearestMix(const MixSlots& mixTable, PackedRGB colour, std::int32_t& lastMixCode) {
  const int code =
      NearestMixCode(mixTable, (colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
  lastMixCode = code;
  return mixTable[code - 1];
}

}  // namespace vantrel
