// A photo opened from a file or from bytes, and the reduced decodes made for its scales.
#include "picture/photo.h"

#include <new>
#include <stdexcept>

#include "core/error.h"
#include "core/read_file.h"
#include "picture/area_resampler.h"
#include "picture/orientation.h"
#include "picture/picture_decoders.h"
#include "picture/picture_scale.h"

namespace vantrel {

std::vector<std::uint8_t> ReadPictureFile(const std::string& fileName) {
  return ReadRegularFile(fileName, MaxPictureFileBytes, [&fileName](long long size) {
    return VantrelError(Message::kFileTooLargeForAPicture, fileName, size);
  });
}

int Photo::Index(int reduction) {
  switch (reduction) {
    case 1:
      return 0;
    case 2:
      return 1;
    case 4:
      return 2;
    case 8:
      return 3;
    default:
      throw std::invalid_argument("level reduction must be 1, 2, 4 or 8");
  }
}

Photo Photo::OpenFile(const std::string& fileName, long long maxPixels) {
  std::vector<std::uint8_t> bytes;
  try {
    bytes = ReadPictureFile(fileName);
  } catch (const std::bad_alloc&) {
    throw VantrelError(Message::kNotEnoughMemoryToOpen, fileName);
  }
  return OpenBytes(std::move(bytes), fileName, maxPixels);
}

Photo Photo::OpenBytes(std::vector<std::uint8_t> bytes, const std::string& name,
                       long long maxPixels) {
  Photo photo;
  photo.name_ = name;
  photo.format_ = SniffFormat(bytes.data(), bytes.size());
  try {
    if (photo.format_ == PictureFormat::kJpeg) {
      const JpegSize size = ReadJpegSize(bytes.data(), bytes.size(), name);
      if (static_cast<long long>(size.width) * size.height > maxPixels) {
        throw VantrelError(Message::kPictureTooLarge, size.width, size.height);
      }
      photo.orientation_ = JpegExifOrientation(bytes.data(), bytes.size());
      photo.width_ = size.width;
      photo.height_ = size.height;
      photo.jpegBytes_ = std::move(bytes);
    } else {
      auto full = std::make_unique<Bitmap32>();
      const EncodedPicture file{bytes.data(), bytes.size(), name, maxPixels};
      photo.orientation_ = DecodePicture(photo.format_, file, *full);
      bytes = {};  // the decoded picture is all that is needed from here on
      ApplyOrientation(*full, photo.orientation_);
      photo.width_ = full->Width();
      photo.height_ = full->Height();
      photo.levels_[0] = std::move(full);
    }
  } catch (const std::bad_alloc&) {
    throw VantrelError(Message::kNotEnoughMemoryToOpen, name);
  }
  if (SwapsSides(photo.orientation_) && photo.format_ == PictureFormat::kJpeg) {
    std::swap(photo.width_, photo.height_);
  }
  return photo;
}

Photo Photo::FromBitmap(Bitmap32 picture, const std::string& name) {
  Photo photo;
  photo.name_ = name;
  photo.format_ = PictureFormat::kPng;  // anything but JPEG: level 1 is the only copy
  photo.width_ = picture.Width();
  photo.height_ = picture.Height();
  photo.levels_[0] = std::make_unique<Bitmap32>(std::move(picture));
  return photo;
}

void Photo::DecodeJpegLevel(int reduction) {
  auto level = std::make_unique<Bitmap32>();
  const bool endedEarly =
      DecodeJpegMemoryReduced(jpegBytes_.data(), jpegBytes_.size(), reduction, *level, name_);
  try {
    ApplyOrientation(*level, orientation_);
  } catch (const std::bad_alloc&) {
    throw VantrelError(Message::kNotEnoughMemoryToOpen, name_);
  }
  levels_[Index(reduction)] = std::move(level);
  endedEarly_ = endedEarly_ || endedEarly;
}

std::string Photo::Warning() const {
  return endedEarly_ ? Text(Message::kPictureEndsEarlyWarning, name_) : "";
}

const Bitmap32& Photo::Level(int reduction) {
  std::unique_ptr<Bitmap32>& level = levels_[Index(reduction)];
  if (level) return *level;
  if (format_ == PictureFormat::kJpeg) {
    DecodeJpegLevel(reduction);
  } else {
    try {
      level = std::make_unique<Bitmap32>(ReduceInLinearLight(Level(1), reduction));
    } catch (const std::bad_alloc&) {
      throw VantrelError(Message::kNotEnoughMemoryToOpen, name_);
    }
  }
  return *level;
}

void Photo::Prepare(int percent) {
  if (percent < 1 || percent > kMaxScalePercent) {
    throw std::invalid_argument("scale outside 1..kMaxScalePercent");
  }
  Level(percent == 100 ? 1 : LevelReduction(percent));
}

void Photo::DrawScaled(int percent, int x, int y, ViewSurface& surface) {
  if (percent < 1 || percent > kMaxScalePercent) {
    throw std::invalid_argument("scale outside 1..kMaxScalePercent");
  }
  if (percent == 100) {
    surface.Draw(x, y, Level(1));
    return;
  }
  const int reduction = LevelReduction(percent);
  const Bitmap32& level = Level(reduction);
  try {
    DrawScaledPicture(level, reduction, width_, height_, percent, x, y, surface);
  } catch (const std::bad_alloc&) {  // its buffers are allocated before it draws anything
    throw VantrelError(Message::kNotEnoughMemoryToOpen, name_);
  }
}

void Photo::KeepLevelsNear(int percent) {
  std::array<bool, 4> needed{};
  for (const int near : {percent - 1, percent, percent + 1}) {
    if (near < 1 || near > kMaxScalePercent) continue;
    needed[Index(near == 100 ? 1 : LevelReduction(near))] = true;
  }
  // Without its file's bytes a picture of another format is made again from level 1.
  if (format_ != PictureFormat::kJpeg) needed[0] = true;
  for (int reduction : {1, 2, 4, 8}) {
    if (!needed[Index(reduction)]) levels_[Index(reduction)].reset();
  }
}

}  // namespace vantrel
