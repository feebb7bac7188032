// Files the decoder must refuse: exact messages, and the old picture left untouched.
#include <gtest/gtest.h>
#include <jerror.h>  // the message code enum of the installed libjpeg
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/bitmap32.h"
#include "core/error.h"
#include "picture/jpeg_decoder.h"
#include "picture/jpeg_samples.h"
#include "support/address_space_cap.h"

namespace vantrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string JpegError(int code) { return "JPEG error #" + std::to_string(code); }

Bytes SampleBytes() {
  return jpeg_samples::ReadBytes(std::string(VANTREL_TEST_DATA) + "/astronaut.jpg");
}

// The sample with `value` written at `offset` bytes after the `occurrence`-th marker FF `code`.
Bytes Patched(Bytes bytes, std::uint8_t code, std::size_t offset, std::vector<std::uint8_t> value,
              int occurrence = 0) {
  const std::size_t marker = jpeg_samples::FindMarker(bytes, code, occurrence);
  if (marker == std::string::npos) throw std::runtime_error("marker not found");
  std::copy(value.begin(), value.end(),
            bytes.begin() + static_cast<std::ptrdiff_t>(marker + offset));
  return bytes;
}

constexpr std::uint8_t kSOF0 = 0xC0, kDHT = 0xC4, kSOS = 0xDA, kSOF2 = 0xC2;

// SOF layout after the marker: length (2), precision (1), height (2), width (2), components.
Bytes WithSize(Bytes bytes, std::uint8_t sof, int width, int height) {
  return Patched(std::move(bytes), sof, 5,
                 {static_cast<std::uint8_t>(height >> 8), static_cast<std::uint8_t>(height),
                  static_cast<std::uint8_t>(width >> 8), static_cast<std::uint8_t>(width)});
}

Bytes ProgressiveBytes(const jpeg_samples::TempFolder& folder) {
  const auto path = folder / "progressive-source.jpg";
  jpeg_samples::WriteJpeg(
      path, jpeg_samples::ReadJpegRgb(std::string(VANTREL_TEST_DATA) + "/astronaut.jpg"),
      {.progressive = true});
  return jpeg_samples::ReadBytes(path);
}

Bytes ComponentsFile(const jpeg_samples::TempFolder& folder, int components) {
  const auto path = folder / "components-source.jpg";
  jpeg_samples::RawImage image(64, 48, components);
  for (std::size_t i = 0; i < image.samples.size(); ++i)
    image.samples[i] = static_cast<std::uint8_t>(i * 7);
  // Progressive, since a baseline file cannot interleave more than four components.
  jpeg_samples::WriteJpeg(path, image, {.progressive = true, .input = JCS_UNKNOWN});
  return jpeg_samples::ReadBytes(path);
}

// The picture the window already shows; a failed open must leave it as it is.
Bitmap32 OldPicture() {
  Bitmap32 old(3, 2);
  for (int i = 0; i < 6; ++i) old.Words()[i] = 0x00102030u * static_cast<std::uint32_t>(i + 1);
  return old;
}

void ExpectUntouched(const Bitmap32& picture) {
  const Bitmap32 old = OldPicture();
  ASSERT_EQ(picture.Width(), old.Width());
  ASSERT_EQ(picture.Height(), old.Height());
  for (int i = 0; i < 6; ++i) EXPECT_EQ(picture.Words()[i], old.Words()[i]) << "word " << i;
}

// The message DecodeJpegFile fails with, or nothing when it succeeds.
std::optional<std::string> DecodeError(const std::string& fileName, Bitmap32& picture) {
  try {
    DecodeJpegFile(fileName, picture);
  } catch (const VantrelError& error) {
    return std::string(error.what());
  }
  return std::nullopt;
}

// How a decode into the old picture ended: its message, or the picture it gave.
struct Outcome {
  std::optional<std::string> error;
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> words;  // low 24 bits; the top byte is undefined

  bool operator==(const Outcome&) const = default;
};

Outcome Decoded(const std::function<void(Bitmap32&)>& decode) {
  Bitmap32 picture = OldPicture();
  Outcome outcome;
  try {
    decode(picture);
  } catch (const VantrelError& error) {
    outcome.error = error.what();
    ExpectUntouched(picture);
  }
  outcome.width = picture.Width();
  outcome.height = picture.Height();
  const std::size_t count = static_cast<std::size_t>(picture.Width()) * picture.Height();
  for (std::size_t i = 0; i < count; ++i) outcome.words.push_back(picture.Words()[i] & 0xFFFFFFu);
  return outcome;
}

struct ErrorCase {
  std::string name;
  // Writes the file into the folder (or not) and returns its name.
  std::function<std::string(const jpeg_samples::TempFolder&)> make;
  // The expected message, given the file name; nothing when the file decodes, to the size
  // below.
  std::function<std::optional<std::string>(const std::string&)> message;
  int width = 0, height = 0;
};

std::function<std::string(const jpeg_samples::TempFolder&)> File(
    const std::string& name, std::function<Bytes(const jpeg_samples::TempFolder&)> bytes) {
  return [name, bytes](const jpeg_samples::TempFolder& folder) {
    const std::string path = (folder / name).string();
    jpeg_samples::WriteBytes(path, bytes(folder));
    return path;
  };
}

std::function<std::optional<std::string>(const std::string&)> Message(const std::string& text) {
  return [text](const std::string&) { return text; };
}

std::function<std::optional<std::string>(const std::string&)> Decodes() {
  return [](const std::string&) { return std::nullopt; };
}

std::function<std::optional<std::string>(const std::string&)> CannotOpen() {
  return [](const std::string& path) { return "Cannot open file " + path; };
}

// A small file whose header claims width x height: sizes at and beyond every limit, each
// refused before anything large is allocated, or decoded to exactly the size it claims.
ErrorCase Claiming(int width, int height,
                   std::function<std::optional<std::string>(const std::string&)> message) {
  return {std::to_string(width) + " x " + std::to_string(height),
          File("claims.jpg",
               [=](const jpeg_samples::TempFolder& folder) {
                 const auto path = folder / "small-source.jpg";
                 jpeg_samples::WriteJpeg(
                     path,
                     jpeg_samples::Resize(jpeg_samples::ReadJpegRgb(std::string(VANTREL_TEST_DATA) +
                                                                    "/astronaut.jpg"),
                                          16, 16));
                 return WithSize(jpeg_samples::ReadBytes(path), kSOF0, width, height);
               }),
          std::move(message), width, height};
}

// Each file ends as its row says, the old picture kept when it fails; the file decoder and
// the in-memory one (the fuzz target's) agree on every file, down to the pixel and the message.
TEST(JpegDecoderErrors, RefusesWithExactMessageAndKeepsPicture) {
  const std::vector<ErrorCase> cases = {
      {"missing file", [](auto& f) { return (f / "no-such-file.jpg").string(); }, CannotOpen()},
      {"missing folder", [](auto& f) { return (f / "no-such-folder" / "a.jpg").string(); },
       CannotOpen()},
      {"folder",
       [](auto& f) {
         std::filesystem::create_directory(f / "folder.jpg");
         return (f / "folder.jpg").string();
       },
       CannotOpen()},
      {"empty file", File("empty.jpg", [](auto&) { return Bytes{}; }),
       Message(JpegError(JERR_INPUT_EMPTY))},
      {"text file",
       File("notes.jpg",
            [](auto&) {
              const std::string text = "These are not the pixels you are looking for.\n";
              return Bytes(text.begin(), text.end());
            }),
       Message(JpegError(JERR_NO_SOI))},
      {"only SOI",
       File("soi.jpg",
            [](auto&) {
              return Bytes{0xFF, 0xD8};
            }),
       Message(JpegError(JERR_NO_IMAGE))},
      {"12-bit samples",
       File("precision.jpg", [](auto&) { return Patched(SampleBytes(), kSOF0, 4, {12}); }),
       Message(JpegError(JERR_BAD_PRECISION))},
      {"lossless process",
       File("lossless.jpg", [](auto&) { return Patched(SampleBytes(), kSOF0, 1, {0xC3}); }),
       Message(JpegError(JERR_SOF_UNSUPPORTED))},
      {"Huffman table with too many codes",
       File("huffman.jpg",
            [](auto&) {
              return Patched(SampleBytes(), kDHT, 5, std::vector<std::uint8_t>(16, 0xFF));
            }),
       Message(JpegError(JERR_BAD_HUFF_TABLE))},
      {"scan of an unknown component",
       File("component.jpg", [](auto&) { return Patched(SampleBytes(), kSOS, 5, {99}); }),
       Message(JpegError(JERR_BAD_COMPONENT_ID))},
      // The second scan of a progressive file claims coefficients 5..2: found while the
      // scans are read, after the header was accepted.
      {"bad progression",
       File("progression.jpg",
            [](auto& f) {
              Bytes bytes = ProgressiveBytes(f);
              const std::size_t sos = jpeg_samples::FindMarker(bytes, kSOS, 1);
              const std::size_t spectrum = sos + 5 + 2 * bytes[sos + 4];
              bytes[spectrum] = 5;
              bytes[spectrum + 1] = 2;
              return bytes;
            }),
       Message(JpegError(JERR_BAD_PROGRESSION))},
      {"two components", File("two.jpg", [](auto& f) { return ComponentsFile(f, 2); }),
       Message("Unsupported JPEG (2 colour components)")},
      {"five components", File("five.jpg", [](auto& f) { return ComponentsFile(f, 5); }),
       Message("Unsupported JPEG (5 colour components)")},
      Claiming(65500, 1, Decodes()),
      Claiming(1, 65500, Decodes()),
      Claiming(65500, 16, Decodes()),
      // Just over 2^28 pixels, and the largest JPEG.
      Claiming(16385, 16384, Message("Picture too large (16385 x 16384 pixels)")),
      Claiming(65500, 65500, Message("Picture too large (65500 x 65500 pixels)")),
      // Larger than libjpeg allows.
      Claiming(65535, 2, Message(JpegError(JERR_IMAGE_TOO_BIG))),
      Claiming(65535, 65535, Message(JpegError(JERR_IMAGE_TOO_BIG))),
      Claiming(0, 512, Message(JpegError(JERR_EMPTY_IMAGE))),
      Claiming(0, 65500, Message(JpegError(JERR_EMPTY_IMAGE))),
      Claiming(65500, 0, Message(JpegError(JERR_EMPTY_IMAGE))),
  };
  jpeg_samples::TempFolder folder;
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string fileName = c.make(folder);
    const Outcome fromFile = Decoded([&](Bitmap32& picture) { DecodeJpegFile(fileName, picture); });
    EXPECT_EQ(fromFile.error, c.message(fileName));
    if (!fromFile.error) {
      EXPECT_EQ(fromFile.width, c.width);
      EXPECT_EQ(fromFile.height, c.height);
    }
    if (std::filesystem::is_regular_file(fileName)) {
      const Bytes bytes = jpeg_samples::ReadBytes(fileName);
      EXPECT_EQ(fromFile, Decoded([&](Bitmap32& picture) {
                  DecodeJpegMemory(bytes.data(), bytes.size(), picture, fileName);
                }));
    }
  }
}

using testsupport::AddressSpaceCap;

// 16384 x 16384 is just within the pixel limit but needs 1 GiB for the picture (and, when
// progressive, 768 MiB of coefficients inside libjpeg first). With 256 MiB to spare both
// allocations fail, ours and the library's, and both tell the user the same.
TEST(JpegDecoderErrors, OutOfMemoryKeepsPicture) {
  jpeg_samples::TempFolder folder;
  const std::string baseline = (folder / "huge.jpg").string();
  const std::string progressive = (folder / "huge-progressive.jpg").string();
  jpeg_samples::WriteBytes(baseline, WithSize(SampleBytes(), kSOF0, 16384, 16384));
  jpeg_samples::WriteBytes(progressive, WithSize(ProgressiveBytes(folder), kSOF2, 16384, 16384));
  for (const std::string& fileName : {baseline, progressive}) {
    SCOPED_TRACE(fileName);
    Bitmap32 picture = OldPicture();
    std::optional<std::string> error;
    {
      AddressSpaceCap cap(256LL << 20);
      ASSERT_TRUE(cap.ok());
      error = DecodeError(fileName, picture);
    }
    EXPECT_EQ(error, "Not enough memory to open " + fileName);
    ExpectUntouched(picture);
  }
}

// JPEGMEM in the environment would make libjpeg refuse progressive files ("backing store
// not supported"); the program takes nothing from the environment.
TEST(JpegDecoderErrors, IgnoresJpegmemEnvironment) {
  jpeg_samples::TempFolder folder;
  const std::string fileName = (folder / "progressive.jpg").string();
  jpeg_samples::WriteBytes(fileName, ProgressiveBytes(folder));
  const char* old = std::getenv("JPEGMEM");
  const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
  setenv("JPEGMEM", "1", 1);
  Bitmap32 picture;
  const std::optional<std::string> error = DecodeError(fileName, picture);
  if (saved) {
    setenv("JPEGMEM", saved->c_str(), 1);
  } else {
    unsetenv("JPEGMEM");
  }
  EXPECT_EQ(error, std::nullopt);
  EXPECT_EQ(picture.Width(), 512);
  EXPECT_EQ(picture.Height(), 512);
}

}  // namespace
}  // namespace vantrel
