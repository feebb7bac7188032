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

// 24 bits bottom-up, or 32 bits (BI_BITFIELDS with alpha) top-down.
inline Bytes EncodeBmp(const Pixels& pixels, int bitsPerPixel = 24) {
  const bool alpha = bitsPerPixel == 32;
  const std::uint32_t stride = (pixels.width * (bitsPerPixel / 8) + 3) & ~3u;
  const std::uint32_t headerSize = alpha ? 108 : 40;
  const std::uint32_t offset = 14 + headerSize;
  Bytes b;
  auto u16 = [&](unsigned v) { b.push_back(v & 0xFF), b.push_back((v >> 8) & 0xFF); };
  auto u32 = [&](std::uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  b.push_back('B'), b.push_back('M');
  u32(offset + stride * pixels.height), u32(0), u32(offset);
  u32(headerSize), u32(pixels.width);
  u32(alpha ? static_cast<std::uint32_t>(-pixels.height) : pixels.height);
  u16(1), u16(bitsPerPixel), u32(alpha ? 3 : 0), u32(stride * pixels.height);
  u32(2835), u32(2835), u32(0), u32(0);
  if (alpha) {
    u32(0x00FF0000), u32(0x0000FF00), u32(0x000000FF), u32(0xFF000000);
    u32(0x73524742);  // "sRGB"
    for (int i = 0; i < 12; ++i) u32(0);
  }
  for (int row = 0; row < pixels.height; ++row) {
    const int y = alpha ? row : pixels.height - 1 - row;
    const std::size_t start = b.size();
    for (int x = 0; x < pixels.width; ++x) {
      const std::uint32_t p = pixels.At(x, y);
      b.push_back(Blue(p)), b.push_back(Green(p)), b.push_back(Red(p));
      if (alpha) b.push_back(Alpha(p));
    }
    b.resize(start + stride, 0);
  }
  return b;
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
