#include "picture/picture_decoders.h"

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

}  // namespace vantrel
