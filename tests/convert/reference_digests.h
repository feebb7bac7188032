// SHA-256 digests of converting tests/data/astronaut.jpg, made by an independent model of
// the program's rules (tools/reference_convert.py, plain Python) rather than by this code.
//
// Input: the file decoded with the floating-point inverse DCT, cropped at offset (0, 0)
// (columns 0..191, rows 0..199). Layers: Bitmap1Bits, Sprite1Bits, Bitmap2Bits, Sprite2Bits
// (38400 bytes of 0/1 each) concatenated in that order. Preview: the 192 x 200 mix colours
// as bytes red, green, blue, row by row.
//
// Regenerate with (from the repository root):
//   djpeg -dct float -ppm tests/data/astronaut.jpg > /tmp/astronaut.ppm
//   tools/reference_convert.py /tmp/astronaut.ppm                 # default settings
//   tools/reference_convert.py /tmp/astronaut.ppm --no-dither
//   tools/reference_convert.py /tmp/astronaut.ppm -r 40 -g -25 -b 10 --roles 6,1,14,3,5
//   tools/reference_convert.py /tmp/astronaut.ppm -r 40 -g -25 -b 10 --roles 6,1,14,3,5 --no-dither
#pragma once

namespace vantrel::reference {

struct ConversionDigest {
  int redOffset, greenOffset, blueOffset;
  int roles[5];  // background, bitmap 1, sprite 1, bitmap 2, sprite 2
  bool dither;
  const char* layers;
  const char* preview;
};

// Default roles (0, 2, 3, 7, 10), offsets 0, dithering on: what the window shows after
// opening the picture.
// clang-format off
inline constexpr ConversionDigest kAstronautDefault = {
    0, 0, 0, {0, 2, 3, 7, 10}, true,
    "304f36fab02997e1d390ccee297195819fb3742f727d3cccf7e3032b007356ee",
    "d7f8fdb99c9095894a1370509e1ad22658e6f40791794c29b0b2888995adfa58"};

// Default settings with "None" selected instead of "Floyd Steinberg".
inline constexpr ConversionDigest kAstronautPlain = {
    0, 0, 0, {0, 2, 3, 7, 10}, false,
    "cbf45cad1a7b9aba83a98c406dc4d099d93993a5ed8faf4dc974ac1c20a1b090",
    "503738fc129a5d9ec4cd49bc2cd3a18b7a0a36679054ccbf768bc446bbc45ed5"};

// Offsets red +40, green -25, blue +10; roles blue, white, light blue, cyan, green.
inline constexpr ConversionDigest kAstronautAdjusted = {
    40, -25, 10, {6, 1, 14, 3, 5}, true,
    "f1bd84d74d1cf328e095db8acccef53b62ff0dddf251b3a3dc892b0d3e8934bd",
    "af5e4acf0366a2b1906dc9558c0120d02288e55ebb9bdbe13a1a9cdf120cffb2"};

inline constexpr ConversionDigest kAstronautAdjustedPlain = {
    40, -25, 10, {6, 1, 14, 3, 5}, false,
    "547969d63d990e657b2da2c587c6ac48909ca776036f078061edf24d068c7133",
    "4c88af9dfcfe95f00c692912c55e886c31031e4f192f5d30d856ee884fab7ecb"};
// clang-format on

}  // namespace vantrel::reference
