// PNG through libpng: every bit depth, palette, grey and alpha, as 8-bit BGRA rows.
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <vector>

#include "picture/orientation.h"
#include "picture/picture_decoders.h"

namespace vantrel {
namespace {

// Everything libpng's callbacks reach. An error longjmps out of libpng back to RunStep, so
// the steps below hold only trivially destructible objects.
struct PngJob {
  const std::uint8_t* bytes;
  std::size_t size;
  std::size_t position;
  png_structp png;
  png_infop info;
  png_bytep* rows;
  char message[128];
  bool outOfMemory;
};
static_assert(std::is_trivially_destructible_v<PngJob>);

void ReadBytes(png_structp png, png_bytep out, png_size_t length) {
  auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
  if (length > job->size - job->position) png_error(png, "file ends early");
  std::memcpy(out, job->bytes + job->position, length);
  job->position += length;
}

void OnError(png_structp png, png_const_charp message) {
  auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
  std::strncpy(job->message, message, sizeof job->message - 1);
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

png_voidp Allocate(png_structp png, png_alloc_size_t size) {
  void* block = std::malloc(size);
  if (block == nullptr) static_cast<PngJob*>(png_get_mem_ptr(png))->outOfMemory = true;
  return block;
}

void Free(png_structp, png_voidp block) { std::free(block); }

using PngStep = void (*)(PngJob& job);

bool RunStep(PngJob& job, PngStep step) {
  if (setjmp(png_jmpbuf(job.png))) return false;
  step(job);
  return true;
}

void CreateReader(PngJob& job) {
  // The structs are made outside RunStep: there is no jump buffer before they exist.
  job.info = png_create_info_struct(job.png);
  if (job.info == nullptr) png_error(job.png, "out of memory");
  png_set_read_fn(job.png, &job, ReadBytes);
}

// Header and transformations: 8-bit samples, grey widened to RGB, palette expanded,
// transparency as an alpha channel (opaque filler otherwise), blue first in memory so each
// pixel reads as one 0xAARRGGBB word.
void ReadInfo(PngJob& job) {
  png_read_info(job.png, job.info);
  png_set_expand(job.png);
  png_set_scale_16(job.png);
  png_set_gray_to_rgb(job.png);
  png_set_bgr(job.png);
  png_set_filler(job.png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(job.png);
  png_read_update_info(job.png, job.info);
}

void ReadImage(PngJob& job) { png_read_image(job.png, job.rows); }

}  // namespace

int DecodePng(const EncodedPicture& file, Bitmap32& picture) {
  PngJob job{};
  job.bytes = file.bytes;
  job.size = file.size;
  job.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &job, OnError, OnWarning, &job,
                                     Allocate, Free);
  if (job.png == nullptr) throw std::bad_alloc();
  struct Destroyer {
    PngJob& job;
    ~Destroyer() { png_destroy_read_struct(&job.png, job.info ? &job.info : nullptr, nullptr); }
  } destroyer{job};

  auto fail = [&job, &file]() {
    if (job.outOfMemory) throw std::bad_alloc();
    ThrowUnreadable(PictureFormat::kPng, file.name, job.message);
  };
  if (!RunStep(job, CreateReader) || !RunStep(job, ReadInfo)) fail();
  const long long width = png_get_image_width(job.png, job.info);
  const long long height = png_get_image_height(job.png, job.info);
  CheckDeclaredSize(PictureFormat::kPng, file, width, height);

  int orientation = kUpright;
  png_uint_32 exifLength = 0;
  png_bytep exif = nullptr;
  if (png_get_eXIf_1(job.png, job.info, &exifLength, &exif) != 0 && exif != nullptr) {
    orientation = ExifOrientation(exif, exifLength);
  }

  // Every pixel is written once the whole picture has been read, so pages are only taken
  // as rows arrive: a small file declaring a huge picture fails before costing much.
  Bitmap32 decoded;
  decoded.SetSizeForOverwrite(static_cast<int>(width), static_cast<int>(height));
  std::vector<png_bytep> rows(static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) rows[y] = reinterpret_cast<png_bytep>(decoded.ScanLine(y));
  job.rows = rows.data();
  if (!RunStep(job, ReadImage)) fail();

  for (int y = 0; y < height; ++y) {
    std::uint32_t* row = decoded.ScanLine(y);
    for (int x = 0; x < width; ++x) row[x] = OverBlack(row[x]);
  }
  picture.Swap(decoded);
  return orientation;
}

}  // namespace vantrel
