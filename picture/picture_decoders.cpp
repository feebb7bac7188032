#include "picture/picture_decoders.h"

#include <stdexcept>

#include "core/error.h"

namespace vantrel {

void ThrowUnreadable(PictureFormat format, const std::string& name, const std::string& detail) {
  throw VantrelError(std::string("Cannot open ") + FormatName(format) + " file " + name + ": " +
                     detail);
}

void CheckDeclaredSize(PictureFormat format, const EncodedPicture& file, long long width,
                       long long height) {
  const std::string size = std::to_string(width) + " x " + std::to_string(height) + " pixels";
  if (width <= 0 || height <= 0) ThrowUnreadable(format, file.name, "empty picture (" + size + ")");
  if (width > file.maxPixels / height) {
    ThrowUnreadable(format, file.name, "picture too large (" + size + ")");
  }
}

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

}  // namespace vantrel
