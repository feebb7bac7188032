// BMP: uncompressed and bit-field files through stb_image, built here with its BMP reader
// alone; RLE-compressed files, and the header kinds stb does not know or misreads, through
// gdk-pixbuf's BMP loader. The header is read here first, so that kinds neither library reads are
// named and a file whose pixel data is cut short is refused before the picture is allocated.
//
// gdk-pixbuf (and GLib under it) is loaded when the first such file is opened, not at
// start-up, like libtiff and libheif: most runs of the command line never meet one.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <stb/stb_image.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "picture/orientation.h"
#include "picture/picture_decoders.h"
#include "picture/shared_library.h"

namespace vantrel {
namespace {

// Compressions of the Windows headers; OS/2 2.x headers give 3 and 4 other meanings.
constexpr std::uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kJpeg = 4, kPng = 5,
                        kAlphaBitFields = 6, kCmyk = 11, kCmykRle8 = 12, kCmykRle4 = 13;

// RLE files of more pixels than this that leave nearly all of them undrawn are refused.
constexpr long long kSparsePixels = 1LL << 24;

std::uint32_t Little(const std::uint8_t* p, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

struct BmpHeader {
  std::uint32_t dataOffset = 0;  // where the pixel data starts
  std::uint32_t headerSize = 0;  // of the info header after the 14-byte file header
  long long width = 0;
  long long height = 0;  // rows, whichever way they are stored
  int bits = 0;          // per pixel
  std::uint32_t compression = kRgb;
  std::uint32_t colours = 0;  // palette entries the header declares; 0: all for `bits`
};

[[noreturn]] void Refuse(const EncodedPicture& file, const std::string& why) {
  ThrowUnreadable(PictureFormat::kBmp, file.name, why);
}

// The info header of every kind in use: OS/2 1.x (12 bytes), Windows 3 (40, with bit-field
// masks 52 and 56), 4 (108) and 5 (124), and OS/2 2.x (16 to 64). Kinds no library here
// reads are refused by name.
BmpHeader ReadHeader(const EncodedPicture& file) {
  const std::uint8_t* b = file.bytes;
  if (file.size < 18) Refuse(file, Text(Message::kEndsEarly));
  BmpHeader h;
  h.dataOffset = Little(b + 10, 4);
  h.headerSize = Little(b + 14, 4);
  const bool windows = h.headerSize == 12 || h.headerSize == 40 || h.headerSize == 52 ||
                       h.headerSize == 56 || h.headerSize == 108 || h.headerSize == 124;
  if (!windows && (h.headerSize < 16 || h.headerSize > 64)) {
    Refuse(file, Text(Message::kUnknownBmpHeader, h.headerSize));
  }
  if (file.size < 14 + h.headerSize) Refuse(file, Text(Message::kEndsEarly));
  if (h.headerSize == 12) {
    h.width = Little(b + 18, 2);
    h.height = Little(b + 20, 2);
    h.bits = static_cast<int>(Little(b + 24, 2));
  } else {
    h.width = static_cast<std::int32_t>(Little(b + 18, 4));
    // Top-down files store the height negated; INT_MIN's magnitude fits a long long.
    const long long height = static_cast<std::int32_t>(Little(b + 22, 4));
    h.height = height < 0 ? -height : height;
    h.bits = static_cast<int>(Little(b + 28, 2));
    if (h.headerSize >= 20) h.compression = Little(b + 30, 4);
    if (h.headerSize >= 36) h.colours = Little(b + 46, 4);
  }
  if (!windows && h.compression == 3)
    Refuse(file, Text(Message::kBmpKindNotSupported, "Huffman-compressed"));
  if (!windows && h.compression == 4)
    Refuse(file, Text(Message::kBmpKindNotSupported, "RLE24-compressed"));
  if (!windows && h.headerSize != 64) {
    Refuse(file, Text(Message::kOs2BmpHeaderNotSupported, h.headerSize));
  }
  switch (h.compression) {
    case kRgb:
    case kRle8:
    case kRle4:
    case kBitFields:
      break;
    case kJpeg:
      Refuse(file, Text(Message::kBmpKindNotSupported, "JPEG-compressed"));
    case kPng:
      Refuse(file, Text(Message::kBmpKindNotSupported, "PNG-compressed"));
    case kAlphaBitFields:
      Refuse(file, Text(Message::kBmpAlphaBitFields));
    case kCmyk:
    case kCmykRle8:
    case kCmykRle4:
      Refuse(file, Text(Message::kBmpKindNotSupported, "CMYK"));
    default:
      Refuse(file, Text(Message::kUnknownBmpCompression, h.compression));
  }
  switch (h.bits) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
      break;
    default:
      Refuse(file, Text(Message::kBmpBitsNotSupported, h.bits));
  }
  CheckDeclaredSize(PictureFormat::kBmp, file, h.width, h.height);
  return h;
}

// Whether the file holds every row of an uncompressed picture (the last one may lack its
// padding).
bool HoldsRows(const EncodedPicture& file, const BmpHeader& h) {
  const long long rowBits = h.width * h.bits;
  const long long stride = (rowBits + 31) / 32 * 4;
  const long long needed = h.dataOffset + stride * (h.height - 1) + (rowBits + 7) / 8;
  return needed <= static_cast<long long>(file.size);
}

// What the RLE codes do: whether they reach the end of the picture (an end-of-bitmap
// code, or the last row ended or filled) before the file ends, and how many pixels they
// draw; moves, early row ends and the end code leave the rest transparent. Only walks the
// codes; the decoder draws them.
struct RleWalk {
  bool complete = false;
  long long drawn = 0;
};
RleWalk WalkRle(const EncodedPicture& file, const BmpHeader& h) {
  const std::uint8_t* b = file.bytes;
  std::size_t at = h.dataOffset;
  RleWalk walk;
  if (at > file.size) return walk;
  long long x = 0, y = 0;  // y counts rows from the bottom
  auto draw = [&](int count) {
    walk.drawn += std::max(0LL, std::min<long long>(count, h.width - x));
    x += count;
  };
  while (y < h.height) {
    if (file.size - at < 2) {
      walk.complete = y == h.height - 1 && x >= h.width;
      return walk;
    }
    const int count = b[at], code = b[at + 1];
    at += 2;
    if (count > 0) {  // a run of one index (two alternating ones for RLE4)
      draw(count);
    } else if (code == 0) {  // end of row
      ++y, x = 0;
    } else if (code == 1) {  // end of picture
      break;
    } else if (code == 2) {  // move right and up
      if (file.size - at < 2) return walk;
      x += b[at], y += b[at + 1];
      at += 2;
    } else {  // `code` indices as they are, padded to a 16-bit boundary
      const std::size_t bytes = h.compression == kRle4 ? (code + 1) / 2 : code;
      const std::size_t padded = (bytes + 1) & ~std::size_t{1};
      if (file.size - at < padded) return walk;
      at += padded;
      draw(code);
    }
  }
  walk.complete = true;
  return walk;
}

// ---- stb_image ----------------------------------------------------------------------

struct StbFree {
  void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};

void DecodeWithStb(const EncodedPicture& file, const BmpHeader& header, Bitmap32& decoded) {
  if (file.size > INT_MAX) Refuse(file, Text(Message::kFileTooLarge));
  const int length = static_cast<int>(file.size);
  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_memory(file.bytes, length, &width, &height, &channels)) {
    Refuse(file, stbi_failure_reason());
  }
  decoded.SetSizeForOverwrite(static_cast<int>(header.width), static_cast<int>(header.height));
  std::unique_ptr<stbi_uc, StbFree> pixels(
      stbi_load_from_memory(file.bytes, length, &width, &height, &channels, 4));
  if (!pixels) {
    if (std::strcmp(stbi_failure_reason(), "outofmem") == 0) throw std::bad_alloc();
    Refuse(file, stbi_failure_reason());
  }
  if (width != decoded.Width() || height != decoded.Height())
    Refuse(file, Text(Message::kInconsistentSize));
  // stb_image delivers R, G, B, A bytes; an all-zero alpha channel it already made opaque.
  for (int y = 0; y < height; ++y) {
    RgbaRowOverBlack(pixels.get() + static_cast<std::size_t>(y) * width * 4, decoded.ScanLine(y),
                     width);
  }
}

// ---- gdk-pixbuf ---------------------------------------------------------------------

struct PixbufLibrary {
  decltype(&gdk_pixbuf_loader_new_with_type) loader_new_with_type;
  decltype(&gdk_pixbuf_loader_write) loader_write;
  decltype(&gdk_pixbuf_loader_close) loader_close;
  decltype(&gdk_pixbuf_loader_get_pixbuf) loader_get_pixbuf;
  decltype(&gdk_pixbuf_get_width) get_width;
  decltype(&gdk_pixbuf_get_height) get_height;
  decltype(&gdk_pixbuf_get_n_channels) get_n_channels;
  decltype(&gdk_pixbuf_get_bits_per_sample) get_bits_per_sample;
  decltype(&gdk_pixbuf_get_rowstride) get_rowstride;
  decltype(&gdk_pixbuf_read_pixels) read_pixels;
  decltype(&gdk_pixbuf_error_quark) error_quark;
  decltype(&g_object_unref) object_unref;  // GLib's, found through gdk-pixbuf
  decltype(&g_error_free) error_free;
};

// The library's functions, or nullptr when it is not installed. Loaded once, kept loaded.
const PixbufLibrary* Pixbuf() {
  static const PixbufLibrary* const library = []() -> const PixbufLibrary* {
    void* handle = OpenSharedLibrary(VANTREL_GDK_PIXBUF_SONAME);
    if (handle == nullptr) return nullptr;
    static PixbufLibrary f;
    bool complete = true;
    auto bind = [&](auto& function, const char* name) {
      complete = BindFunction(handle, function, name) && complete;
    };
    bind(f.loader_new_with_type, "gdk_pixbuf_loader_new_with_type");
    bind(f.loader_write, "gdk_pixbuf_loader_write");
    bind(f.loader_close, "gdk_pixbuf_loader_close");
    bind(f.loader_get_pixbuf, "gdk_pixbuf_loader_get_pixbuf");
    bind(f.get_width, "gdk_pixbuf_get_width");
    bind(f.get_height, "gdk_pixbuf_get_height");
    bind(f.get_n_channels, "gdk_pixbuf_get_n_channels");
    bind(f.get_bits_per_sample, "gdk_pixbuf_get_bits_per_sample");
    bind(f.get_rowstride, "gdk_pixbuf_get_rowstride");
    bind(f.read_pixels, "gdk_pixbuf_read_pixels");
    bind(f.error_quark, "gdk_pixbuf_error_quark");
    bind(f.object_unref, "g_object_unref");
    bind(f.error_free, "g_error_free");
    return complete ? &f : nullptr;
  }();
  return library;
}

void DecodeWithPixbuf(const EncodedPicture& file, const BmpHeader& header, Bitmap32& decoded) {
  const PixbufLibrary* library = Pixbuf();
  const std::string missing = Text(Message::kBmpReaderNotInstalled);
  if (library == nullptr) Refuse(file, missing);
  const PixbufLibrary& lib = *library;
  struct Unref {
    const PixbufLibrary& lib;
    void operator()(GdkPixbufLoader* loader) const { lib.object_unref(loader); }
  };
  GError* error = nullptr;
  auto fail = [&](const std::string& fallback) {
    const bool outOfMemory = error != nullptr && error->domain == lib.error_quark() &&
                             error->code == GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY;
    const std::string why = error != nullptr && error->message ? error->message : fallback;
    if (error != nullptr) lib.error_free(error);
    if (outOfMemory) throw std::bad_alloc();
    Refuse(file, why);
  };
  std::unique_ptr<GdkPixbufLoader, Unref> loader(lib.loader_new_with_type("bmp", nullptr),
                                                 Unref{lib});
  if (!loader) Refuse(file, missing);  // its BMP loader is a module of its own
  // Closed in every case: a loader dropped unclosed makes GLib print a warning.
  const bool written = lib.loader_write(loader.get(), file.bytes, file.size, &error);
  if (!written) {
    lib.loader_close(loader.get(), nullptr);
    fail(Text(Message::kDamagedFile));
  }
  if (!lib.loader_close(loader.get(), &error)) fail(Text(Message::kDamagedFile));
  const GdkPixbuf* pixbuf = lib.loader_get_pixbuf(loader.get());
  if (pixbuf == nullptr || lib.get_width(pixbuf) != header.width ||
      lib.get_height(pixbuf) != header.height || lib.get_bits_per_sample(pixbuf) != 8) {
    Refuse(file, Text(Message::kDamagedFile));
  }
  const int channels = lib.get_n_channels(pixbuf);
  const int width = static_cast<int>(header.width), height = static_cast<int>(header.height);
  const std::size_t stride = static_cast<std::size_t>(lib.get_rowstride(pixbuf));
  const std::uint8_t* pixels = lib.read_pixels(pixbuf);
  decoded.SetSizeForOverwrite(width, height);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* in = pixels + y * stride;
    std::uint32_t* out = decoded.ScanLine(y);
    if (channels == 4) {  // what RLE leaves out is transparent, so black
      RgbaRowOverBlack(in, out, width);
    } else {
      for (int x = 0; x < width; ++x, in += 3) {
        out[x] = std::uint32_t{in[0]} << 16 | std::uint32_t{in[1]} << 8 | in[2];
      }
    }
  }
}

}  // namespace

int DecodeBmp(const EncodedPicture& file, Bitmap32& picture) {
  const BmpHeader header = ReadHeader(file);
  const bool rle = header.compression == kRle8 || header.compression == kRle4;
  if (rle) {
    const RleWalk walk = WalkRle(file, header);
    if (!walk.complete) Refuse(file, Text(Message::kEndsEarly));
    // A few codes that move past or end a huge picture stand for gigabytes of transparent
    // pixels that the decoder allocates and clears all the same. No program writes a large
    // picture so, but a hostile file could.
    const long long pixels = header.width * header.height;
    if (pixels > kSparsePixels && walk.drawn < pixels / 64) {
      Refuse(file, Text(Message::kRleDrawsLittle, walk.drawn, header.width, header.height));
    }
  } else if (!HoldsRows(file, header)) {
    Refuse(file, Text(Message::kEndsEarly));
  }
  Bitmap32 decoded;
  // stb_image reads the 12, 40, 56, 108 and 124-byte headers, and its pixels are what this
  // program has always shown for them, with two exceptions: it looks for the bit-field
  // masks of a 56-byte header (as Photoshop writes them) after the header rather than in
  // it, and it reads the palette of a 12-byte header four entries short.
  const std::uint32_t size = header.headerSize;
  const bool stbReads = size != 52 && size != 64 &&
                        !(size == 56 && header.compression == kBitFields) &&
                        !(size == 12 && header.bits <= 8);
  if (!rle && stbReads) {
    DecodeWithStb(file, header, decoded);
  } else {
    // gdk-pixbuf reads the palette right after the header, wherever the pixel data starts.
    const long long paletteEntries = header.bits > 8       ? 0
                                     : header.colours != 0 ? header.colours
                                                           : 1LL << header.bits;
    if (header.dataOffset < 14 + size + (size == 12 ? 3 : 4) * paletteEntries) {
      Refuse(file, Text(Message::kPaletteOverlapsPixels));
    }
    DecodeWithPixbuf(file, header, decoded);
  }
  picture.Swap(decoded);
  return kUpright;
}

}  // namespace vantrel
