// Layer bits drawn at random, the same for the same seed: a picture no conversion would make,
// for tests of how pictures are stored and read back.
#pragma once

#include <random>

#include "core/types.h"

namespace testsupport {

inline vantrel::LayerPlanes RandomLayers(unsigned seed) {
  std::mt19937 rng(seed);
  vantrel::LayerPlanes layers;
  for (vantrel::Plane* plane :
       {&layers.Bitmap1Bits, &layers.Sprite1Bits, &layers.Bitmap2Bits, &layers.Sprite2Bits}) {
    for (std::uint8_t& bit : *plane) bit = rng() & 1;
  }
  return layers;
}

}  // namespace testsupport
