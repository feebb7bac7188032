// Pictures a browser decoded: the page hands the session RGBA pixels for the formats it does
// not decode itself, and they must convert exactly as the file would.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "session/session.h"
#include "support/picture_writers.h"

namespace vantrel {
namespace {

using namespace picture_writers;

// A 260 x 230 picture with every alpha from 0 to 255 across it and colour down it.
Pixels Gradient() {
  Pixels pixels(260, 230);
  for (int y = 0; y < pixels.height; ++y) {
    for (int x = 0; x < pixels.width; ++x) {
      const std::uint32_t alpha = x * 255 / (pixels.width - 1);
      pixels.At(x, y) =
          alpha << 24 | (y * 255 / 229) << 16 | ((x * 7 + y * 3) & 0xFF) << 8 | ((x ^ y) & 0xFF);
    }
  }
  return pixels;
}

// What a browser's decode gives: bytes red, green, blue, alpha, not premultiplied.
std::vector<std::uint8_t> Rgba(const Pixels& pixels) {
  std::vector<std::uint8_t> rgba;
  for (const std::uint32_t p : pixels.argb) {
    rgba.insert(rgba.end(), {Red(p), Green(p), Blue(p), Alpha(p)});
  }
  return rgba;
}

TEST(BrowserPixels, ConvertAsTheFileWould) {
  const Pixels pixels = Gradient();
  PngOptions withAlpha;
  withAlpha.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
  const Bytes png = EncodePng(pixels, withAlpha);
  struct Case {
    const char* what;
    ConversionSettings settings;
  };
  ConversionSettings scaled;
  scaled.scale = {false, 90};
  scaled.scaleGiven = true;
  scaled.crop = {20, 7};
  scaled.adjustment = {12, -40, 3, Dithering::LowFlicker};
  ConversionSettings fit;
  fit.scale = {true, 100};
  fit.roles = {6, 1, 14, 3, 5};
  fit.adjustment.dithering = Dithering::None;
  const Case cases[] = {{"defaults", {}}, {"scaled and cropped", scaled}, {"fit", fit}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Session fromFile;
    fromFile.ConvertBytes(png, "gradient.png", c.settings);
    Session fromPixels;
    fromPixels.ConvertPixels(Session::PictureFromRgba(Rgba(pixels), pixels.width, pixels.height),
                             "gradient.png", c.settings);
    for (const OutputKind kind : {OutputKind::Executable, OutputKind::Png, OutputKind::DiskImage}) {
      const auto expected = fromFile.Output(kind);
      const std::vector<std::uint8_t> copy(expected.begin(), expected.end());
      const auto got = fromPixels.Output(kind);
      EXPECT_EQ(std::vector<std::uint8_t>(got.begin(), got.end()), copy) << static_cast<int>(kind);
    }
  }
}

TEST(BrowserPixels, OpenAtTheScaleAsked) {
  const Pixels pixels = Gradient();
  Session session;
  session.OpenPixels(Session::PictureFromRgba(Rgba(pixels), pixels.width, pixels.height), "g",
                     {true, 100});
  EXPECT_EQ(session.State().ScalePercent, session.FitScale());
  EXPECT_LT(session.FitScale(), 100);
}

TEST(BrowserPixels, SizesThatCannotBeAPictureAreRefused) {
  const std::vector<std::uint8_t> pixel{1, 2, 3, 4};
  EXPECT_THROW(Session::PictureFromRgba(pixel, 2, 1), std::invalid_argument);
  EXPECT_THROW(Session::PictureFromRgba({}, 0, 1), std::invalid_argument);
  EXPECT_THROW(Session::PictureFromRgba(pixel, 1 << 15, 1 << 14), VantrelError);
}

TEST(BrowserPixels, TheDesktopDecodesEveryFormatItself) {
  const Pixels pixels(4, 4, 0xFF336699u);
  for (const Bytes& file : {EncodePng(pixels), EncodeGif({pixels}), EncodeBmp(pixels),
                            EncodeTiff(pixels), EncodeWebp({pixels})}) {
    EXPECT_TRUE(Session::DecodesPicture(file));
  }
}

}  // namespace
}  // namespace vantrel
