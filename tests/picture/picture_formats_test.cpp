// Every format opens to the pixels that were written (lossless formats exactly, HEIC and
// AVIF within their coding error), transparency over black, and every EXIF orientation
// turns the picture upright in every format that stores one.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/bitmap32.h"
#include "core/error.h"
#include "picture/jpeg_decoder.h"
#include "picture/jpeg_samples.h"
#include "picture/orientation.h"
#include "picture/photo.h"
#include "picture/picture_decoders.h"
#include "support/picture_writers.h"

namespace {

using namespace picture_writers;
using vantrel::Bitmap32;
using vantrel::Photo;
using vantrel::PictureFormat;

// Distinct colours and alphas, a few fully transparent.
Pixels Pattern(int width, int height, bool alpha) {
  Pixels p(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint32_t a = !alpha ? 255 : (x + y) % 5 == 0 ? 0 : 40 + 50 * ((x * 3 + y) % 5);
      p.At(x, y) = a << 24 | static_cast<std::uint32_t>(x * 19 + y * 3) % 256 << 16 |
                   static_cast<std::uint32_t>(y * 37 + x) % 256 << 8 |
                   static_cast<std::uint32_t>(x * y * 5 + 11) % 256;
    }
  }
  return p;
}

// Smooth gradients, for the lossy formats.
Pixels Smooth(int width, int height) {
  Pixels p(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      p.At(x, y) = 0xFF000000u | (40 + 3 * x) << 16 | (60 + 2 * y) << 8 | (200 - x - y);
    }
  }
  return p;
}

// Each channel times alpha / 255, rounded: what the picture looks like over black.
std::vector<std::uint32_t> OverBlack(const Pixels& p) {
  std::vector<std::uint32_t> out;
  for (std::uint32_t w : p.argb) out.push_back(vantrel::OverBlack(w));
  return out;
}

std::vector<std::uint32_t> Words(const Bitmap32& b) {
  std::vector<std::uint32_t> out;
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) out.push_back(b.ScanLine(y)[x] & 0xFFFFFFu);
  }
  return out;
}

// Grey variants of PNG keep the red channel at the file's bit depth.
Pixels GreyAtDepth(const Pixels& p, int depth) {
  Pixels g = p;
  const unsigned max = (1u << depth) - 1;
  for (std::uint32_t& w : g.argb) {
    const unsigned level = (Red(w) * max + 127) / 255 * 255 / max;
    w = (w & 0xFF000000u) | level * 0x010101u;
  }
  return g;
}

struct FormatCase {
  std::string name;
  PictureFormat format;
  std::function<Bytes()> write;
  std::function<std::vector<std::uint32_t>()> expected;
  int tolerance;  // per channel; 0 for lossless formats
  int width, height;
};

TEST(PictureFormats, EachFormatOpensToItsPixels) {
  const Pixels rgb = Pattern(13, 7, false);
  const Pixels rgba = Pattern(13, 7, true);
  const Pixels second = Pattern(7, 13, false);  // transposed sizes: a second frame differs
  Pixels frame2(13, 7, 0xFF102030u);
  const Pixels smooth = Smooth(40, 24);
  auto png = [](const Pixels& p, int type, int depth, bool interlace = false) {
    return [=] { return EncodePng(p, {type, depth, interlace, 0}); };
  };
  auto same = [](const Pixels& p) { return [=] { return OverBlack(p); }; };
  const std::vector<FormatCase> cases = {
      {"png rgb 8", PictureFormat::kPng, png(rgb, PNG_COLOR_TYPE_RGB, 8), same(rgb), 0, 13, 7},
      {"png rgba 8", PictureFormat::kPng, png(rgba, PNG_COLOR_TYPE_RGB_ALPHA, 8), same(rgba), 0, 13,
       7},
      {"png rgb 16", PictureFormat::kPng, png(rgb, PNG_COLOR_TYPE_RGB, 16), same(rgb), 0, 13, 7},
      {"png rgba 16 interlaced", PictureFormat::kPng, png(rgba, PNG_COLOR_TYPE_RGB_ALPHA, 16, true),
       same(rgba), 0, 13, 7},
      {"png grey 1", PictureFormat::kPng, png(rgb, PNG_COLOR_TYPE_GRAY, 1),
       same(GreyAtDepth(rgb, 1)), 0, 13, 7},
      {"png grey 2", PictureFormat::kPng, png(rgb, PNG_COLOR_TYPE_GRAY, 2),
       same(GreyAtDepth(rgb, 2)), 0, 13, 7},
      {"png grey 4", PictureFormat::kPng, png(rgb, PNG_COLOR_TYPE_GRAY, 4),
       same(GreyAtDepth(rgb, 4)), 0, 13, 7},
      {"png grey 8", PictureFormat::kPng, png(rgb, PNG_COLOR_TYPE_GRAY, 8),
       same(GreyAtDepth(rgb, 8)), 0, 13, 7},
      {"png grey 16", PictureFormat::kPng, png(rgb, PNG_COLOR_TYPE_GRAY, 16),
       same(GreyAtDepth(rgb, 8)), 0, 13, 7},
      {"png grey alpha 8", PictureFormat::kPng, png(rgba, PNG_COLOR_TYPE_GRAY_ALPHA, 8),
       same(GreyAtDepth(rgba, 8)), 0, 13, 7},
      {"png palette with transparency", PictureFormat::kPng, png(rgba, PNG_COLOR_TYPE_PALETTE, 8),
       same(rgba), 0, 13, 7},
      {"gif", PictureFormat::kGif, [&] { return EncodeGif({rgb}); }, same(rgb), 0, 13, 7},
      {"gif interlaced with transparency", PictureFormat::kGif,
       [&] {
         Pixels p = rgb;
         p.At(3, 2) = p.At(12, 6) = 0;
         return EncodeGif({p}, true);
       },
       [&] {
         Pixels p = rgb;
         p.At(3, 2) = p.At(12, 6) = 0;
         return OverBlack(p);
       },
       0, 13, 7},
      {"gif animated: first frame", PictureFormat::kGif,
       [&] {
         return EncodeGif({rgb, frame2});
       },
       same(rgb), 0, 13, 7},
      {"bmp 24 bits", PictureFormat::kBmp, [&] { return EncodeBmp(second); }, same(second), 0, 7,
       13},
      {"bmp 32 bits with alpha", PictureFormat::kBmp, [&] { return EncodeBmp(rgba, 32); },
       same(rgba), 0, 13, 7},
      {"tiff rgb 8", PictureFormat::kTiff, [&] { return EncodeTiff(rgb); }, same(rgb), 0, 13, 7},
      {"tiff rgb 16 deflate", PictureFormat::kTiff,
       [&] {
         return EncodeTiff(rgb, {16, false, false, 1, COMPRESSION_ADOBE_DEFLATE});
       },
       same(rgb), 0, 13, 7},
      {"tiff cmyk", PictureFormat::kTiff,
       [&] {
         return EncodeTiff(rgb, {8, true});
       },
       same(rgb), 0, 13, 7},
      {"tiff rgba unassociated", PictureFormat::kTiff,
       [&] {
         return EncodeTiff(rgba, {8, false, true});
       },
       same(rgba), 0, 13, 7},
      {"webp lossless", PictureFormat::kWebp, [&] { return EncodeWebp({rgb}); }, same(rgb), 0, 13,
       7},
      {"webp lossless with alpha", PictureFormat::kWebp, [&] { return EncodeWebp({rgba}); },
       same(rgba), 0, 13, 7},
      {"webp animated: first frame", PictureFormat::kWebp,
       [&] {
         return EncodeWebp({rgb, frame2});
       },
       same(rgb), 0, 13, 7},
      {"webp animated: first frame smaller, placed on the canvas", PictureFormat::kWebp,
       [&] {
         return EncodeWebpOnCanvas(13, 7, {{Pattern(5, 4, true), 4, 2}, {rgb, 0, 0}});
       },
       [&] {
         Pixels canvas(13, 7, 0);
         const Pixels frame = Pattern(5, 4, true);
         for (int y = 0; y < 4; ++y) {
           for (int x = 0; x < 5; ++x) canvas.At(4 + x, 2 + y) = frame.At(x, y);
         }
         return OverBlack(canvas);
       },
       0, 13, 7},
      {"webp lossy", PictureFormat::kWebp, [&] { return EncodeWebp({smooth}, false); },
       same(smooth), 12, 40, 24},
      {"heic", PictureFormat::kHeif, [&] { return EncodeHeif(smooth, heif_compression_HEVC); },
       same(smooth), 12, 40, 24},
      {"avif", PictureFormat::kHeif, [&] { return EncodeHeif(smooth, heif_compression_AV1); },
       same(smooth), 12, 40, 24},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes bytes = c.write();
    ASSERT_FALSE(bytes.empty()) << "no encoder";
    Photo photo = Photo::OpenBytes(bytes, c.name);
    EXPECT_EQ(photo.Format(), c.format);
    ASSERT_EQ(photo.Width(), c.width);
    ASSERT_EQ(photo.Height(), c.height);
    const std::vector<std::uint32_t> got = Words(photo.Level(1));
    const std::vector<std::uint32_t> want = c.expected();
    if (c.tolerance == 0) {
      EXPECT_EQ(got, want);
      continue;
    }
    int worst = 0;
    for (std::size_t i = 0; i < want.size(); ++i) {
      for (int shift : {0, 8, 16}) {
        const int a = (got[i] >> shift) & 0xFF, b = (want[i] >> shift) & 0xFF;
        worst = std::max(worst, std::abs(a - b));
      }
    }
    EXPECT_LE(worst, c.tolerance);
  }
}

// `count` colours in runs on odd rows and alone on even ones, so that RLE files hold both
// encoded and absolute runs.
Pixels Indexed(int width, int height, int count) {
  Pixels p(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int i = (y % 2 ? x / 4 + y : x * 5 + y) % count;
      p.At(x, y) = 0xFF000000u | static_cast<std::uint32_t>(i * 0x3F1D07 + 0x102030) % 0x1000000u;
    }
  }
  return p;
}

// What a 16-bit pixel keeps of each 8-bit channel, widened again by repeating its top bits.
std::uint32_t FiveBits(std::uint32_t p, bool sixGreen) {
  auto keep = [](unsigned c, int bits) {
    const unsigned v = c >> (8 - bits);
    return (v << (8 - bits) | v >> (2 * bits - 8)) & 0xFF;
  };
  return keep(Red(p), 5) << 16 | keep(Green(p), sixGreen ? 6 : 5) << 8 | keep(Blue(p), 5);
}

// Every kind of BMP file that programs write opens to its pixels: each palette depth, both
// RLE compressions (and what their moves and an early end leave out, black), 16 bits as
// 5-5-5 and as 5-6-5 bit fields, top-down rows, 32 bits with and without alpha, and each
// header size, OS/2's included.
TEST(PictureFormats, EveryBmpKindOpensToItsPixels) {
  using Expect = std::function<std::uint32_t(int x, int y, std::uint32_t argb)>;
  const Expect rgb = [](int, int, std::uint32_t p) { return p & 0xFFFFFFu; };
  const Expect overBlack = [](int, int, std::uint32_t p) { return vantrel::OverBlack(p); };
  const Expect holes = [](int x, int y, std::uint32_t p) {
    return x < 2 || y == 0 ? 0u : p & 0xFFFFFFu;  // moved past, and the top row never written
  };
  const Expect rgb555 = [](int, int, std::uint32_t p) { return FiveBits(p, false); };
  const Expect rgb565 = [](int, int, std::uint32_t p) { return FiveBits(p, true); };
  const Pixels photo = Pattern(13, 7, false), alpha = Pattern(13, 7, true);
  Pixels longRuns(300, 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 300; ++x) longRuns.At(x, y) = x < 280 ? 0xFF2050A0u : 0xFFA05020u;
  }
  struct BmpCase {
    const char* name;
    Pixels pixels;
    BmpOptions options;
    Expect expect;
  };
  const BmpCase cases[] = {
      {"1 bit", Indexed(13, 7, 2), {.bits = 1}, rgb},
      {"4 bits", Indexed(13, 7, 16), {.bits = 4}, rgb},
      {"8 bits", Indexed(13, 7, 40), {.bits = 8}, rgb},
      {"1 bit, OS/2 1.x header", Indexed(13, 7, 2), {.bits = 1, .headerSize = 12}, rgb},
      {"4 bits, OS/2 1.x header", Indexed(13, 7, 16), {.bits = 4, .headerSize = 12}, rgb},
      {"8 bits, OS/2 1.x header", Indexed(13, 7, 40), {.bits = 8, .headerSize = 12}, rgb},
      {"4 bits RLE", Indexed(13, 7, 16), {.bits = 4, .compression = 2}, rgb},
      {"8 bits RLE", Indexed(13, 7, 40), {.bits = 8, .compression = 1}, rgb},
      {"8 bits RLE, runs longer than 255", longRuns, {.bits = 8, .compression = 1}, rgb},
      {"4 bits RLE with moves and an early end",
       Indexed(13, 7, 16),
       {.bits = 4, .compression = 2, .rleHoles = true},
       holes},
      {"8 bits RLE with moves and an early end",
       Indexed(13, 7, 40),
       {.bits = 8, .compression = 1, .rleHoles = true},
       holes},
      {"8 bits RLE, OS/2 2.x header",
       Indexed(13, 7, 40),
       {.bits = 8, .compression = 1, .headerSize = 64},
       rgb},
      {"16 bits 5-5-5", photo, {.bits = 16}, rgb555},
      {"16 bits 5-6-5 bit fields", photo, {.bits = 16, .compression = 3, .rgb565 = true}, rgb565},
      {"16 bits 5-5-5 bit fields, 56-byte header",
       photo,
       {.bits = 16, .compression = 3, .headerSize = 56},
       rgb555},
      {"16 bits 5-6-5 bit fields, 52-byte header",
       photo,
       {.bits = 16, .compression = 3, .headerSize = 52, .rgb565 = true},
       rgb565},
      {"24 bits top-down", photo, {.bits = 24, .topDown = true}, rgb},
      {"24 bits, OS/2 2.x header", photo, {.bits = 24, .headerSize = 64}, rgb},
      {"32 bits", photo, {.bits = 32}, rgb},
      {"32 bits with alpha, 124-byte header",
       alpha,
       {.bits = 32, .compression = 3, .headerSize = 124},
       overBlack},
      {"32 bits with alpha, 56-byte header",
       alpha,
       {.bits = 32, .compression = 3, .headerSize = 56},
       overBlack},
  };
  for (const BmpCase& c : cases) {
    SCOPED_TRACE(c.name);
    Photo photo = Photo::OpenBytes(EncodeBmp(c.pixels, c.options), "kind.bmp");
    ASSERT_EQ(photo.Width(), c.pixels.width);
    ASSERT_EQ(photo.Height(), c.pixels.height);
    std::vector<std::uint32_t> want;
    for (int y = 0; y < c.pixels.height; ++y) {
      for (int x = 0; x < c.pixels.width; ++x) want.push_back(c.expect(x, y, c.pixels.At(x, y)));
    }
    EXPECT_EQ(Words(photo.Level(1)), want);
  }
}

// A kind of BMP file that no library here reads is refused with a message naming it.
TEST(PictureFormats, UnreadableBmpKindsAreNamed) {
  const Pixels photo = Pattern(13, 7, false);
  const std::pair<BmpOptions, const char*> cases[] = {
      {{.compression = 4}, "JPEG-compressed BMP is not supported"},
      {{.compression = 5}, "PNG-compressed BMP is not supported"},
      {{.bits = 32, .compression = 6},
       "BMP with alpha bit fields (compression 6) is not supported"},
      {{.compression = 11}, "CMYK BMP is not supported"},
      {{.compression = 9}, "unknown BMP compression (9)"},
      {{.compression = 3, .headerSize = 64}, "Huffman-compressed BMP is not supported"},
      {{.compression = 4, .headerSize = 64}, "RLE24-compressed BMP is not supported"},
      {{.headerSize = 20}, "OS/2 BMP with a 20-byte header is not supported"},
      {{.headerSize = 100}, "unknown BMP header (100 bytes)"},
      {{.bits = 8, .compression = 1, .topDown = true}, "Topdown BMP images cannot be compressed"},
  };
  for (const auto& [options, message] : cases) {
    SCOPED_TRACE(message);
    try {
      Photo::OpenBytes(EncodeBmp(options.bits <= 8 ? Indexed(13, 7, 40) : photo, options), "k.bmp");
      ADD_FAILURE() << "opened";
    } catch (const vantrel::VantrelError& e) {
      EXPECT_EQ(std::string(e.what()), std::string("Cannot open BMP file k.bmp: ") + message);
    }
  }
}

// The EXIF orientations, each shown as the upright picture of the stored 3 x 2 picture
// "ABC / DEF" (what the standard's row-0 / column-0 descriptions give).
struct OrientationCase {
  int orientation;
  int width, height;
  const char* upright;  // rows top to bottom
};
const OrientationCase kOrientations[] = {
    {1, 3, 2, "ABCDEF"}, {2, 3, 2, "CBAFED"}, {3, 3, 2, "FEDCBA"}, {4, 3, 2, "DEFABC"},
    {5, 2, 3, "ADBECF"}, {6, 2, 3, "DAEBFC"}, {7, 2, 3, "FCEBDA"}, {8, 2, 3, "CFBEAD"},
};

std::uint32_t CellColour(char cell) {
  static const std::uint32_t colours[] = {0xE02020, 0x20C020, 0x2040E0,
                                          0xE0E020, 0x20E0E0, 0xE020E0};
  return 0xFF000000u | colours[cell - 'A'];
}

// The stored picture with cells of `cell` x `cell` pixels.
Pixels Stored(int cell) {
  Pixels p(3 * cell, 2 * cell);
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) p.At(x, y) = CellColour("ABCDEF"[y / cell * 3 + x / cell]);
  }
  return p;
}

TEST(PictureFormats, EveryOrientationTurnsUpright) {
  const jpeg_samples::TempFolder folder;
  auto jpegWith = [&](int orientation) {
    const Pixels cells = Stored(16);
    jpeg_samples::RawImage raw(cells.width, cells.height, 3);
    for (int y = 0; y < cells.height; ++y) {
      for (int x = 0; x < cells.width; ++x) {
        const std::uint32_t p = cells.At(x, y);
        raw.Pixel(x, y)[0] = Red(p), raw.Pixel(x, y)[1] = Green(p), raw.Pixel(x, y)[2] = Blue(p);
      }
    }
    jpeg_samples::WriteJpeg(folder / "cells.jpg", raw, {.quality = 95});
    // Big-endian EXIF for the odd orientations, as some cameras write it.
    return WithJpegExif(jpeg_samples::ReadBytes(folder / "cells.jpg"), orientation,
                        orientation % 2 == 1);
  };
  struct Writer {
    const char* name;
    int cell;       // pixels per cell side
    int tolerance;  // at cell centres
    std::function<Bytes(int)> write;
  };
  const std::vector<Writer> writers = {
      {"png", 1, 0,
       [](int o) {
         return EncodePng(Stored(1), {PNG_COLOR_TYPE_RGB, 8, false, o});
       }},
      {"tiff", 1, 0,
       [](int o) {
         return EncodeTiff(Stored(1), {8, false, false, o});
       }},
      {"webp", 1, 0, [](int o) { return EncodeWebp({Stored(1)}, true, o); }},
      {"jpeg", 16, 24, jpegWith},
  };
  for (const Writer& writer : writers) {
    for (const OrientationCase& c : kOrientations) {
      SCOPED_TRACE(std::string(writer.name) + " orientation " + std::to_string(c.orientation));
      Photo photo = Photo::OpenBytes(writer.write(c.orientation), "oriented");
      EXPECT_EQ(photo.Orientation(), c.orientation);
      ASSERT_EQ(photo.Width(), c.width * writer.cell);
      ASSERT_EQ(photo.Height(), c.height * writer.cell);
      const Bitmap32& upright = photo.Level(1);
      ASSERT_EQ(upright.Width(), photo.Width());
      for (int cy = 0; cy < c.height; ++cy) {
        for (int cx = 0; cx < c.width; ++cx) {
          const std::uint32_t want = CellColour(c.upright[cy * c.width + cx]);
          const std::uint32_t got = upright.ScanLine(
              cy * writer.cell + writer.cell / 2)[cx * writer.cell + writer.cell / 2];
          for (int shift : {0, 8, 16}) {
            EXPECT_NEAR((got >> shift) & 0xFF, (want >> shift) & 0xFF, writer.tolerance)
                << "cell " << cx << "," << cy;
          }
        }
      }
    }
  }
}

// A JPEG without an orientation or with orientation 1 opens to exactly the picture the
// JPEG decoder gives, at every reduced level too.
TEST(PictureFormats, UprightJpegKeepsDecoderPixels) {
  const jpeg_samples::TempFolder folder;
  const std::string sample = VANTREL_TEST_DATA "/astronaut.jpg";
  const Bytes plain = jpeg_samples::ReadBytes(sample);
  const std::vector<std::pair<std::string, Bytes>> files = {
      {"no EXIF", plain}, {"orientation 1", WithJpegExif(plain, 1)}};
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    const std::string path = (folder / "photo.jpg").string();
    jpeg_samples::WriteBytes(path, bytes);
    Photo photo = Photo::OpenFile(path);
    Bitmap32 decoded;
    vantrel::DecodeJpegFile(path, decoded);
    EXPECT_EQ(Words(photo.Level(1)), Words(decoded));
    for (int reduction : {2, 4, 8}) {
      Bitmap32 reduced;
      vantrel::DecodeJpegMemoryReduced(bytes.data(), bytes.size(), reduction, reduced, name);
      EXPECT_EQ(Words(photo.Level(reduction)), Words(reduced)) << "1/" << reduction;
      EXPECT_EQ(reduced.Width(), (decoded.Width() + reduction - 1) / reduction);
    }
  }
}

}  // namespace
