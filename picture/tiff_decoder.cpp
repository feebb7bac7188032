// TIFF through libtiff's RGBA interface: the first page, any bit depth, palette, grey,
// YCbCr, CMYK (naive ink conversion) and alpha; 16-bit samples keep their high byte.
//
// libtiff and its five compression libraries are loaded when the first TIFF file is
// opened: loading them at start-up costs each command-line run about 1 ms.
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "picture/orientation.h"
#include "picture/picture_decoders.h"
#include "picture/shared_library.h"

namespace vantrel {
namespace {

struct TiffLibrary {
  decltype(&TIFFOpenOptionsAlloc) OpenOptionsAlloc;
  decltype(&TIFFOpenOptionsFree) OpenOptionsFree;
  decltype(&TIFFOpenOptionsSetMaxSingleMemAlloc) OpenOptionsSetMaxSingleMemAlloc;
  decltype(&TIFFOpenOptionsSetErrorHandlerExtR) OpenOptionsSetErrorHandlerExtR;
  decltype(&TIFFOpenOptionsSetWarningHandlerExtR) OpenOptionsSetWarningHandlerExtR;
  decltype(&TIFFClientOpenExt) ClientOpenExt;
  decltype(&TIFFClose) Close;
  decltype(&TIFFGetField) GetField;
  decltype(&TIFFGetFieldDefaulted) GetFieldDefaulted;
  decltype(&TIFFRGBAImageOK) RGBAImageOK;
  decltype(&TIFFReadRGBAImageOriented) ReadRGBAImageOriented;
};

// The library's functions, or nullptr when it is not installed. Loaded once, kept loaded.
const TiffLibrary* Tiff() {
  static const TiffLibrary* const library = []() -> const TiffLibrary* {
    void* handle = OpenSharedLibrary(VANTREL_TIFF_SONAME);
    if (handle == nullptr) return nullptr;
    static TiffLibrary f;
    const bool complete =
        BindFunction(handle, f.OpenOptionsAlloc, "TIFFOpenOptionsAlloc") &&
        BindFunction(handle, f.OpenOptionsFree, "TIFFOpenOptionsFree") &&
        BindFunction(handle, f.OpenOptionsSetMaxSingleMemAlloc,
                     "TIFFOpenOptionsSetMaxSingleMemAlloc") &&
        BindFunction(handle, f.OpenOptionsSetErrorHandlerExtR,
                     "TIFFOpenOptionsSetErrorHandlerExtR") &&
        BindFunction(handle, f.OpenOptionsSetWarningHandlerExtR,
                     "TIFFOpenOptionsSetWarningHandlerExtR") &&
        BindFunction(handle, f.ClientOpenExt, "TIFFClientOpenExt") &&
        BindFunction(handle, f.Close, "TIFFClose") &&
        BindFunction(handle, f.GetField, "TIFFGetField") &&
        BindFunction(handle, f.GetFieldDefaulted, "TIFFGetFieldDefaulted") &&
        BindFunction(handle, f.RGBAImageOK, "TIFFRGBAImageOK") &&
        BindFunction(handle, f.ReadRGBAImageOriented, "TIFFReadRGBAImageOriented");
    return complete ? &f : nullptr;
  }();
  return library;
}

// What libtiff's callbacks reach: the bytes and the first error it reported.
struct TiffSource {
  const std::uint8_t* bytes;
  std::size_t size;
  std::size_t position;
  char message[160];  // libtiff's own words, including about memory it could not get
};

tmsize_t Read(thandle_t handle, void* out, tmsize_t length) {
  auto* source = static_cast<TiffSource*>(handle);
  if (length < 0) return -1;
  const std::size_t count =
      std::min<std::size_t>(static_cast<std::size_t>(length), source->size - source->position);
  std::memcpy(out, source->bytes + source->position, count);
  source->position += count;
  return static_cast<tmsize_t>(count);
}

tmsize_t Write(thandle_t, void*, tmsize_t) { return -1; }

toff_t Seek(thandle_t handle, toff_t offset, int whence) {
  auto* source = static_cast<TiffSource*>(handle);
  toff_t base = 0;
  if (whence == SEEK_CUR) base = source->position;
  if (whence == SEEK_END) base = source->size;
  if (offset > source->size || base + offset > source->size) return static_cast<toff_t>(-1);
  source->position = static_cast<std::size_t>(base + offset);
  return source->position;
}

int Close(thandle_t) { return 0; }
toff_t Size(thandle_t handle) { return static_cast<TiffSource*>(handle)->size; }

int OnError(TIFF*, void* user, const char*, const char* format, va_list arguments) {
  auto* source = static_cast<TiffSource*>(user);
  if (source->message[0] == '\0') {
    std::vsnprintf(source->message, sizeof source->message, format, arguments);
  }
  return 1;  // handled: nothing is printed
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
  void operator()(TIFF* tiff) const { Tiff()->Close(tiff); }
};
struct OptionsFree {
  void operator()(TIFFOpenOptions* options) const { Tiff()->OpenOptionsFree(options); }
};

// No single allocation of libtiff's may exceed what a picture of the limit needs.
constexpr tmsize_t kMaxSingleAllocation = tmsize_t{1} << 30;

}  // namespace

int DecodeTiff(const EncodedPicture& file, Bitmap32& picture) {
  const TiffLibrary* tiffLibrary = Tiff();
  if (tiffLibrary == nullptr) {
    ThrowUnreadable(PictureFormat::kTiff, file.name,
                    Text(Message::kSupportNotInstalled, "TIFF", "libtiff"));
  }
  const TiffLibrary& lib = *tiffLibrary;
  TiffSource source{file.bytes, file.size, 0, {}};
  auto fail = [&source, &file](const std::string& fallback) {
    ThrowUnreadable(PictureFormat::kTiff, file.name,
                    source.message[0] != '\0' ? source.message : fallback);
  };
  std::unique_ptr<TIFFOpenOptions, OptionsFree> options(lib.OpenOptionsAlloc());
  if (!options) throw std::bad_alloc();
  lib.OpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxSingleAllocation);
  lib.OpenOptionsSetErrorHandlerExtR(options.get(), OnError, &source);
  lib.OpenOptionsSetWarningHandlerExtR(options.get(), OnWarning, &source);
  // "m": never map the bytes, they are read through the callbacks.
  std::unique_ptr<TIFF, TiffCloser> tiff(lib.ClientOpenExt(file.name.c_str(), "rm", &source, Read,
                                                           Write, Seek, Close, Size, nullptr,
                                                           nullptr, options.get()));
  if (!tiff) fail(Text(Message::kNotAReadableTiff));

  std::uint32_t width = 0, height = 0;
  std::uint16_t orientation = ORIENTATION_TOPLEFT;
  lib.GetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
  lib.GetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
  lib.GetFieldDefaulted(tiff.get(), TIFFTAG_ORIENTATION, &orientation);
  CheckDeclaredSize(PictureFormat::kTiff, file, width, height);
  char why[1024] = {};
  if (!lib.RGBAImageOK(tiff.get(), why)) fail(why);

  // libtiff writes every pixel when the whole picture reads; until then pages are only
  // taken as strips or tiles arrive, so a small file declaring a huge picture costs little.
  Bitmap32 decoded;
  decoded.SetSizeForOverwrite(static_cast<int>(width), static_cast<int>(height));
  // Asking for the file's own orientation makes libtiff deliver the rows as stored, top
  // row first; ApplyOrientation then turns every format upright the same way.
  if (!lib.ReadRGBAImageOriented(tiff.get(), width, height, decoded.Words(), orientation, 1)) {
    fail(Text(Message::kDamagedPictureData));
  }
  // libtiff packs A, B, G, R from the top byte down, with the colour premultiplied by
  // alpha: over black that colour is the result.
  const std::size_t count = std::size_t{width} * height;
  std::uint32_t* words = decoded.Words();
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t abgr = words[i];
    words[i] = (abgr & 0xFFu) << 16 | (abgr & 0xFF00u) | ((abgr >> 16) & 0xFFu);
  }
  picture.Swap(decoded);
  return orientation >= 1 && orientation <= 8 ? orientation : kUpright;
}

}  // namespace vantrel
