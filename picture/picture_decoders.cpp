#include "picture/picture_decoders.h"

#include <stdexcept>

#include "core/error.h"

namespace vantrel {

void ThrowUnreadable(PictureFormat format, const std::string& name, const std::string& detail) {
  throw VantrelError(Message::kCannotOpenPicture, FormatName(format), name, detail);
}

void CheckDeclaredSize(PictureFormat format, const EncodedPicture& file, long long width,
                       long long height) {
  if (width <= 0 || height <= 0) {
    ThrowUnreadable(format, file.name, Text(Message::kEmptyPicture, width, height));
  }
  // The one size limit, worded as for a JPEG.
  if (width > file.maxPixels / height) throw VantrelError(Message::kPictureTooLarge, width, height);
}

#if defined(VANTREL_JPEG_PNG_ONLY)

bool DecodedHere(PictureFormat format) {
  return format == PictureFormat::kJpeg || format == PictureFormat::kPng;
}

int DecodePicture(PictureFormat format, const EncodedPicture& file, Bitmap32& picture) {
  if (format == PictureFormat::kPng) return DecodePng(file, picture);
  if (format == PictureFormat::kJpeg) throw std::logic_error("JPEG files have their own decoder");
  ThrowUnreadable(format, file.name, Text(Message::kDecodedByBrowser));
}

#else

bool DecodedHere(PictureFormat) { return true; }

int DecodePicture(PictureFormat format, const EncodedPicture& file, Bitmap32& picture) {
  switch (format) {
    case PictureFormat::kPng:
      return DecodePng(file, picture);
    case PictureFormat::kGif:
      return DecodeGif(file, picture);
    case PictureFormat::kBmp:
      return DecodeBmp(file, picture);
    case PictureFormat::kTiff:
      return DecodeTiff(file, picture);
    case PictureFormat::kWebp:
      return DecodeWebp(file, picture);
    case PictureFormat::kHeif:
      return DecodeHeif(file, picture);
    case PictureFormat::kJpeg:
      break;
  }
  throw std::logic_error("JPEG files have their own decoder");
}

#endif

}  // namespace vantrel
