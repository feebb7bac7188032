// SHA-256 against published test vectors.
#include "sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel::testing_support {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// Published test vectors, including the two lengths around the padding boundary.
TEST(Sha256Test, KnownDigests) {
  struct Case {
    std::vector<std::uint8_t> input;
    const char* digest;
  };
  const Case cases[] = {
      {Bytes(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {Bytes("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {Bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::vector<std::uint8_t>(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      {std::vector<std::uint8_t>(55, 0),
       "02779466cdec163811d078815c633f21901413081449002f24aa3e80f0b88ef7"},
      {std::vector<std::uint8_t>(56, 0),
       "d4817aa5497628e7c77e6b606107042bbba3130888c5f47a375e6179be789fbb"},
  };
  for (const Case& c : cases) EXPECT_EQ(Sha256Hex(c.input), c.digest) << c.input.size();
}

}  // namespace
}  // namespace vantrel::testing_support
