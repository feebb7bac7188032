// The whole library path from JPEG file to layer bits and preview, against digests that an
// independent model produced from the same file.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "convert/reference_digests.h"
#include "convert/sha256.h"
#include "session/session.h"

namespace vantrel {
namespace {

using reference::ConversionDigest;
using testing_support::Sha256Hex;

class ReferenceDigestTest : public ::testing::TestWithParam<ConversionDigest> {};

TEST_P(ReferenceDigestTest, AstronautConvertsToTheReferenceDigests) {
  const ConversionDigest& d = GetParam();
  Session session;
  session.OpenFile(VANTREL_TEST_DATA "/astronaut.jpg");
  session.ReadSourceWindow(0, 0);
  session.SetColourRoles({d.roles[0], d.roles[1], d.roles[2], d.roles[3], d.roles[4]});
  session.Reconvert({d.redOffset, d.greenOffset, d.blueOffset, DitheringOf(d.dither)});
  const ConverterState* state = &session.State();

  std::vector<std::uint8_t> layers;
  for (const Plane* plane : {&state->LayerBits.Bitmap1Bits, &state->LayerBits.Sprite1Bits,
                             &state->LayerBits.Bitmap2Bits, &state->LayerBits.Sprite2Bits}) {
    layers.insert(layers.end(), plane->begin(), plane->end());
  }
  std::vector<std::uint8_t> preview;
  for (int y = 0; y < WindowHeight; ++y) {
    const std::uint32_t* row = state->PreviewBitmap.ScanLine(y);
    for (int x = 0; x < WindowWidth; ++x) {
      preview.push_back(static_cast<std::uint8_t>(row[x] >> 16));
      preview.push_back(static_cast<std::uint8_t>(row[x] >> 8));
      preview.push_back(static_cast<std::uint8_t>(row[x]));
    }
  }
  EXPECT_EQ(Sha256Hex(layers), d.layers);
  EXPECT_EQ(Sha256Hex(preview), d.preview);
}

INSTANTIATE_TEST_SUITE_P(Astronaut, ReferenceDigestTest,
                         ::testing::Values(reference::kAstronautDefault, reference::kAstronautPlain,
                                           reference::kAstronautAdjusted,
                                           reference::kAstronautAdjustedPlain));

}  // namespace
}  // namespace vantrel
