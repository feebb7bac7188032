// BMP through stb_image, built here with its BMP reader alone.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#include <stb/stb_image.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "picture/orientation.h"
#include "picture/picture_decoders.h"

namespace vantrel {
namespace {

struct StbFree {
  void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};

}  // namespace

int DecodeBmp(const EncodedPicture& file, Bitmap32& picture) {
  if (file.size > INT_MAX) ThrowUnreadable(PictureFormat::kBmp, file.name, "file too large");
  const int length = static_cast<int>(file.size);
  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_memory(file.bytes, length, &width, &height, &channels)) {
    ThrowUnreadable(PictureFormat::kBmp, file.name, stbi_failure_reason());
  }
  height = std::abs(height);  // top-down files declare a negative height
  CheckDeclaredSize(PictureFormat::kBmp, file, width, height);
  Bitmap32 decoded(width, height);
  std::unique_ptr<stbi_uc, StbFree> pixels(
      stbi_load_from_memory(file.bytes, length, &width, &height, &channels, 4));
  if (!pixels) {
    if (std::strcmp(stbi_failure_reason(), "outofmem") == 0) throw std::bad_alloc();
    ThrowUnreadable(PictureFormat::kBmp, file.name, stbi_failure_reason());
  }
  if (width != decoded.Width() || height != decoded.Height()) {
    ThrowUnreadable(PictureFormat::kBmp, file.name, "inconsistent size");
  }
  // stb_image delivers R, G, B, A bytes; an all-zero alpha channel it already made opaque.
  for (int y = 0; y < height; ++y) {
    RgbaRowOverBlack(pixels.get() + static_cast<std::size_t>(y) * width * 4, decoded.ScanLine(y),
                     width);
  }
  picture.Swap(decoded);
  return kUpright;
}

}  // namespace vantrel
