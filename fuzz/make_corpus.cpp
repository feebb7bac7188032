// Writes the seed corpus of the fuzz target from the sample photo: one small file of each
// kind the decoder meets (baseline, progressive, greyscale, CMYK, YCCK, RGB, restart
// markers, arithmetic coding, odd sampling, truncated, tiny, narrow). Run once by hand:
//   make_corpus <sample.jpg> <output folder>
// The files it wrote are committed; rerunning it is only needed to add kinds.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/picture/jpeg_samples.h"

namespace fs = std::filesystem;
using namespace jpeg_samples;

namespace {

// Writes with libjpeg and then lets jpegtran re-encode (for options WriteJpeg lacks).
void Jpegtran(const fs::path& input, const fs::path& output, const std::string& options) {
  const std::string command =
      "jpegtran " + options + " -outfile '" + output.string() + "' '" + input.string() + "'";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("jpegtran failed: " + command);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_corpus <sample.jpg> <output folder>\n");
    return 2;
  }
  const fs::path out = argv[2];
  fs::create_directories(out);
  const RawImage photo = ReadJpegRgb(argv[1]);
  // A little larger than the crop window, so the crop can move; small for the fuzzer.
  const RawImage rgb = Resize(photo, 208, 216);
  const RawImage grey = ToGrey(rgb);
  RawImage cmyk(rgb.width, rgb.height, 4);
  for (int y = 0; y < rgb.height; ++y) {
    for (int x = 0; x < rgb.width; ++x) {
      const std::uint8_t* p = rgb.Pixel(x, y);
      std::uint8_t* q = cmyk.Pixel(x, y);
      // Adobe style: the inks are stored inverted.
      q[0] = p[0];
      q[1] = p[1];
      q[2] = p[2];
      q[3] = 255;
    }
  }

  WriteOptions low;
  low.quality = 50;
  WriteJpeg(out / "baseline.jpg", rgb, low);
  WriteOptions progressive = low;
  progressive.progressive = true;
  WriteJpeg(out / "progressive.jpg", rgb, progressive);
  WriteOptions greyOptions = low;
  greyOptions.input = JCS_GRAYSCALE;
  WriteJpeg(out / "greyscale.jpg", grey, greyOptions);
  WriteOptions cmykOptions = low;
  cmykOptions.input = JCS_CMYK;
  WriteJpeg(out / "cmyk.jpg", cmyk, cmykOptions);
  cmykOptions.stored = JCS_YCCK;
  WriteJpeg(out / "ycck.jpg", cmyk, cmykOptions);
  WriteOptions rgbOptions = low;
  rgbOptions.stored = JCS_RGB;
  WriteJpeg(out / "rgb.jpg", rgb, rgbOptions);
  WriteOptions sampling = low;
  sampling.lumaH = 1;
  sampling.lumaV = 2;
  WriteJpeg(out / "sampling_1x2.jpg", rgb, sampling);

  Jpegtran(out / "baseline.jpg", out / "restart.jpg", "-restart 1");
  Jpegtran(out / "baseline.jpg", out / "arithmetic.jpg", "-arithmetic");
  Jpegtran(out / "progressive.jpg", out / "progressive_arithmetic.jpg", "-arithmetic");
  Jpegtran(out / "baseline.jpg", out / "optimized.jpg", "-optimize");

  std::vector<std::uint8_t> bytes = ReadBytes(out / "baseline.jpg");
  bytes.resize(bytes.size() / 2);
  WriteBytes(out / "truncated.jpg", bytes);
  bytes = ReadBytes(out / "progressive.jpg");
  bytes.resize(bytes.size() * 2 / 3);
  WriteBytes(out / "progressive_truncated.jpg", bytes);

  WriteJpeg(out / "tiny.jpg", Resize(photo, 1, 1), low);
  WriteJpeg(out / "narrow.jpg", Resize(photo, 8, 240), low);
  WriteJpeg(out / "tiny_grey.jpg", Resize(grey, 3, 2), greyOptions);
  WriteBytes(out / "empty.jpg", {});
  return 0;
}
