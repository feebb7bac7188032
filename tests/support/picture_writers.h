// Small picture files of every supported format, written with each format's own library
// (BMP, a fixed little format, by hand), for the decoders' tests, benchmarks and the
// fuzz corpus. Pixels go in as 0xAARRGGBB words.
#pragma once

#include <gif_lib.h>
#include <libheif/heif.h>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace picture_writers {

using Bytes = std::vector<std::uint8_t>;

struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> argb;  // row by row

  Pixels() = default;
  Pixels(int w, int h, std::uint32_t fill = 0xFF000000u)
      : width(w), height(h), argb(static_cast<std::size_t>(w) * h, fill) {}
  std::uint32_t& At(int x, int y) { return argb[static_cast<std::size_t>(y) * width + x]; }
  std::uint32_t At(int x, int y) const { return argb[static_cast<std::size_t>(y) * width + x]; }
};

inline std::uint8_t Red(std::uint32_t p) { return (p >> 16) & 0xFF; }
inline std::uint8_t Green(std::uint32_t p) { return (p >> 8) & 0xFF; }
inline std::uint8_t Blue(std::uint32_t p) { return p & 0xFF; }
inline std::uint8_t Alpha(std::uint32_t p) { return p >> 24; }

// A minimal EXIF block ("Exif\0\0", TIFF header, IFD0 holding the orientation tag alone).
inline Bytes ExifBlock(int orientation, bool bigEndian = false, bool prefix = true) {
  Bytes b;
  if (prefix) b = {'E', 'x', 'i', 'f', 0, 0};
  auto u16 = [&](unsigned v) {
    if (bigEndian) {
      b.push_back(v >> 8), b.push_back(v & 0xFF);
    } else {
      b.push_back(v & 0xFF), b.push_back(v >> 8);
    }
  };
  auto u32 = [&](unsigned v) {
    if (bigEndian) {
      u16(v >> 16), u16(v & 0xFFFF);
    } else {
      u16(v & 0xFFFF), u16(v >> 16);
    }
  };
  b.push_back(bigEndian ? 'M' : 'I'), b.push_back(bigEndian ? 'M' : 'I');
  u16(42), u32(8), u16(1);
  u16(0x0112), u16(3), u32(1), u16(orientation), u16(0);
  u32(0);  // no next IFD
  return b;
}

// A JPEG file with an EXIF APP1 segment holding `orientation` right after its SOI marker.
inline Bytes WithJpegExif(const Bytes& jpeg, int orientation, bool bigEndian = false) {
  const Bytes exif = ExifBlock(orientation, bigEndian);
  const std::size_t length = exif.size() + 2;
  Bytes out;
  out.reserve(jpeg.size() + length + 2);
  out.push_back(jpeg[0]), out.push_back(jpeg[1]);  // SOI
  out.push_back(0xFF), out.push_back(0xE1);
  out.push_back(static_cast<std::uint8_t>(length >> 8));
  out.push_back(static_cast<std::uint8_t>(length & 0xFF));
  for (std::uint8_t byte : exif) out.push_back(byte);
  for (std::size_t i = 2; i < jpeg.size(); ++i) out.push_back(jpeg[i]);
  return out;
}

// ---- PNG ----------------------------------------------------------------------------

struct PngOptions {
  int colourType = PNG_COLOR_TYPE_RGB;  // grey variants take the red channel
  int bitDepth = 8;
  bool interlace = false;
  int orientation = 0;  // 0: no eXIf chunk
};

inline Bytes EncodePng(const Pixels& pixels, const PngOptions& options = {}) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) throw std::runtime_error("libpng could not write");
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t n) {
        auto* bytes = static_cast<Bytes*>(png_get_io_ptr(p));
        bytes->insert(bytes->end(), data, data + n);
      },
      nullptr);
  const int type = options.colourType;
  const int depth = options.bitDepth;
  png_set_IHDR(png, info, pixels.width, pixels.height, depth, type,
               options.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::map<std::uint32_t, int> index;
  if (type == PNG_COLOR_TYPE_PALETTE) {
    std::vector<png_color> palette;
    std::vector<png_byte> alpha;
    for (std::uint32_t p : pixels.argb) {
      if (index.count(p)) continue;
      index[p] = static_cast<int>(palette.size());
      palette.push_back({Red(p), Green(p), Blue(p)});
      alpha.push_back(Alpha(p));
    }
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    png_set_tRNS(png, info, alpha.data(), static_cast<int>(alpha.size()), nullptr);
  }
  Bytes exif;
  if (options.orientation) {
    exif = ExifBlock(options.orientation, false, false);
    png_set_eXIf_1(png, info, static_cast<png_uint_32>(exif.size()), exif.data());
  }
  png_write_info(png, info);
  if (depth == 16) png_set_swap(png);  // samples below are little-endian in memory
  const int channels = type == PNG_COLOR_TYPE_RGB          ? 3
                       : type == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                       : type == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                           : 1;
  const int max = (1 << depth) - 1;
  std::vector<Bytes> rows(pixels.height);
  for (int y = 0; y < pixels.height; ++y) {
    std::vector<unsigned> samples;
    for (int x = 0; x < pixels.width; ++x) {
      const std::uint32_t p = pixels.At(x, y);
      auto scaled = [&](unsigned v) { return (v * max + 127) / 255; };
      switch (type) {
        case PNG_COLOR_TYPE_PALETTE:
          samples.push_back(index[p]);
          break;
        case PNG_COLOR_TYPE_GRAY:
          samples.push_back(scaled(Red(p)));
          break;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
          samples.push_back(scaled(Red(p))), samples.push_back(scaled(Alpha(p)));
          break;
        default:
          samples.push_back(scaled(Red(p))), samples.push_back(scaled(Green(p)));
          samples.push_back(scaled(Blue(p)));
          if (channels == 4) samples.push_back(scaled(Alpha(p)));
      }
    }
    Bytes& row = rows[y];
    row.assign((static_cast<std::size_t>(pixels.width) * channels * depth + 7) / 8, 0);
    for (std::size_t i = 0; i < samples.size(); ++i) {
      if (depth == 16) {
        row[2 * i] = samples[i] & 0xFF, row[2 * i + 1] = samples[i] >> 8;
      } else if (depth == 8) {
        row[i] = static_cast<std::uint8_t>(samples[i]);
      } else {
        const std::size_t bit = i * depth;
        row[bit / 8] |= static_cast<std::uint8_t>(samples[i] << (8 - depth - bit % 8));
      }
    }
  }
  std::vector<png_bytep> pointers;
  for (Bytes& row : rows) pointers.push_back(row.data());
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// ---- GIF ----------------------------------------------------------------------------

// All frames cover the whole canvas; colours with alpha 0 become the transparent index.
inline Bytes EncodeGif(const std::vector<Pixels>& frames, bool interlace = false) {
  std::map<std::uint32_t, int> index;
  std::vector<GifColorType> colours;
  int transparent = NO_TRANSPARENT_COLOR;
  for (const Pixels& frame : frames) {
    for (std::uint32_t p : frame.argb) {
      const std::uint32_t key = Alpha(p) == 0 ? 0 : p;
      if (index.count(key)) continue;
      index[key] = static_cast<int>(colours.size());
      if (key == 0) transparent = index[key];
      colours.push_back({Red(key), Green(key), Blue(key)});
    }
  }
  int bits = 1;
  while ((1 << bits) < static_cast<int>(colours.size())) ++bits;
  colours.resize(1u << bits);
  ColorMapObject* map = GifMakeMapObject(1 << bits, colours.data());
  Bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(
      &out,
      [](GifFileType* g, const GifByteType* data, int n) {
        auto* bytes = static_cast<Bytes*>(g->UserData);
        bytes->insert(bytes->end(), data, data + n);
        return n;
      },
      &error);
  EGifSetGifVersion(gif, true);
  const int width = frames[0].width, height = frames[0].height;
  EGifPutScreenDesc(gif, width, height, bits, 0, map);
  for (const Pixels& frame : frames) {
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSE_DO_NOT;
    control.DelayTime = 10;
    control.TransparentColor = transparent;
    GifByteType extension[4];
    const std::size_t length = EGifGCBToExtension(&control, extension);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension);
    EGifPutImageDesc(gif, 0, 0, width, height, interlace, nullptr);
    std::vector<GifPixelType> line(width);
    auto put = [&](int y) {
      for (int x = 0; x < width; ++x) {
        const std::uint32_t p = frame.At(x, y);
        line[x] = static_cast<GifPixelType>(index[Alpha(p) == 0 ? 0 : p]);
      }
      EGifPutLine(gif, line.data(), width);
    };
    if (interlace) {
      const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
      for (int pass = 0; pass < 4; ++pass) {
        for (int y = start[pass]; y < height; y += step[pass]) put(y);
      }
    } else {
      for (int y = 0; y < height; ++y) put(y);
    }
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

// ---- BMP ----------------------------------------------------------------------------

// The kinds of BMP file programs write. Palette kinds (1, 4 and 8 bits and the RLE ones)
// take their colours in order of first appearance and need few enough of them.
struct BmpOptions {
  int bits = 24;         // 1, 4, 8, 16, 24 or 32
  int compression = 0;   // 0 none, 1 RLE8, 2 RLE4, 3 bit fields, or any value to write as is
  int headerSize = 40;   // 12 (OS/2 1.x), 40, 52, 56, 108, 124 or 64 (OS/2 2.x)
  bool topDown = false;  // rows stored top row first, the height negated
  bool rgb565 = false;   // 16-bit bit fields: 5-6-5 rather than 5-5-5
  // RLE only: each row starts with a move two pixels right, and the picture ends one row
  // early; the pixels skipped so are left out.
  bool rleHoles = false;
};

inline Bytes EncodeBmp(const Pixels& pixels, const BmpOptions& o) {
  const bool rle = o.compression == 1 || o.compression == 2;
  std::vector<std::uint32_t> palette;
  std::map<std::uint32_t, int> index;
  if (o.bits <= 8) {
    for (std::uint32_t p : pixels.argb) {
      if (index.count(p & 0xFFFFFFu)) continue;
      index[p & 0xFFFFFFu] = static_cast<int>(palette.size());
      palette.push_back(p & 0xFFFFFFu);
    }
    if (palette.size() > (1u << o.bits)) throw std::runtime_error("too many colours for BMP");
    // An OS/2 1.x header has no count: its palette always has every entry.
    if (o.headerSize == 12) palette.resize(1u << o.bits, 0);
  }
  std::uint32_t masks[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  if (o.bits == 16) {
    masks[0] = o.rgb565 ? 0xF800 : 0x7C00, masks[1] = o.rgb565 ? 0x07E0 : 0x03E0;
    masks[2] = 0x001F, masks[3] = 0;
  }
  // Rows in storage order.
  Bytes data;
  auto put = [&](unsigned v) { data.push_back(static_cast<std::uint8_t>(v)); };
  for (int row = 0; row < pixels.height; ++row) {
    const int y = o.topDown ? row : pixels.height - 1 - row;
    std::vector<int> indices;
    for (int x = 0; x < pixels.width; ++x) {
      indices.push_back(o.bits <= 8 ? index[pixels.At(x, y) & 0xFFFFFFu] : 0);
    }
    if (rle) {
      if (o.rleHoles && row == pixels.height - 1) break;
      int x = 0;
      if (o.rleHoles) put(0), put(2), put(2), put(0), x = 2;
      const bool four = o.compression == 2;
      while (x < pixels.width) {
        int run = 1;
        while (x + run < pixels.width && run < 255 && indices[x + run] == indices[x]) ++run;
        if (run >= 3 || pixels.width - x < 3) {
          put(run), put(four ? indices[x] * 17 : indices[x]);
          x += run;
          continue;
        }
        // Unequal neighbours: an absolute run up to the next three equal ones.
        int length = 0;
        while (x + length < pixels.width && length < 255 &&
               !(x + length + 2 < pixels.width && indices[x + length] == indices[x + length + 1] &&
                 indices[x + length] == indices[x + length + 2])) {
          ++length;
        }
        if (length < 3) length = std::min(3, pixels.width - x);
        put(0), put(length);
        const std::size_t start = data.size();
        for (int i = 0; i < length; ++i) {
          if (!four) {
            put(indices[x + i]);
          } else if (i % 2 == 0) {
            put(indices[x + i] << 4);
          } else {
            data.back() |= static_cast<std::uint8_t>(indices[x + i]);
          }
        }
        if ((data.size() - start) % 2) put(0);
        x += length;
      }
      const int last = pixels.height - (o.rleHoles ? 2 : 1);
      put(0), put(row == last ? 1 : 0);  // end of the row, or of the picture
      continue;
    }
    const std::size_t start = data.size();
    for (int x = 0; x < pixels.width; ++x) {
      const std::uint32_t p = pixels.At(x, y);
      if (o.bits < 8) {
        const int perByte = 8 / o.bits;
        if (x % perByte == 0) put(0);
        data.back() |= static_cast<std::uint8_t>(indices[x] << (8 - o.bits * (x % perByte + 1)));
      } else if (o.bits == 8) {
        put(indices[x]);
      } else if (o.bits == 16) {
        const unsigned r = Red(p) >> 3, g = Green(p) >> (o.rgb565 ? 2 : 3), b = Blue(p) >> 3;
        const unsigned v = o.rgb565 ? r << 11 | g << 5 | b : r << 10 | g << 5 | b;
        put(v & 0xFF), put(v >> 8);
      } else {
        put(Blue(p)), put(Green(p)), put(Red(p));
        if (o.bits == 32) put(o.compression == 3 ? Alpha(p) : 0);
      }
    }
    while ((data.size() - start) % 4) put(0);
  }
  if (rle && data.size() % 2) put(0);

  const bool core = o.headerSize == 12;
  const bool maskAfterHeader = o.compression == 3 && o.headerSize == 40;
  const std::uint32_t paletteBytes = static_cast<std::uint32_t>(palette.size()) * (core ? 3 : 4);
  const std::uint32_t offset = 14 + o.headerSize + (maskAfterHeader ? 12 : 0) + paletteBytes;
  Bytes b;
  auto u16 = [&](unsigned v) { b.push_back(v & 0xFF), b.push_back((v >> 8) & 0xFF); };
  auto u32 = [&](std::uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  b.push_back('B'), b.push_back('M');
  u32(offset + static_cast<std::uint32_t>(data.size())), u32(0), u32(offset);
  u32(o.headerSize);
  const std::uint32_t height = o.topDown ? static_cast<std::uint32_t>(-pixels.height)
                                         : static_cast<std::uint32_t>(pixels.height);
  if (core) {
    u16(pixels.width), u16(height), u16(1), u16(o.bits);
  } else {
    u32(pixels.width), u32(height), u16(1), u16(o.bits), u32(o.compression);
    u32(static_cast<std::uint32_t>(data.size())), u32(2835), u32(2835);
    u32(static_cast<std::uint32_t>(palette.size())), u32(0);
    if (o.headerSize >= 52 && o.headerSize != 64) {
      const bool fields = o.compression == 3;
      u32(fields ? masks[0] : 0), u32(fields ? masks[1] : 0), u32(fields ? masks[2] : 0);
      if (o.headerSize >= 56) u32(fields ? masks[3] : 0);
      if (o.headerSize >= 108) {
        u32(0x73524742);  // "sRGB"
        for (int i = 0; i < 12; ++i) u32(0);
      }
      if (o.headerSize == 124) u32(4), u32(0), u32(0), u32(0);  // perceptual, no profile
    }
    b.resize(14 + o.headerSize, 0);  // OS/2 2.x: its own fields, all zero
    if (maskAfterHeader) u32(masks[0]), u32(masks[1]), u32(masks[2]);
  }
  for (std::uint32_t c : palette) {
    b.push_back(Blue(c)), b.push_back(Green(c)), b.push_back(Red(c));
    if (!core) b.push_back(0);
  }
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

// 24 bits bottom-up, or 32 bits (bit fields with alpha, 108-byte header) top-down.
inline Bytes EncodeBmp(const Pixels& pixels, int bitsPerPixel = 24) {
  if (bitsPerPixel == 32) return EncodeBmp(pixels, BmpOptions{32, 3, 108, true});
  return EncodeBmp(pixels, BmpOptions{});
}

// ---- TIFF ---------------------------------------------------------------------------

struct TiffOptions {
  int bitsPerSample = 8;  // 8 or 16
  bool cmyk = false;      // inks from RGB: C = 255 - R, ..., K = 0
  bool alpha = false;     // unassociated alpha
  int orientation = 1;
  int compression = COMPRESSION_NONE;
};

inline Bytes EncodeTiff(const Pixels& pixels, const TiffOptions& options = {}) {
  char path[] = "/tmp/vantrel-tiff-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) throw std::runtime_error("cannot make a temporary file");
  close(fd);
  TIFF* tiff = TIFFOpen(path, "w");
  const int channels = options.cmyk ? 4 : options.alpha ? 4 : 3;
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, pixels.width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, pixels.height);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, options.bitsPerSample);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, channels);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, options.cmyk ? PHOTOMETRIC_SEPARATED : PHOTOMETRIC_RGB);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, options.compression);
  TIFFSetField(tiff, TIFFTAG_ORIENTATION, options.orientation);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 4);
  if (options.alpha && !options.cmyk) {
    const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, extra);
  }
  const int bytes = options.bitsPerSample / 8;
  std::vector<std::uint8_t> row(static_cast<std::size_t>(pixels.width) * channels * bytes);
  for (int y = 0; y < pixels.height; ++y) {
    std::size_t i = 0;
    auto put = [&](unsigned v) {
      if (bytes == 2) {
        const std::uint16_t wide = static_cast<std::uint16_t>(v * 257);
        std::memcpy(&row[i], &wide, 2);
        i += 2;
      } else {
        row[i++] = static_cast<std::uint8_t>(v);
      }
    };
    for (int x = 0; x < pixels.width; ++x) {
      const std::uint32_t p = pixels.At(x, y);
      if (options.cmyk) {
        put(255 - Red(p)), put(255 - Green(p)), put(255 - Blue(p)), put(0);
      } else {
        put(Red(p)), put(Green(p)), put(Blue(p));
        if (options.alpha) put(Alpha(p));
      }
    }
    TIFFWriteScanline(tiff, row.data(), y, 0);
  }
  TIFFClose(tiff);
  std::FILE* file = std::fopen(path, "rb");
  Bytes out;
  for (int c; (c = std::fgetc(file)) != EOF;) out.push_back(static_cast<std::uint8_t>(c));
  std::fclose(file);
  std::remove(path);
  return out;
}

// ---- WebP ---------------------------------------------------------------------------

inline Bytes WebpStill(const Pixels& pixels, bool lossless) {
  std::vector<std::uint8_t> bgra;
  for (std::uint32_t p : pixels.argb) {
    bgra.push_back(Blue(p)), bgra.push_back(Green(p)), bgra.push_back(Red(p));
    bgra.push_back(Alpha(p));
  }
  std::uint8_t* data = nullptr;
  const std::size_t size = lossless ? WebPEncodeLosslessBGRA(bgra.data(), pixels.width,
                                                             pixels.height, pixels.width * 4, &data)
                                    : WebPEncodeBGRA(bgra.data(), pixels.width, pixels.height,
                                                     pixels.width * 4, 95, &data);
  Bytes out(data, data + size);
  WebPFree(data);
  return out;
}

// A still (with an EXIF chunk when orientation is set) or, with several frames, a
// lossless animation.
inline Bytes EncodeWebp(const std::vector<Pixels>& frames, bool lossless = true,
                        int orientation = 0) {
  if (frames.size() == 1 && orientation == 0) return WebpStill(frames[0], lossless);
  WebPData assembled{};
  if (frames.size() == 1) {
    const Bytes still = WebpStill(frames[0], lossless);
    const Bytes exif = ExifBlock(orientation, false, false);
    WebPMux* mux = WebPMuxNew();
    const WebPData image{still.data(), still.size()}, chunk{exif.data(), exif.size()};
    WebPMuxSetImage(mux, &image, 1);
    WebPMuxSetChunk(mux, "EXIF", &chunk, 1);
    WebPMuxAssemble(mux, &assembled);
    WebPMuxDelete(mux);
  } else {
    WebPAnimEncoderOptions animOptions;
    WebPAnimEncoderOptionsInit(&animOptions);
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(frames[0].width, frames[0].height, &animOptions);
    WebPConfig config;
    WebPConfigInit(&config);
    config.lossless = 1;
    int timestamp = 0;
    for (const Pixels& frame : frames) {
      WebPPicture picture;
      WebPPictureInit(&picture);
      picture.use_argb = 1;
      picture.width = frame.width;
      picture.height = frame.height;
      WebPPictureAlloc(&picture);
      std::copy(frame.argb.begin(), frame.argb.end(), picture.argb);
      WebPAnimEncoderAdd(encoder, &picture, timestamp, &config);
      WebPPictureFree(&picture);
      timestamp += 100;
    }
    WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr);
    WebPAnimEncoderAssemble(encoder, &assembled);
    WebPAnimEncoderDelete(encoder);
  }
  Bytes out(assembled.bytes, assembled.bytes + assembled.size);
  WebPDataClear(&assembled);
  return out;
}

// A lossless animation on a canvas of width x height, each frame at its place (even
// offsets: the format halves them), blended over what is below.
struct Frame {
  Pixels pixels;
  int x = 0, y = 0;
};
inline Bytes EncodeWebpOnCanvas(int width, int height, const std::vector<Frame>& frames) {
  WebPMux* mux = WebPMuxNew();
  std::vector<Bytes> stills;
  for (const Frame& frame : frames) stills.push_back(WebpStill(frame.pixels, true));
  for (std::size_t i = 0; i < frames.size(); ++i) {
    WebPMuxFrameInfo info{};
    info.bitstream = {stills[i].data(), stills[i].size()};
    info.x_offset = frames[i].x;
    info.y_offset = frames[i].y;
    info.duration = 100;
    info.id = WEBP_CHUNK_ANMF;
    info.dispose_method = WEBP_MUX_DISPOSE_NONE;
    info.blend_method = WEBP_MUX_BLEND;
    WebPMuxPushFrame(mux, &info, 1);
  }
  const WebPMuxAnimParams params{0xFF808080u, 0};  // a grey background, which players ignore
  WebPMuxSetAnimationParams(mux, &params);
  WebPMuxSetCanvasSize(mux, width, height);
  WebPData assembled{};
  const WebPMuxError status = WebPMuxAssemble(mux, &assembled);
  WebPMuxDelete(mux);
  if (status != WEBP_MUX_OK) throw std::runtime_error("cannot assemble the animation");
  Bytes out(assembled.bytes, assembled.bytes + assembled.size);
  WebPDataClear(&assembled);
  return out;
}

// ---- HEIF ---------------------------------------------------------------------------

// HEIC (HEVC) or AVIF (AV1), lossy at high quality; empty when libheif has no encoder.
inline Bytes EncodeHeif(const Pixels& pixels, heif_compression_format format) {
  heif_context* context = heif_context_alloc();
  heif_encoder* encoder = nullptr;
  if (heif_context_get_encoder_for_format(context, format, &encoder).code != heif_error_Ok) {
    heif_context_free(context);
    return {};
  }
  heif_encoder_set_lossy_quality(encoder, 95);
  heif_image* image = nullptr;
  heif_image_create(pixels.width, pixels.height, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                    &image);
  heif_image_add_plane(image, heif_channel_interleaved, pixels.width, pixels.height, 8);
  int stride = 0;
  std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
  for (int y = 0; y < pixels.height; ++y) {
    for (int x = 0; x < pixels.width; ++x) {
      const std::uint32_t p = pixels.At(x, y);
      std::uint8_t* q = plane + static_cast<std::size_t>(y) * stride + 3 * x;
      q[0] = Red(p), q[1] = Green(p), q[2] = Blue(p);
    }
  }
  heif_context_encode_image(context, image, encoder, nullptr, nullptr);
  Bytes out;
  heif_writer writer{};
  writer.writer_api_version = 1;
  writer.write = [](heif_context*, const void* data, size_t size, void* user) {
    auto* bytes = static_cast<Bytes*>(user);
    const auto* begin = static_cast<const std::uint8_t*>(data);
    bytes->insert(bytes->end(), begin, begin + size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
  };
  heif_context_write(context, &writer, &out);
  heif_image_release(image);
  heif_encoder_release(encoder);
  heif_context_free(context);
  return out;
}

}  // namespace picture_writers
