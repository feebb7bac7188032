#include "convert/preview_png.h"

#include <png.h>

#include <csetjmp>
#include <new>
#include <stdexcept>
#include <string>

#include "core/error.h"
#include "core/types.h"

namespace vantrel {

namespace {

// libpng reports failures by longjmp; C++ exceptions must not cross its C frames, so the
// callbacks only record what went wrong and leave through png_error.
struct Sink {
  std::vector<std::uint8_t>* bytes;
  std::string error;
};

void AppendBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
  try {
    sink->bytes->insert(sink->bytes->end(), data, data + length);
  } catch (const std::bad_alloc&) {
    png_error(png, "out of memory");
  }
}

void Flush(png_structp) {}

void RecordError(png_structp png, png_const_charp message) {
  static_cast<Sink*>(png_get_error_ptr(png))->error = message;
  png_longjmp(png, 1);
}

void IgnoreWarning(png_structp, png_const_charp) {}

}  // namespace

std::vector<std::uint8_t> EncodePreviewPng(const Bitmap32& preview) {
  if (preview.Width() < WindowWidth || preview.Height() < WindowHeight) {
    throw std::invalid_argument("preview smaller than 192 x 200");
  }
  // Everything the encoder touches is prepared before setjmp, so a longjmp skips no
  // destructor of a live object.
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(WindowWidth) * WindowHeight * 3);
  std::vector<png_bytep> rows(WindowHeight);
  for (int y = 0; y < WindowHeight; ++y) {
    const std::uint32_t* words = preview.ScanLine(y);
    std::uint8_t* row = pixels.data() + static_cast<std::size_t>(y) * WindowWidth * 3;
    rows[y] = row;
    for (int x = 0; x < WindowWidth; ++x) {
      row[3 * x] = static_cast<std::uint8_t>(words[x] >> 16);
      row[3 * x + 1] = static_cast<std::uint8_t>(words[x] >> 8);
      row[3 * x + 2] = static_cast<std::uint8_t>(words[x]);
    }
  }
  std::vector<std::uint8_t> bytes;
  bytes.reserve(pixels.size() + 1024);
  Sink sink{&bytes, {}};

  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, RecordError, IgnoreWarning);
  if (png == nullptr) throw VantrelError("Cannot encode PNG: out of memory");
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    throw VantrelError("Cannot encode PNG: out of memory");
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw VantrelError("Cannot encode PNG: " + sink.error);
  }
  png_set_write_fn(png, &sink, AppendBytes, Flush);
  png_set_IHDR(png, info, WindowWidth, WindowHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return bytes;
}

}  // namespace vantrel
