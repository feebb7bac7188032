// Small files that would cost far more than their size: many scans, a huge canvas, a huge
// declared picture with no data, a device that never ends and a file too large to be a
// picture. Each opens or is refused as the command line opens it, with its message, in
// bounded memory and time. The bounds here are loose; bench/hostile_files.sh measures.
#include "support/hostile_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "core/error.h"
#include "picture/jpeg_samples.h"
#include "picture/photo.h"
#include "support/address_space_cap.h"

#if defined(__SANITIZE_ADDRESS__)
#define VANTREL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTREL_SANITIZED 1
#endif
#endif

namespace {

using namespace hostile_files;
using picture_writers::EncodeBmp;
using vantrel::Photo;

long long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field, 0) == 0) return std::stoll(line.substr(std::strlen(field)));
  }
  return -1;
}

// How far this process's peak resident memory rose above where it stood while `work` ran,
// in MiB; -1 where the peak cannot be reset.
long long PeakGrowthMiB(const std::function<void()>& work) {
  std::ofstream reset("/proc/self/clear_refs");
  reset << "5" << std::flush;  // the peak starts again from the present
  if (!reset) return -1;
  const long long before = StatusKiB("VmRSS:");
  work();
  return (StatusKiB("VmHWM:") - before) / 1024;
}

TEST(HostileFiles, EachEndsSoonWithItsMessage) {
  const jpeg_samples::TempFolder folder;
  const std::string tooLarge = (folder / "too-large.png").string();
  {
    std::ofstream(tooLarge).put('x');  // sparse: no disk space taken
    std::filesystem::resize_file(tooLarge, 3LL << 30);
  }
  const Pixels square(64, 64, 0x80C04020u);
  struct Case {
    std::string name;     // a file in the folder, or a path
    Bytes bytes;          // written to the folder unless empty
    std::string message;  // "" when it opens; ends with ": " when the rest is a library's
  };
  const Case cases[] = {
      {"many-scans.jpg", ManyScansJpeg(1448, 1448, 10000),
       "Cannot open JPEG file @: more than 500 scans"},
      {"huge-canvas.webp",
       picture_writers::EncodeWebpOnCanvas(16384, 16384, {{square, 100, 200}, {square, 0, 0}}), ""},
      {"header-only.bmp", BmpHeaderOnly(16384, 16384, 24, 0),
       "Cannot open BMP file @: the file ends early"},
      {"header-only-rle8.bmp", BmpHeaderOnly(16384, 16384, 8, 1),
       "Cannot open BMP file @: the file ends early"},
      {"sparse-rle8.bmp",
       WithBmpSize(EncodeBmp(Pixels(16, 1), {.bits = 8, .compression = 1}), 16384, 16384),
       "Cannot open BMP file @: its RLE data draws only 16 of 16384 x 16384 pixels"},
      {"int-min-height.bmp", BmpHeaderOnly(13, INT_MIN, 24, 0),
       "Picture too large (13 x 2147483648 pixels)"},
      {"huge.png", WithPngSize(picture_writers::EncodePng(Pixels(1, 1)), 16384, 16384),
       "Cannot open PNG file @: "},
      {"huge.tif", WithTiffSize(picture_writers::EncodeTiff(Pixels(1, 1)), 16384, 16384),
       "Cannot open TIFF file @: "},
      {"/dev/zero", {}, "Cannot open file @: not a regular file"},
      {tooLarge, {}, "Cannot open file @: too large for a picture (3221225472 bytes)"},
  };
  // What an open may add to the peak memory. Each costs next to nothing, but under the
  // sanitizers even untouched address space for a declared picture costs shadow memory, an
  // eighth of it.
  constexpr long long kPeakMiB = 256;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = c.bytes.empty() ? c.name : (folder / c.name).string();
    if (!c.bytes.empty()) jpeg_samples::WriteBytes(path, c.bytes);
    std::string message = c.message;
    if (const std::size_t at = message.find('@'); at != std::string::npos) {
      message.replace(at, 1, path);
    }
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    const long long peak = PeakGrowthMiB([&] {
#ifndef VANTREL_SANITIZED  // the sanitizers' shadow memory cannot live under a cap
      testsupport::AddressSpaceCap cap(1536LL << 20);
      ASSERT_TRUE(cap.ok());
#endif
      try {
        // As the command line opens a file: its level at 100 %, then a draw from it.
        Photo photo = Photo::OpenFile(path);
        photo.Prepare(100);
        photo.DrawScaled(100, -100, -200, *std::make_unique<vantrel::ViewSurface>());
      } catch (const vantrel::VantrelError& e) {
        error = e.what();
      }
    });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (message.ends_with(": ")) {
      EXPECT_EQ(error.rfind(message, 0), 0u) << error;
      EXPECT_GT(error.size(), message.size()) << "no reason given";
    } else {
      EXPECT_EQ(error, message);
    }
    EXPECT_LT(seconds, 10.0);
    if (peak >= 0) {
      EXPECT_LT(peak, kPeakMiB);
    }
  }
}

}  // namespace
