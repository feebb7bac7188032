// Writes the seed corpus of the picture fuzz target: small files of every format besides
// JPEG, in the variants their decoders treat differently (bit depths, palettes, alpha,
// interlacing, animation, CMYK, orientation tags). Run once by hand:
//   make_picture_corpus <output folder>
// The files it wrote are committed; rerunning it is only needed to add kinds.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/picture_writers.h"

using namespace picture_writers;
namespace fs = std::filesystem;

namespace {

Pixels Pattern(int width, int height, bool alpha) {
  Pixels p(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint32_t a = alpha ? (x * 8 + y * 4) % 256 : 255;
      p.At(x, y) = a << 24 | (x * 9 % 256) << 16 | (y * 7 % 256) << 8 | ((x ^ y) * 5 % 256);
    }
  }
  return p;
}

// Few colours, for the palette formats.
Pixels Blocks(int width, int height) {
  Pixels p(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) p.At(x, y) = 0xFF000000u | ((x / 4 + y / 4) % 6) * 0x2A1F33u;
  }
  return p;
}

void Write(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_picture_corpus <output folder>\n");
    return 2;
  }
  const fs::path out = argv[1];
  fs::create_directories(out);
  const Pixels rgb = Pattern(24, 20, false), rgba = Pattern(24, 20, true);
  const Pixels blocks = Blocks(24, 20);
  Write(out / "rgb8.png", EncodePng(rgb));
  Write(out / "rgba16_interlaced.png", EncodePng(rgba, {PNG_COLOR_TYPE_RGB_ALPHA, 16, true, 0}));
  Write(out / "grey2.png", EncodePng(rgb, {PNG_COLOR_TYPE_GRAY, 2, false, 0}));
  Write(out / "grey_alpha.png", EncodePng(rgba, {PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, 0}));
  Write(out / "palette_orientation6.png", EncodePng(blocks, {PNG_COLOR_TYPE_PALETTE, 8, false, 6}));
  Write(out / "still.gif", EncodeGif({blocks}));
  Write(out / "animated_interlaced.gif", EncodeGif({blocks, Blocks(24, 20)}, true));
  Write(out / "rgb24.bmp", EncodeBmp(rgb));
  Write(out / "rgba32.bmp", EncodeBmp(rgba, 32));
  Write(out / "rle8.bmp", EncodeBmp(blocks, BmpOptions{.bits = 8, .compression = 1}));
  Write(out / "rle4_holes.bmp",
        EncodeBmp(blocks, BmpOptions{.bits = 4, .compression = 2, .rleHoles = true}));
  Write(out / "rgb565_v3.bmp",
        EncodeBmp(rgb, BmpOptions{.bits = 16, .compression = 3, .headerSize = 56, .rgb565 = true}));
  Write(out / "rgb8.tif", EncodeTiff(rgb));
  Write(out / "rgb16_deflate_orientation8.tif",
        EncodeTiff(rgb, {16, false, false, 8, COMPRESSION_ADOBE_DEFLATE}));
  Write(out / "cmyk_lzw.tif", EncodeTiff(rgb, {8, true, false, 1, COMPRESSION_LZW}));
  Write(out / "rgba_packbits.tif", EncodeTiff(rgba, {8, false, true, 3, COMPRESSION_PACKBITS}));
  Write(out / "lossless.webp", EncodeWebp({rgba}));
  Write(out / "lossy.webp", EncodeWebp({rgb}, false));
  Write(out / "orientation5.webp", EncodeWebp({rgb}, true, 5));
  Write(out / "animated.webp", EncodeWebp({blocks, rgb}));
  Write(out / "still.heic", EncodeHeif(Pattern(16, 16, false), heif_compression_HEVC));
  Write(out / "still.avif", EncodeHeif(Pattern(16, 16, false), heif_compression_AV1));
  return 0;
}
