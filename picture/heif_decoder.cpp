// HEIC and AVIF through libheif (libde265 and dav1d/aom underneath): the primary picture,
// already turned upright by libheif from the container's rotation and mirror boxes.
//
// libheif and its codecs are loaded when the first HEIF file is opened, not at start-up:
// linking them costs every run of the short-lived command line 3 ms or more, most of the
// time for no HEIF file at all.
#include <libheif/heif.h>

#include <memory>
#include <new>

#include "picture/orientation.h"
#include "picture/picture_decoders.h"
#include "picture/shared_library.h"

namespace vantrel {
namespace {

struct HeifLibrary {
  decltype(&heif_context_alloc) context_alloc;
  decltype(&heif_context_free) context_free;
  decltype(&heif_context_set_max_decoding_threads) set_max_decoding_threads;
  decltype(&heif_context_read_from_memory_without_copy) read_from_memory_without_copy;
  decltype(&heif_context_get_primary_image_handle) get_primary_image_handle;
  decltype(&heif_image_handle_get_width) handle_get_width;
  decltype(&heif_image_handle_get_height) handle_get_height;
  decltype(&heif_image_handle_release) handle_release;
  decltype(&heif_decode_image) decode_image;
  decltype(&heif_image_get_width) image_get_width;
  decltype(&heif_image_get_height) image_get_height;
  decltype(&heif_image_get_plane_readonly) get_plane_readonly;
  decltype(&heif_image_release) image_release;
};

// The library's functions, or nullptr when it is not installed. Loaded once, kept loaded.
const HeifLibrary* Heif() {
  static const HeifLibrary* const library = []() -> const HeifLibrary* {
    void* handle = OpenSharedLibrary(VANTREL_HEIF_SONAME);
    if (handle == nullptr) return nullptr;
    static HeifLibrary functions;
    bool complete = true;
    auto bind = [&](auto& function, const char* name) {
      complete = BindFunction(handle, function, name) && complete;
    };
    bind(functions.context_alloc, "heif_context_alloc");
    bind(functions.context_free, "heif_context_free");
    bind(functions.set_max_decoding_threads, "heif_context_set_max_decoding_threads");
    bind(functions.read_from_memory_without_copy, "heif_context_read_from_memory_without_copy");
    bind(functions.get_primary_image_handle, "heif_context_get_primary_image_handle");
    bind(functions.handle_get_width, "heif_image_handle_get_width");
    bind(functions.handle_get_height, "heif_image_handle_get_height");
    bind(functions.handle_release, "heif_image_handle_release");
    bind(functions.decode_image, "heif_decode_image");
    bind(functions.image_get_width, "heif_image_get_width");
    bind(functions.image_get_height, "heif_image_get_height");
    bind(functions.get_plane_readonly, "heif_image_get_plane_readonly");
    bind(functions.image_release, "heif_image_release");
    return complete ? &functions : nullptr;
  }();
  return library;
}

struct ContextFree {
  void operator()(heif_context* context) const { Heif()->context_free(context); }
};
struct HandleRelease {
  void operator()(const heif_image_handle* handle) const { Heif()->handle_release(handle); }
};
struct ImageRelease {
  void operator()(const heif_image* image) const { Heif()->image_release(image); }
};

// libheif also reports damaged files as allocation errors ("security limit exceeded"), so
// its words are passed on as they are; only our own allocation failing is out of memory.
void Check(const heif_error& error, const EncodedPicture& file) {
  if (error.code == heif_error_Ok) return;
  ThrowUnreadable(PictureFormat::kHeif, file.name,
                  error.message && *error.message ? error.message : Text(Message::kDamagedFile));
}

}  // namespace

int DecodeHeif(const EncodedPicture& file, Bitmap32& picture) {
  const HeifLibrary* heif = Heif();
  if (heif == nullptr) {
    ThrowUnreadable(PictureFormat::kHeif, file.name,
                    Text(Message::kSupportNotInstalled, "HEIF", "libheif"));
  }
  std::unique_ptr<heif_context, ContextFree> context(heif->context_alloc());
  if (!context) throw std::bad_alloc();
  heif->set_max_decoding_threads(context.get(), 0);
  Check(heif->read_from_memory_without_copy(context.get(), file.bytes, file.size, nullptr), file);
  heif_image_handle* rawHandle = nullptr;
  Check(heif->get_primary_image_handle(context.get(), &rawHandle), file);
  std::unique_ptr<const heif_image_handle, HandleRelease> handle(rawHandle);
  CheckDeclaredSize(PictureFormat::kHeif, file, heif->handle_get_width(handle.get()),
                    heif->handle_get_height(handle.get()));

  heif_image* rawImage = nullptr;
  Check(heif->decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                           heif_chroma_interleaved_RGBA, nullptr),
        file);
  std::unique_ptr<const heif_image, ImageRelease> image(rawImage);
  const int width = heif->image_get_width(image.get(), heif_channel_interleaved);
  const int height = heif->image_get_height(image.get(), heif_channel_interleaved);
  CheckDeclaredSize(PictureFormat::kHeif, file, width, height);
  int stride = 0;
  const std::uint8_t* plane =
      heif->get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  if (plane == nullptr || stride < 4 * width) {
    ThrowUnreadable(PictureFormat::kHeif, file.name, Text(Message::kNoPictureData));
  }

  Bitmap32 decoded(width, height);
  for (int y = 0; y < height; ++y) {
    RgbaRowOverBlack(plane + static_cast<std::size_t>(y) * stride, decoded.ScanLine(y), width);
  }
  picture.Swap(decoded);
  return kUpright;
}

}  // namespace vantrel
