// Small files that cost a decoder far more than their size suggests, made here for the
// hardening tests and for bench/hostile_files.sh, which runs the command line on them (with
// an animation on a huge canvas from picture_writers' EncodeWebpOnCanvas).
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/picture_writers.h"
// jpeglib.h expects FILE and size_t to be declared before it.
#include <jpeglib.h>

namespace hostile_files {

using picture_writers::Bytes;
using picture_writers::Pixels;

inline void PutBig32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}
inline void PutLittle(Bytes& b, std::size_t at, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline std::size_t Find(const Bytes& b, const char* text) {
  const std::size_t length = std::strlen(text);
  for (std::size_t i = 0; i + length <= b.size(); ++i) {
    if (std::memcmp(&b[i], text, length) == 0) return i;
  }
  throw std::runtime_error(std::string("no ") + text);
}

// A PNG file whose header declares width x height, its data left as it was.
inline Bytes WithPngSize(Bytes b, std::uint32_t width, std::uint32_t height) {
  const std::size_t ihdr = Find(b, "IHDR");
  PutBig32(b, ihdr + 4, width);
  PutBig32(b, ihdr + 8, height);
  PutBig32(b, ihdr + 17, static_cast<std::uint32_t>(crc32(0, &b[ihdr], 17)));
  return b;
}

// The same for a little-endian TIFF file (as picture_writers writes them).
inline Bytes WithTiffSize(Bytes b, std::uint16_t width, std::uint16_t height) {
  const std::size_t directory = b[4] | b[5] << 8 | b[6] << 16 | b[7] << 24;
  const int entries = b[directory] | b[directory + 1] << 8;
  for (int i = 0; i < entries; ++i) {
    const std::size_t entry = directory + 2 + 12 * i;
    const int tag = b[entry] | b[entry + 1] << 8;
    if (tag == 256) PutLittle(b, entry + 8, width, 2);
    if (tag == 257) PutLittle(b, entry + 8, height, 2);
  }
  return b;
}

// A flat grey progressive JPEG of width x height whose last scan is repeated until the
// file has `scans` of them. Each copy is a few dozen bytes (an all-zero AC band codes as
// one end-of-band run) yet makes the decoder visit every block once more.
inline Bytes ManyScansJpeg(int width, int height, int scans) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 1;
  cinfo.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&cinfo);
  jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(width), 128);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes jpeg(out, out + size);
  std::free(out);
  jpeg_destroy_compress(&cinfo);

  // The marker segments in order; the last scan is its SOS segment, with the table (DHT)
  // written just before it, and its entropy-coded data up to EOI.
  struct Segment {
    std::size_t at;
    std::uint8_t marker;
  };
  std::vector<Segment> segments;
  int written = 0;
  for (std::size_t at = 2; at + 2 <= jpeg.size();) {
    const std::uint8_t marker = jpeg[at + 1];
    segments.push_back({at, marker});
    if (marker == 0xD9 || at + 4 > jpeg.size()) break;
    at += 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]);
    if (marker != 0xDA) continue;
    ++written;
    while (at + 1 < jpeg.size() && !(jpeg[at] == 0xFF && jpeg[at + 1] != 0 &&
                                     (jpeg[at + 1] < 0xD0 || jpeg[at + 1] > 0xD7))) {
      ++at;
    }
  }
  if (segments.size() < 3 || segments.back().marker != 0xD9 ||
      segments[segments.size() - 2].marker != 0xDA) {
    throw std::runtime_error("unexpected progressive JPEG layout");
  }
  const std::size_t sos = segments.size() - 2;
  const std::size_t lastScan =
      segments[sos - 1].marker == 0xC4 ? segments[sos - 1].at : segments[sos].at;
  const std::size_t end = segments.back().at;
  const Bytes scan(jpeg.begin() + static_cast<std::ptrdiff_t>(lastScan),
                   jpeg.begin() + static_cast<std::ptrdiff_t>(end));
  Bytes result(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(end));
  for (int n = written; n < scans; ++n) {
    result.insert(result.end(), scan.begin(), scan.end());
  }
  result.push_back(0xFF), result.push_back(0xD9);
  return result;
}

// The same for a BMP file with a 40-byte or larger header.
inline Bytes WithBmpSize(Bytes b, std::int32_t width, std::int32_t height) {
  PutLittle(b, 18, static_cast<std::uint32_t>(width), 4);
  PutLittle(b, 22, static_cast<std::uint32_t>(height), 4);
  return b;
}

// The 54-byte header of a bottom-up BMP (BITMAPINFOHEADER) of `bits` per pixel with the
// given compression, and no palette or pixel data after it.
inline Bytes BmpHeaderOnly(std::int32_t width, std::int32_t height, int bits, int compression) {
  Bytes b(54, 0);
  b[0] = 'B', b[1] = 'M';
  PutLittle(b, 2, 54, 4);
  PutLittle(b, 10, 54, 4);
  PutLittle(b, 14, 40, 4);
  PutLittle(b, 18, static_cast<std::uint32_t>(width), 4);
  PutLittle(b, 22, static_cast<std::uint32_t>(height), 4);
  PutLittle(b, 26, 1, 2);
  PutLittle(b, 28, static_cast<std::uint32_t>(bits), 2);
  PutLittle(b, 30, static_cast<std::uint32_t>(compression), 4);
  return b;
}

// A project file whose "scale" is a list in a list ... `depth` deep: a small file (two bytes
// a level) that a parser recursing into it, or code copying the value, runs out of stack on.
inline Bytes DeeplyNestedProject(int depth) {
  const std::string text =
      "{\"vantrel\": 1, \"photo\": {\"path\": \"a.jpg\", \"sha256\": \"0\"}, "
      "\"scale\": " +
      std::string(static_cast<std::size_t>(depth), '[') +
      std::string(static_cast<std::size_t>(depth), ']') + "}\n";
  return Bytes(text.begin(), text.end());
}

}  // namespace hostile_files
