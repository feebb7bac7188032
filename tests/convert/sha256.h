// SHA-256 through nettle (the library the project files' photo digests use), for comparing
// converted planes with digests made elsewhere.
#pragma once

#include <nettle/sha2.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::testing_support {

class Sha256 {
 public:
  Sha256() { sha256_init(&context_); }

  void Update(const std::uint8_t* data, std::size_t size) { sha256_update(&context_, size, data); }

  // Hex digest, lower case; the object starts again afterwards.
  std::string HexDigest() {
    std::uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context_, sizeof digest, digest);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint8_t byte : digest) {
      hex += kHex[byte >> 4];
      hex += kHex[byte & 0x0F];
    }
    return hex;
  }

 private:
  sha256_ctx context_;
};

inline std::string Sha256Hex(const std::vector<std::uint8_t>& bytes) {
  Sha256 hash;
  hash.Update(bytes.data(), bytes.size());
  return hash.HexDigest();
}

}  // namespace vantrel::testing_support
