// An opened picture file of any supported format: its upright size and the reduced
// decodes the scales need, made on first use and kept, so that the window can change
// scale or move the crop without decoding again and the command line decodes only what
// its one scale needs. Both draw through DrawScaled, so the same file, scale and crop give
// the same pixels.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap32.h"
#include "core/picture_source.h"
#include "core/view_surface.h"
#include "picture/jpeg_decoder.h"
#include "picture/picture_format.h"

namespace vantrel {

// The largest file OpenFile reads: a picture of MaxPicturePixels stored uncompressed with
// the widest pixel the formats keep (16-bit RGBA, 8 bytes, in PNG and TIFF), one byte a
// pixel more for what rows add (a PNG row's filter byte when the picture is one pixel wide,
// BMP and TIFF row padding) and 64 MiB of headers and metadata: about 2.3 GiB.
inline constexpr long long MaxPictureFileBytes = MaxPicturePixels * 9 + (64LL << 20);

// The whole of a picture file, read as Photo::OpenFile reads it: only a regular file of at
// most MaxPictureFileBytes. Throws VantrelError ("Cannot open file <name>[: <why>]").
std::vector<std::uint8_t> ReadPictureFile(const std::string& fileName);

class Photo : public PictureSource {
 public:
  // Reads the whole file and recognises its format by content. A JPEG is only looked at
  // (size and EXIF orientation from its header); its levels are decoded when first asked
  // for. Every other format is decoded now, since its libraries cannot decode smaller.
  // Any size from 1 x 1 opens; which scales fill the window is AllowedPercents' answer.
  // Throws VantrelError, naming the file:
  //   "Cannot open file <fileName>"               the file cannot be read;
  //   "Cannot open file <fileName>: not a regular file"   a device, pipe or socket;
  //   "Cannot open file <fileName>: too large for a picture (<n> bytes)"   more than
  //                                               MaxPictureFileBytes, refused unread;
  //   the JPEG decoder's messages for a JPEG (or a file of no known format);
  //   "Cannot open <format> file <fileName>: <why>" for the other formats, including
  //                                                pictures over maxPixels;
  //   "Not enough memory to open <fileName>".
  static Photo OpenFile(const std::string& fileName, long long maxPixels = MaxPicturePixels);
  // The same for bytes already in memory, with `name` standing for the file name.
  static Photo OpenBytes(std::vector<std::uint8_t> bytes, const std::string& name,
                         long long maxPixels = MaxPicturePixels);
  // A picture already decoded (upright) into `picture`, standing for a file of another
  // format than JPEG.
  static Photo FromBitmap(Bitmap32 picture, const std::string& name);

  PictureFormat Format() const { return format_; }
  int Orientation() const { return orientation_; }  // as stored in the file, 1..8
  int Width() const override { return width_; }     // upright
  int Height() const override { return height_; }

  // The upright picture at 1/reduction of its size (1, 2, 4 or 8; each side
  // ceil(side / reduction)). A JPEG's level is libjpeg's scaled decode with the usual
  // settings, so level 1 is exactly DecodeJpegFile's picture turned upright; other
  // formats' levels are linear-light block means of level 1. Throws VantrelError (as
  // OpenFile) when the decode fails, with nothing kept.
  const Bitmap32& Level(int reduction);

  // Draws the picture scaled to `percent` (1..kMaxScalePercent) with its top-left corner at
  // (x, y), 0 or negative in use, into `surface`, clipped; pixels it does not cover keep
  // their value. At 100 this is surface.Draw(x, y, Level(1)); at any other scale the
  // linear-light area average of Level(LevelReduction(percent)). A decode that fails
  // throws before the surface is touched.
  void DrawScaled(int percent, int x, int y, ViewSurface& surface) override;

  // Decodes the level DrawScaled(percent, ...) draws from, if it is not there yet.
  void Prepare(int percent) override;

  // Frees the levels that neither `percent` nor the scales one step either side of it draw
  // from, but never level 1 of a format other than JPEG: that is the only copy of the
  // picture.
  void KeepLevelsNear(int percent) override;

  // "<name>: the file ends early; the rest of the picture is grey" once a decode of a JPEG
  // has run out of data (libjpeg completes such a picture in grey); empty otherwise.
  std::string Warning() const override;

 private:
  Photo() = default;
  static int Index(int reduction);
  void DecodeJpegLevel(int reduction);

  std::string name_;
  PictureFormat format_ = PictureFormat::kJpeg;
  std::vector<std::uint8_t> jpegBytes_;  // kept for decoding further levels
  int orientation_ = 1;
  int width_ = 0;
  int height_ = 0;
  bool endedEarly_ = false;
  std::array<std::unique_ptr<Bitmap32>, 4> levels_;  // reductions 1, 2, 4, 8
};

}  // namespace vantrel
