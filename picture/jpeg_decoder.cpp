// A JPEG decoded by libjpeg-turbo with the float DCT, whole or reduced, into PackedRGB words.
#include "picture/jpeg_decoder.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>

#include "core/error.h"
#include "core/read_file.h"
#include "picture/jpeg_error_guard.h"
#include "picture/jpeg_pixels.h"
#include "picture/picture_decoders.h"
// libjpeg's message codes, for telling its out-of-memory error apart.
#include <jerror.h>

namespace vantrel {
namespace {

// How the rows libjpeg delivers become PackedRGB words.
enum class OutputKind {
  kColour,  // 32-bit words straight from libjpeg
  kGrey,    // one palette index per pixel, expanded through the colour map
  kCmyk,    // four ink bytes per pixel, converted to RGB in place
};

// PackedRGB words lie in memory as blue, green, red, X on little-endian machines.
constexpr J_COLOR_SPACE kPackedRgbSpace =
    std::endian::native == std::endian::little ? JCS_EXT_BGRX : JCS_EXT_XRGB;

// Greyscale pictures are quantised to this many evenly spaced levels, with dither.
constexpr int kGreyLevels = 236;

// Rows asked of libjpeg per call; more than any sampling factor needs.
constexpr int kRowsPerRead = 16;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Owns the decompression object. Its destructor frees everything libjpeg allocated,
// also after a step failed half way (jpeg_destroy_decompress copes with any state,
// including a never-created object).
class Decompressor {
 public:
  Decompressor() {
    std::memset(&cinfo_, 0, sizeof cinfo_);
    InstallErrorManager(cinfo_, errors_);
  }
  ~Decompressor() { jpeg_destroy_decompress(&cinfo_); }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;

  j_decompress_ptr get() { return &cinfo_; }
  const JpegErrorManager& errors() const { return errors_; }

 private:
  JpegErrorManager errors_;
  jpeg_decompress_struct cinfo_;
};

// Contexts of the guarded steps. An error jumps across the steps' frames, so they hold
// nothing that needs destroying.
struct HeaderStep {
  std::FILE* file;             // read from this file if set,
  const unsigned char* bytes;  // otherwise from these bytes in memory
  std::size_t size;
};

struct RowsStep {
  std::uint32_t* words;  // first word of the bitmap; rows follow one another
  std::size_t width;
  OutputKind kind;
  bool invertedInks;
};
static_assert(std::is_trivially_destructible_v<HeaderStep>);
static_assert(std::is_trivially_destructible_v<RowsStep>);

void CreateAndReadHeader(j_decompress_ptr cinfo, void* context) {
  jpeg_create_decompress(cinfo);
  InstallScanLimit(cinfo);
  // No limit on libjpeg's own memory, whatever JPEGMEM in the environment says: there is
  // no backing store, so a limit would only refuse large progressive pictures, and
  // MaxPicturePixels already bounds what the library can ask for.
  cinfo->mem->max_memory_to_use = 0;
  const HeaderStep& step = *static_cast<const HeaderStep*>(context);
  if (step.file != nullptr) {
    jpeg_stdio_src(cinfo, step.file);
  } else {
    // An empty buffer is refused here with the same code as an empty file.
    jpeg_mem_src(cinfo, step.bytes, static_cast<unsigned long>(step.size));
  }
  jpeg_read_header(cinfo, TRUE);
}

void StartDecompress(j_decompress_ptr cinfo, void*) { jpeg_start_decompress(cinfo); }

void ReadRows(j_decompress_ptr cinfo, void* context) {
  const RowsStep& step = *static_cast<const RowsStep*>(context);
  JSAMPROW rows[kRowsPerRead];
  while (cinfo->output_scanline < cinfo->output_height) {
    const JDIMENSION first = cinfo->output_scanline;
    const JDIMENSION wanted =
        std::min<JDIMENSION>(kRowsPerRead, cinfo->output_height - cinfo->output_scanline);
    for (JDIMENSION i = 0; i < wanted; ++i) {
      rows[i] = reinterpret_cast<JSAMPROW>(step.words + (first + i) * step.width);
    }
    const JDIMENSION got = jpeg_read_scanlines(cinfo, rows, wanted);
    // Only a suspending data source returns no rows; finishing then reports the shortfall.
    if (got == 0) return;
    for (JDIMENSION i = 0; i < got; ++i) {
      auto* row = step.words + (first + i) * step.width;
      const int width = static_cast<int>(step.width);
      if (step.kind == OutputKind::kGrey) {
        ExpandGreyIndices(row, width, cinfo->colormap[0]);
      } else if (step.kind == OutputKind::kCmyk) {
        CmykToPackedRgb(row, width, step.invertedInks);
      }
    }
  }
}

void FinishDecompress(j_decompress_ptr cinfo, void*) { jpeg_finish_decompress(cinfo); }

VantrelError OutOfMemory(const std::string& fileName) {
  return VantrelError(Message::kNotEnoughMemoryToOpen, fileName);
}

[[noreturn]] void ThrowLibraryError(j_decompress_ptr cinfo, const std::string& fileName) {
  if (reinterpret_cast<const JpegErrorManager*>(cinfo->err)->tooManyScans) {
    ThrowUnreadable(PictureFormat::kJpeg, fileName, Text(Message::kTooManyScans, kMaxJpegScans));
  }
  const int code = cinfo->err->msg_code;
  // libjpeg's own allocation failing is the same fault as ours failing.
  if (code == JERR_OUT_OF_MEMORY) throw OutOfMemory(fileName);
  throw VantrelError(Message::kJpegError, code);
}

void Run(j_decompress_ptr cinfo, JpegStep step, void* context, const std::string& fileName) {
  if (!RunJpegStep(cinfo, step, context)) ThrowLibraryError(cinfo, fileName);
}

OutputKind ChooseOutput(const jpeg_decompress_struct& cinfo) {
  const int components = cinfo.num_components;
  switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
      if (components == 1) return OutputKind::kGrey;
      break;
    case JCS_YCbCr:
    case JCS_RGB:
      if (components == 3) return OutputKind::kColour;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      if (components == 4) return OutputKind::kCmyk;
      break;
    default:
      break;
  }
  throw VantrelError(Message::kUnsupportedJpeg, components);
}

void CheckPictureSize(const jpeg_decompress_struct& cinfo) {
  const long long pixels = static_cast<long long>(cinfo.image_width) * cinfo.image_height;
  if (pixels > MaxPicturePixels) {
    throw VantrelError(Message::kPictureTooLarge, cinfo.image_width, cinfo.image_height);
  }
}

void SetDecodingParameters(jpeg_decompress_struct& cinfo, OutputKind kind, int reduction) {
  cinfo.scale_num = 1;
  cinfo.scale_denom = static_cast<unsigned int>(reduction);
  cinfo.dct_method = JDCT_FLOAT;
  cinfo.do_fancy_upsampling = TRUE;
  cinfo.do_block_smoothing = TRUE;
  cinfo.buffered_image = FALSE;  // a progressive file arrives in one final pass
  switch (kind) {
    case OutputKind::kColour:
      cinfo.out_color_space = kPackedRgbSpace;
      cinfo.quantize_colors = FALSE;
      break;
    case OutputKind::kGrey:
      cinfo.out_color_space = JCS_GRAYSCALE;
      cinfo.quantize_colors = TRUE;
      cinfo.desired_number_of_colors = kGreyLevels;
      cinfo.dither_mode = JDITHER_FS;
      break;
    case OutputKind::kCmyk:
      cinfo.out_color_space = JCS_CMYK;  // libjpeg turns YCCK into CMYK itself
      cinfo.quantize_colors = FALSE;
      break;
  }
}

// Decodes from the source `header` names; `fileName` only goes into error messages.
// Returns whether the data ended early.
bool DecodeFrom(HeaderStep header, const std::string& fileName, Bitmap32& picture,
                int reduction = 1) {
  Decompressor decompressor;  // destroyed before the caller closes the file
  j_decompress_ptr cinfo = decompressor.get();
  Run(cinfo, CreateAndReadHeader, &header, fileName);

  const OutputKind kind = ChooseOutput(*cinfo);
  CheckPictureSize(*cinfo);
  SetDecodingParameters(*cinfo, kind, reduction);
  // For a progressive file this reads all scans.
  Run(cinfo, StartDecompress, nullptr, fileName);

  Bitmap32 decoded(static_cast<int>(cinfo->output_width), static_cast<int>(cinfo->output_height));
  RowsStep rows{decoded.Words(), cinfo->output_width, kind, cinfo->saw_Adobe_marker != FALSE};
  Run(cinfo, ReadRows, &rows, fileName);
  Run(cinfo, FinishDecompress, nullptr, fileName);

  picture.Swap(decoded);
  return decompressor.errors().endedEarly;
}

bool DecodeInto(const std::string& fileName, Bitmap32& picture) {
  long long size = 0;
  FileHandle file(OpenRegularFile(fileName, size));
  return DecodeFrom(HeaderStep{file.get(), nullptr, 0}, fileName, picture);
}

}  // namespace

bool DecodeJpegFile(const std::string& fileName, Bitmap32& picture) {
  try {
    return DecodeInto(fileName, picture);
  } catch (const std::bad_alloc&) {
    throw OutOfMemory(fileName);
  }
}

bool DecodeJpegMemory(const std::uint8_t* bytes, std::size_t size, Bitmap32& picture,
                      const std::string& name) {
  try {
    return DecodeFrom(HeaderStep{nullptr, bytes, size}, name, picture);
  } catch (const std::bad_alloc&) {
    throw OutOfMemory(name);
  }
}

bool DecodeJpegMemoryReduced(const std::uint8_t* bytes, std::size_t size, int reduction,
                             Bitmap32& picture, const std::string& name) {
  if (reduction != 1 && reduction != 2 && reduction != 4 && reduction != 8) {
    throw std::invalid_argument("JPEG reduction must be 1, 2, 4 or 8");
  }
  try {
    return DecodeFrom(HeaderStep{nullptr, bytes, size}, name, picture, reduction);
  } catch (const std::bad_alloc&) {
    throw OutOfMemory(name);
  }
}

JpegSize ReadJpegSize(const std::uint8_t* bytes, std::size_t size, const std::string& name) {
  try {
    Decompressor decompressor;
    j_decompress_ptr cinfo = decompressor.get();
    HeaderStep header{nullptr, bytes, size};
    Run(cinfo, CreateAndReadHeader, &header, name);
    CheckPictureSize(*cinfo);
    return JpegSize{static_cast<int>(cinfo->image_width), static_cast<int>(cinfo->image_height)};
  } catch (const std::bad_alloc&) {
    throw OutOfMemory(name);
  }
}

}  // namespace vantrel
