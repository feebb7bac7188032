// Hostile files of every format besides JPEG: cut at many lengths, bytes corrupted,
// declared sizes far beyond what the file holds, zero sizes, and too little memory. Each
// either opens or fails with a message naming the file; a failed decode leaves the
// destination picture, and a failed draw the window, as they were.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/converter_state.h"
#include "core/error.h"
#include "picture/jpeg_samples.h"
#include "picture/photo.h"
#include "picture/picture_decoders.h"
#include "picture/picture_scale.h"
#include "picture/source_window.h"
#include "support/address_space_cap.h"
#include "support/hostile_files.h"
#include "support/picture_writers.h"

namespace {

using namespace vantrel;
using namespace picture_writers;
using namespace hostile_files;

Pixels Pattern(int width, int height) {
  Pixels p(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      p.At(x, y) = (x * 11 + y) % 256 << 24 | (x * 7 % 256) << 16 | (y * 13 % 256) << 8 | (x ^ y);
    }
  }
  return p;
}

// Few colours, for GIF.
Pixels Blocks(int width, int height) {
  Pixels p(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) p.At(x, y) = 0xFF000000u | ((x / 3 + y / 2) % 7) * 0x251D13u;
  }
  return p;
}

struct Sample {
  const char* name;  // the file name errors must carry
  PictureFormat format;
  Bytes bytes;
};

std::vector<Sample> Samples() {
  const Pixels p = Pattern(24, 20);
  return {
      {"picture.png", PictureFormat::kPng, EncodePng(p, {PNG_COLOR_TYPE_RGB_ALPHA, 8, true, 6})},
      {"picture.gif", PictureFormat::kGif, EncodeGif({Blocks(24, 20), Blocks(20, 24)}, true)},
      {"picture.bmp", PictureFormat::kBmp, EncodeBmp(p, 32)},
      {"rle.bmp", PictureFormat::kBmp, EncodeBmp(Blocks(24, 20), {.bits = 8, .compression = 1})},
      {"picture.tif", PictureFormat::kTiff,
       EncodeTiff(p, {16, false, true, 8, COMPRESSION_ADOBE_DEFLATE})},
      {"cmyk.tif", PictureFormat::kTiff, EncodeTiff(p, {8, true, false, 1, COMPRESSION_LZW})},
      {"picture.webp", PictureFormat::kWebp, EncodeWebp({p}, true, 5)},
      {"lossy.webp", PictureFormat::kWebp, EncodeWebp({p}, false)},
      {"animated.webp", PictureFormat::kWebp, EncodeWebp({Blocks(24, 20), p})},
      {"picture.heic", PictureFormat::kHeif, EncodeHeif(p, heif_compression_HEVC)},
      {"picture.avif", PictureFormat::kHeif, EncodeHeif(p, heif_compression_AV1)},
  };
}

Bitmap32 OldPicture() {
  Bitmap32 picture(3, 2);
  for (int i = 0; i < 6; ++i) picture.Words()[i] = 0x102030u * static_cast<std::uint32_t>(i + 1);
  return picture;
}

// Opens the bytes both ways: through Photo (and draws it at Fit and 100 %), and through
// the format's decoder into an old picture that a failure must leave alone. Returns the
// error, if any. Bytes cut before the end of the signature are no longer recognised and
// meet the JPEG decoder's refusal ("JPEG error #53"), as any unknown file does.
std::optional<std::string> Attempt(const Sample& sample, const Bytes& bytes) {
  const bool recognised = SniffFormat(bytes.data(), bytes.size()) == sample.format;
  std::optional<std::string> error;
  try {
    Photo photo = Photo::OpenBytes(bytes, sample.name);
    ViewSurface window;
    photo.DrawScaled(std::min(kMaxScalePercent, FitPercent(photo.Width(), photo.Height())), 0, 0,
                     window);
    photo.DrawScaled(100, 0, 0, window);
  } catch (const VantrelError& e) {
    error = e.what();
    if (recognised) {
      // Told about the file, naming it (the size limit names it where the file is told of).
      EXPECT_NE(e.AboutFile(sample.name).find(sample.name), std::string::npos) << *error;
    } else {
      EXPECT_EQ(error->rfind("JPEG error #", 0), 0u) << *error;
    }
  }
  if (!recognised) return error;
  Bitmap32 picture = OldPicture();
  try {
    DecodePicture(sample.format, {bytes.data(), bytes.size(), sample.name, MaxPicturePixels},
                  picture);
  } catch (const std::bad_alloc&) {
    ADD_FAILURE() << "out of memory";
  } catch (const VantrelError&) {
    const Bitmap32 old = OldPicture();
    EXPECT_EQ(picture.Width(), 3);
    EXPECT_TRUE(std::equal(old.Words(), old.Words() + 6, picture.Words()));
  }
  return error;
}

TEST(PictureInput, CutAndCorruptFilesFailCleanly) {
  for (const Sample& sample : Samples()) {
    SCOPED_TRACE(sample.name);
    ASSERT_FALSE(sample.bytes.empty());
    ASSERT_EQ(Attempt(sample, sample.bytes), std::nullopt);
    // Every length up to 64 bytes (the headers), then 150 more spread over the file.
    int failures = 0;
    const std::size_t step = std::max<std::size_t>(1, sample.bytes.size() / 150);
    for (std::size_t length = 0; length < sample.bytes.size(); length += length < 64 ? 1 : step) {
      const Bytes cut(sample.bytes.begin(), sample.bytes.begin() + length);
      failures += Attempt(sample, cut).has_value();
    }
    EXPECT_GT(failures, 0);
    // Runs of corrupted bytes all through the file.
    std::uint32_t seed = 12345;
    for (int trial = 0; trial < 100; ++trial) {
      Bytes corrupt = sample.bytes;
      seed = seed * 1103515245u + 12345u;
      const std::size_t at = seed % corrupt.size();
      for (std::size_t i = at; i < std::min(corrupt.size(), at + 1 + trial % 5); ++i) {
        corrupt[i] ^= static_cast<std::uint8_t>(seed >> 16 | 1);
      }
      Attempt(sample, corrupt);
    }
  }
}

// Files that declare a width x height picture while holding a small one.
Bytes PngOfSize(std::uint32_t width, std::uint32_t height) {
  return WithPngSize(EncodePng(Pattern(24, 20)), width, height);
}
// The logical screen's size, and with `frame` the first frame's too.
Bytes GifOfSize(std::uint16_t width, std::uint16_t height, bool frame = false) {
  Bytes b = EncodeGif({Blocks(24, 20)});
  PutLittle(b, 6, width, 2);
  PutLittle(b, 8, height, 2);
  std::size_t at = 13 + 3 * (std::size_t{2} << (b[10] & 7));  // past the colour table
  while (b[at] == 0x21) {  // extensions: introducer, label, sub-blocks
    at += 2;
    while (b[at] != 0) at += b[at] + 1;
    ++at;
  }
  if (frame) {
    PutLittle(b, at + 5, width, 2);
    PutLittle(b, at + 7, height, 2);
  }
  return b;
}
Bytes BmpOfSize(std::uint32_t width, std::uint32_t height) {
  return WithBmpSize(EncodeBmp(Pattern(24, 20)), width, height);
}
// An RLE file of width x height whose codes draw the bottom `rows` rows and end there, as
// they lawfully may: the rest is transparent.
Bytes RleBmpOfSize(int width, int height, int rows) {
  return WithBmpSize(EncodeBmp(Pixels(width, rows, 0xFF4080C0u), {.bits = 8, .compression = 1}),
                     width, height);
}
Bytes TiffOfSize(std::uint16_t width, std::uint16_t height) {
  return WithTiffSize(EncodeTiff(Pattern(24, 20)), width, height);
}
// The canvas of the extended header (which then disagrees with the picture in it), or
// the size in the lossless bitstream's own header.
Bytes WebpOfSize(std::uint32_t width, std::uint32_t height, bool canvas) {
  Bytes b = EncodeWebp({Pattern(24, 20)}, true, canvas ? 1 : 0);
  if (canvas) {
    const std::size_t vp8x = Find(b, "VP8X");
    PutLittle(b, vp8x + 12, width - 1, 3);
    PutLittle(b, vp8x + 15, height - 1, 3);
  } else {
    const std::size_t vp8l = Find(b, "VP8L") + 9;  // after the 0x2F signature byte
    const std::uint32_t bits = b[vp8l] | b[vp8l + 1] << 8 | b[vp8l + 2] << 16 | b[vp8l + 3] << 24;
    PutLittle(b, vp8l, (bits & 0xF0000000u) | (width - 1) | (height - 1) << 14, 4);
  }
  return b;
}
Bytes HeifOfSize(std::uint32_t width, std::uint32_t height) {
  Bytes b = EncodeHeif(Pattern(24, 20), heif_compression_HEVC);
  const std::size_t ispe = Find(b, "ispe");
  PutBig32(b, ispe + 8, width);
  PutBig32(b, ispe + 12, height);
  return b;
}

TEST(PictureInput, DeclaredSizesAreCheckedFirst) {
  struct Case {
    const char* name;
    Bytes bytes;
    const char* message;  // the whole message; nullptr: the library's own refusal, naming the file
  };
  const Case cases[] = {
      {"bomb.png", PngOfSize(100000, 100000), "Picture too large (100000 x 100000 pixels)"},
      {"bomb.gif", GifOfSize(65535, 65535), "Picture too large (65535 x 65535 pixels)"},
      {"bomb.bmp", BmpOfSize(100000, 100000), "Picture too large (100000 x 100000 pixels)"},
      {"bomb.tif", TiffOfSize(65535, 65535), "Picture too large (65535 x 65535 pixels)"},
      // The largest a WebP bitstream can hold is the limit itself; libwebp refuses a canvas
      // larger than the picture in it.
      {"bomb.webp", WebpOfSize(16777216, 16777216, true), nullptr},
      {"bomb.heic", HeifOfSize(60000, 60000), nullptr},
      {"empty.png", PngOfSize(0, 20), nullptr},
      {"empty.gif", GifOfSize(0, 0, true), nullptr},
      {"empty.bmp", BmpOfSize(0, 20), nullptr},
      {"empty.tif", TiffOfSize(0, 20), nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    try {
      Photo::OpenBytes(c.bytes, c.name);
    } catch (const VantrelError& e) {
      error = e.what();
    }
    ASSERT_FALSE(error.empty()) << "opened";
    if (c.message) {
      EXPECT_EQ(error, c.message);
    } else {
      EXPECT_NE(error.find(c.name), std::string::npos) << error;
    }
  }
}

// Inputs the fuzzer found, kept in its corpus as regression-*: each is refused with a
// message naming it.
TEST(PictureInput, FuzzFindingsFailCleanly) {
  int found = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(VANTREL_SOURCE_DIR "/fuzz/corpus-picture")) {
    const std::string name = entry.path().string();
    if (entry.path().filename().string().rfind("regression-", 0) != 0) continue;
    ++found;
    try {
      Photo::OpenFile(name).DrawScaled(100, 0, 0, *std::make_unique<ViewSurface>());
      ADD_FAILURE() << "opened " << name;
    } catch (const VantrelError& e) {
      EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
    }
  }
  EXPECT_GT(found, 0);
}

TEST(PictureInput, UnreadableFilesAreNamed) {
  const jpeg_samples::TempFolder folder;
  const std::string missing = (folder / "missing.png").string();
  const std::string directory = folder.path().string();
  for (const std::string& name : {missing, directory}) {
    try {
      Photo::OpenFile(name);
      ADD_FAILURE() << "opened " << name;
    } catch (const VantrelError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot open file " + name);
    }
  }
}

using testsupport::AddressSpaceCap;

// 16000 x 16000 is within the pixel limit but needs 1 GiB; with 256 MiB to spare the
// allocation fails and the user is told so.
TEST(PictureInput, OutOfMemoryIsReported) {
  const std::pair<const char*, Bytes> cases[] = {
      {"huge.png", PngOfSize(16000, 16000)},          {"huge.gif", GifOfSize(16000, 16000)},
      {"huge.bmp", RleBmpOfSize(16000, 16000, 300)},  {"huge.tif", TiffOfSize(16000, 16000)},
      {"huge.webp", WebpOfSize(16000, 16000, false)},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    std::string error;
    {
      AddressSpaceCap cap(256LL << 20);
      ASSERT_TRUE(cap.ok());
      try {
        Photo::OpenBytes(bytes, name);
      } catch (const VantrelError& e) {
        error = e.what();
      }
    }
    EXPECT_EQ(error, std::string("Not enough memory to open ") + name);
  }
}

// A JPEG whose header reads but whose picture the decoder refuses fails when a scale
// first needs it: the window and SourceWindow keep what they showed.
TEST(PictureInput, FailedDrawKeepsWindow) {
  const jpeg_samples::TempFolder folder;
  jpeg_samples::RawImage twoComponents(400, 400, 2);
  std::fill(twoComponents.samples.begin(), twoComponents.samples.end(), 90);
  jpeg_samples::WriteJpeg(folder / "two.jpg", twoComponents, {.input = JCS_UNKNOWN});
  Photo photo = Photo::OpenFile((folder / "two.jpg").string());
  auto state = std::make_unique<ConverterState>();
  for (int i = 0; i < PixelCount; ++i) state->SourceWindow[i] = 0x010203u * (i % 50);
  state->Image1.SetPixel(7, 9, 0x445566);
  const WindowWords before = state->SourceWindow;
  const ViewSurface view = state->Image1;
  state->Picture = std::shared_ptr<PictureSource>(std::shared_ptr<PictureSource>(), &photo);
  for (const int percent : {50, 100}) {
    state->ScalePercent = percent;
    try {
      ReadSourceWindow(*state, 0, 0);
      ADD_FAILURE() << "drew a two-component JPEG";
    } catch (const VantrelError& e) {
      EXPECT_STREQ(e.what(), "Unsupported JPEG (2 colour components)");
    }
    EXPECT_EQ(state->SourceWindow, before);
    EXPECT_TRUE(std::equal(view.Words(), view.Words() + PixelCount, state->Image1.Words()));
  }
}

}  // namespace
