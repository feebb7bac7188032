// HEIC and AVIF through libheif (libde265 and dav1d/aom underneath): the primary picture,
// already turned upright by libheif from the container's rotation and mirror boxes.
#include <libheif/heif.h>

#include <memory>
#include <new>

#include "picture/orientation.h"
#include "picture/picture_decoders.h"

namespace vantrel {
namespace {

struct ContextFree {
  void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleRelease {
  void operator()(const heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageRelease {
  void operator()(const heif_image* image) const { heif_image_release(image); }
};

// libheif also reports damaged files as allocation errors ("security limit exceeded"), so
// its words are passed on as they are; only our own allocation failing is out of memory.
void Check(const heif_error& error, const EncodedPicture& file) {
  if (error.code == heif_error_Ok) return;
  ThrowUnreadable(PictureFormat::kHeif, file.name,
                  error.message && *error.message ? error.message : "damaged file");
}

}  // namespace

int DecodeHeif(const EncodedPicture& file, Bitmap32& picture) {
  std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
  if (!context) throw std::bad_alloc();
  heif_context_set_max_decoding_threads(context.get(), 0);
  Check(heif_context_read_from_memory_without_copy(context.get(), file.bytes, file.size, nullptr),
        file);
  heif_image_handle* rawHandle = nullptr;
  Check(heif_context_get_primary_image_handle(context.get(), &rawHandle), file);
  std::unique_ptr<const heif_image_handle, HandleRelease> handle(rawHandle);
  CheckDeclaredSize(PictureFormat::kHeif, file, heif_image_handle_get_width(handle.get()),
                    heif_image_handle_get_height(handle.get()));

  heif_image* rawImage = nullptr;
  Check(heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                          heif_chroma_interleaved_RGBA, nullptr),
        file);
  std::unique_ptr<const heif_image, ImageRelease> image(rawImage);
  const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
  const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
  CheckDeclaredSize(PictureFormat::kHeif, file, width, height);
  int stride = 0;
  const std::uint8_t* plane =
      heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  if (plane == nullptr || stride < 4 * width) {
    ThrowUnreadable(PictureFormat::kHeif, file.name, "no picture data");
  }

  Bitmap32 decoded(width, height);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* source = plane + static_cast<std::size_t>(y) * stride;
    std::uint32_t* row = decoded.ScanLine(y);
    for (int x = 0; x < width; ++x, source += 4) {
      row[x] = OverBlack(std::uint32_t{source[3]} << 24 | std::uint32_t{source[0]} << 16 |
                         std::uint32_t{source[1]} << 8 | source[2]);
    }
  }
  picture.Swap(decoded);
  return kUpright;
}

}  // namespace vantrel
