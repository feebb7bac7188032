// Hostile picture files: every truncation, and a file rewritten while it is decoded (absurd
// sizes are rows of the decoder's refusals in the picture tests). The file decoder streams
// through stdio, so a file that changes under it is seen as damaged or cut short; these tests
// hold it to the same outcomes as the in-memory decoder the fuzz target drives.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/error.h"
#include "picture/jpeg_decoder.h"
#include "picture/jpeg_samples.h"

namespace {

using vantrel::Bitmap32;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

struct Outcome {
  std::optional<std::string> error;  // the message, or nothing when the file decoded
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> words;  // low 24 bits; the top byte is undefined

  bool operator==(const Outcome&) const = default;
};

// A 3 x 2 picture that a failed decode must leave exactly as it was.
Bitmap32 OldPicture() {
  Bitmap32 picture(3, 2);
  for (int i = 0; i < 6; ++i) picture.Words()[i] = 0x102030u * static_cast<std::uint32_t>(i + 1);
  return picture;
}

template <class Decode>
Outcome Run(Decode decode) {
  Bitmap32 picture = OldPicture();
  Outcome outcome;
  try {
    decode(picture);
  } catch (const vantrel::VantrelError& error) {
    outcome.error = error.what();
    const Bitmap32 old = OldPicture();
    EXPECT_EQ(std::vector<std::uint32_t>(picture.Words(), picture.Words() + 6),
              std::vector<std::uint32_t>(old.Words(), old.Words() + 6))
        << "a failed decode changed the picture: " << error.what();
  }
  outcome.width = picture.Width();
  outcome.height = picture.Height();
  const std::size_t count = static_cast<std::size_t>(picture.Width()) * picture.Height();
  for (std::size_t i = 0; i < count; ++i) outcome.words.push_back(picture.Words()[i] & 0xFFFFFFu);
  return outcome;
}

Outcome FromMemory(const Bytes& bytes) {
  return Run([&](Bitmap32& picture) {
    vantrel::DecodeJpegMemory(bytes.data(), bytes.size(), picture, "memory.jpg");
  });
}

Outcome FromFile(const std::string& fileName) {
  return Run([&](Bitmap32& picture) { vantrel::DecodeJpegFile(fileName, picture); });
}

jpeg_samples::RawImage Photo(int width, int height) {
  return jpeg_samples::Resize(
      jpeg_samples::ReadJpegRgb(std::string(VANTREL_TEST_DATA) + "/astronaut.jpg"), width, height);
}

Bytes Encoded(const jpeg_samples::TempFolder& folder, const jpeg_samples::RawImage& image,
              const jpeg_samples::WriteOptions& options) {
  const fs::path path = folder / "encoded.jpg";
  jpeg_samples::WriteJpeg(path, image, options);
  return jpeg_samples::ReadBytes(path);
}

// The fuzz target's seed corpus covers every kind of file the decoder meets; both entry
// points must agree on each, down to the pixel and the message.
TEST(HardenedJpegInput, MemoryAndFileDecodersAgreeOnTheFuzzCorpus) {
  const fs::path corpus = fs::path(VANTREL_SOURCE_DIR) / "fuzz" / "corpus";
  int files = 0;
  int decoded = 0;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    SCOPED_TRACE(entry.path().filename().string());
    const Outcome fromFile = FromFile(entry.path().string());
    Outcome fromMemory = FromMemory(jpeg_samples::ReadBytes(entry.path()));
    if (fromMemory.error && fromMemory.error->find("memory.jpg") != std::string::npos) {
      ADD_FAILURE() << "a corpus file ran out of memory";
    }
    EXPECT_EQ(fromFile, fromMemory);
    ++files;
    decoded += fromFile.error ? 0 : 1;
  }
  EXPECT_GE(files, 15);
  EXPECT_GE(decoded, files - 1) << "only the empty file is refused";
}

// What libjpeg makes of a file cut at some length: it refuses one that ends before the
// first scan, completes (in grey) one that ends inside entropy-coded data, and, for one
// that ends inside a later marker segment, it depends on the segment and the field.
enum class Cut { kFails, kDecodes, kEither };

// The kind of cut for every length 0..size of `bytes`, from a walk over its segments.
std::vector<Cut> CutKinds(const Bytes& bytes) {
  std::vector<Cut> kinds(bytes.size() + 1, Cut::kFails);
  bool inScans = false;
  std::size_t pos = 2;  // after SOI
  while (pos + 3 < bytes.size()) {
    const std::uint8_t marker = bytes[pos + 1];
    if (marker == 0xD9) break;  // EOI
    const std::size_t end = pos + 2 + ((bytes[pos + 2] << 8) | bytes[pos + 3]);
    if (inScans) {
      // Up to the marker itself it is the previous scan's data; inside the segment either.
      kinds[pos] = kinds[pos + 1] = Cut::kDecodes;
      for (std::size_t n = pos + 2; n < end && n <= bytes.size(); ++n) kinds[n] = Cut::kEither;
    } else if (marker == 0xDA) {
      for (std::size_t n = pos + 2; n < end && n <= bytes.size(); ++n) kinds[n] = Cut::kEither;
    }
    pos = end;
    if (marker == 0xDA) {  // the scan's data runs up to the next real marker
      inScans = true;
      while (pos + 1 < bytes.size() && !(bytes[pos] == 0xFF && bytes[pos + 1] != 0x00 &&
                                         (bytes[pos + 1] < 0xD0 || bytes[pos + 1] > 0xD7))) {
        kinds[pos++] = Cut::kDecodes;
      }
    }
  }
  for (std::size_t n = pos; n <= bytes.size(); ++n)
    kinds[n] = inScans ? Cut::kDecodes : Cut::kFails;
  return kinds;
}

// Cut at every length, a file gives either a libjpeg error, with the old picture kept, or
// the whole picture, as the cut's place says; the file and memory decoders agree.
TEST(HardenedJpegInput, FilesCutAtEveryLength) {
  jpeg_samples::TempFolder folder;
  const jpeg_samples::RawImage image = Photo(40, 24);
  jpeg_samples::WriteOptions baseline;
  baseline.quality = 60;
  jpeg_samples::WriteOptions progressive = baseline;
  progressive.progressive = true;
  const std::pair<const char*, Bytes> files[] = {
      {"baseline", Encoded(folder, image, baseline)},
      {"progressive", Encoded(folder, image, progressive)},
  };
  for (const auto& [kind, whole] : files) {
    SCOPED_TRACE(kind);
    const std::vector<Cut> kinds = CutKinds(whole);
    ASSERT_EQ(kinds.back(), Cut::kDecodes);
    // A file in memory, cut shorter and shorter: thousands of cuts without disk writes.
    const int fd = memfd_create("cut.jpg", 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, whole.data(), whole.size()), static_cast<ssize_t>(whole.size()));
    const std::string cut = "/proc/self/fd/" + std::to_string(fd);
    for (std::size_t length = whole.size() + 1; length-- > 0;) {
      ASSERT_EQ(ftruncate(fd, static_cast<off_t>(length)), 0);
      const Bytes prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
      const Outcome fromFile = FromFile(cut);
      ASSERT_EQ(fromFile, FromMemory(prefix)) << "cut at " << length;
      if (kinds[length] != Cut::kEither) {
        ASSERT_EQ(!fromFile.error, kinds[length] == Cut::kDecodes)
            << "cut at " << length << ": " << fromFile.error.value_or("decoded");
      }
      if (fromFile.error) {
        EXPECT_EQ(fromFile.error->rfind("JPEG error #", 0), 0u) << *fromFile.error;
      } else {
        EXPECT_EQ(fromFile.width, 40);
        EXPECT_EQ(fromFile.height, 24);
      }
    }
    close(fd);
  }
}

// Another thread keeps rewriting the file in place (truncate, then write) with two
// pictures of different sizes and with a damaged copy, while this one decodes it. Every
// decode ends in one of the outcomes the three files can give: a picture of one of the
// two sizes, or a libjpeg error with the old picture kept.
TEST(HardenedJpegInput, FileRewrittenWhileItIsDecoded) {
  jpeg_samples::TempFolder folder;
  const Bytes first = Encoded(folder, Photo(256, 200), {});
  const Bytes second = Encoded(folder, Photo(200, 256), {});
  Bytes damaged = first;
  for (std::size_t i = damaged.size() / 3; i < damaged.size(); i += 7) damaged[i] ^= 0x5A;
  const std::string fileName = (folder / "changing.jpg").string();
  jpeg_samples::WriteBytes(fileName, first);

  std::atomic<bool> stop{false};
  std::atomic<int> rewrites{0};
  std::thread writer([&] {
    const Bytes* versions[] = {&first, &second, &damaged};
    while (!stop) {
      jpeg_samples::WriteBytes(fileName, *versions[rewrites % 3]);
      ++rewrites;
      // A pause with the file whole, so that on a loaded machine the reader still meets
      // whole files and not only ones cut short by the next truncation.
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
  });
  std::set<std::pair<int, int>> sizes;
  int failures = 0;
  int runs = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  for (; (runs < 150 || rewrites < 30) && std::chrono::steady_clock::now() < deadline; ++runs) {
    const Outcome outcome = FromFile(fileName);
    if (outcome.error) {
      EXPECT_EQ(outcome.error->rfind("JPEG error #", 0), 0u) << *outcome.error;
      ++failures;
    } else {
      sizes.emplace(outcome.width, outcome.height);
    }
  }
  stop = true;
  writer.join();
  EXPECT_GE(rewrites.load(), 30);
  for (const auto& size : sizes) {
    EXPECT_TRUE(size == std::make_pair(256, 200) || size == std::make_pair(200, 256))
        << size.first << " x " << size.second;
  }
  EXPECT_LT(failures, runs) << "some decodes must see a whole header";
}

}  // namespace
