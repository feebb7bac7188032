// What every decoder shares: the refusal of unreadable files and of pictures too large.
#include "picture/picture_decoders.h"

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

}  // namespace vantrel
