// The formats as one table: how each is recognised, what messages call it, which decoder
// reads it. A new format is a row here and a decoder of its own.
#include "picture/picture_format.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>

#include "picture/picture_decoders.h"

namespace vantrel {
namespace {

bool StartsWith(const std::uint8_t* bytes, std::size_t size, std::size_t at, const char* text,
                std::size_t length) {
  return size >= at + length && std::memcmp(bytes + at, text, length) == 0;
}

bool IsPng(const std::uint8_t* bytes, std::size_t size) {
  return StartsWith(bytes, size, 0, "\x89PNG\r\n\x1a\n", 8);
}

bool IsGif(const std::uint8_t* bytes, std::size_t size) {
  return StartsWith(bytes, size, 0, "GIF87a", 6) || StartsWith(bytes, size, 0, "GIF89a", 6);
}

// Shorter than its file header and the size of its information header: nothing to read.
bool IsBmp(const std::uint8_t* bytes, std::size_t size) {
  return StartsWith(bytes, size, 0, "BM", 2) && size >= 26;
}

bool IsTiff(const std::uint8_t* bytes, std::size_t size) {
  return StartsWith(bytes, size, 0, "II*\0", 4) || StartsWith(bytes, size, 0, "MM\0*", 4);
}

bool IsWebp(const std::uint8_t* bytes, std::size_t size) {
  return StartsWith(bytes, size, 0, "RIFF", 4) && StartsWith(bytes, size, 8, "WEBP", 4);
}

// ISO base media files whose brand libheif decodes: HEIC and AVIF stills and sequences.
bool IsHeif(const std::uint8_t* bytes, std::size_t size) {
  if (!StartsWith(bytes, size, 4, "ftyp", 4) || size < 12) return false;
  static const char* const kBrands[] = {"heic", "heix", "heim", "heis", "hevc",
                                        "hevx", "mif1", "msf1", "avif", "avis"};
  for (const char* brand : kBrands) {
    if (std::memcmp(bytes + 8, brand, 4) == 0) return true;
  }
  return false;
}

// Anything unrecognised (an empty file, a text file) meets the JPEG decoder's own refusal.
bool AnyBytes(const std::uint8_t*, std::size_t) { return true; }

struct Format {
  PictureFormat format;
  const char* name;        // the word used in messages
  const char* extensions;  // what its files are named with, lower case, one blank apart
  bool (*recognises)(const std::uint8_t* bytes, std::size_t size);
  int (*decode)(const EncodedPicture& file, Bitmap32& picture);  // null: the JPEG decoder's
};

#if defined(VANTREL_JPEG_PNG_ONLY)
// The page's build decodes JPEG and PNG itself; the browser decodes the others.
#define VANTREL_DECODER(function) nullptr
#else
#define VANTREL_DECODER(function) function
#endif

// Tried in order; the last row takes whatever the others do not.
constexpr Format kFormats[] = {
    {PictureFormat::kPng, "PNG", "png", IsPng, DecodePng},
    {PictureFormat::kGif, "GIF", "gif", IsGif, VANTREL_DECODER(DecodeGif)},
    {PictureFormat::kBmp, "BMP", "bmp dib", IsBmp, VANTREL_DECODER(DecodeBmp)},
    {PictureFormat::kTiff, "TIFF", "tif tiff", IsTiff, VANTREL_DECODER(DecodeTiff)},
    {PictureFormat::kWebp, "WebP", "webp", IsWebp, VANTREL_DECODER(DecodeWebp)},
    {PictureFormat::kHeif, "HEIF", "heic heif hif avif", IsHeif, VANTREL_DECODER(DecodeHeif)},
    {PictureFormat::kJpeg, "JPEG", "jpg jpeg jpe jfif", AnyBytes, nullptr},
};

const Format& Row(PictureFormat format) {
  for (const Format& row : kFormats) {
    if (row.format == format) return row;
  }
  throw std::logic_error("a picture format without a row in the table");
}

}  // namespace

PictureFormat SniffFormat(const std::uint8_t* bytes, std::size_t size) {
  for (const Format& row : kFormats) {
    if (row.recognises(bytes, size)) return row.format;
  }
  return PictureFormat::kJpeg;
}

const char* FormatName(PictureFormat format) { return Row(format).name; }

std::optional<PictureFormat> FormatOfExtension(std::string_view extension) {
  std::string lower(extension);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const Format& row : kFormats) {
    for (std::string_view names = row.extensions; !names.empty();) {
      const std::size_t blank = std::min(names.find(' '), names.size());
      if (names.substr(0, blank) == lower) return row.format;
      names.remove_prefix(std::min(blank + 1, names.size()));
    }
  }
  return std::nullopt;
}

bool DecodedHere(PictureFormat format) {
  return format == PictureFormat::kJpeg || Row(format).decode != nullptr;
}

int DecodePicture(PictureFormat format, const EncodedPicture& file, Bitmap32& picture) {
  if (format == PictureFormat::kJpeg) throw std::logic_error("JPEG files have their own decoder");
  const Format& row = Row(format);
  if (!row.decode) ThrowUnreadable(format, file.name, Text(Message::kDecodedByBrowser));
  return row.decode(file, picture);
}

}  // namespace vantrel
