// Small files that would cost far more than their size: many scans, a huge canvas, a huge
// declared picture with no data, a device that never ends, a file too large to be a picture,
// projects nested deep or larger than any, and a FIFO. Each opens or is refused as the
// command line opens it, with its message, in bounded memory and time. The bounds here are
// loose; bench/hostile_files.sh measures.
#include "support/hostile_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <sstream>
#include <string>

#include "cli/run.h"
#include "core/error.h"
#include "picture/jpeg_decoder.h"
#include "picture/jpeg_samples.h"
#include "picture/photo.h"
#include "session/session.h"
#include "support/address_space_cap.h"

#if defined(__SANITIZE_ADDRESS__)
#define VANTREL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTREL_SANITIZED 1
#endif
#endif

namespace {

using namespace hostile_files;
using picture_writers::EncodeBmp;
using vantrel::Photo;

long long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field, 0) == 0) return std::stoll(line.substr(std::strlen(field)));
  }
  return -1;
}

// How far this process's peak resident memory rose above where it stood while `work` ran,
// in MiB; -1 where the peak cannot be reset.
long long PeakGrowthMiB(const std::function<void()>& work) {
  std::ofstream reset("/proc/self/clear_refs");
  reset << "5" << std::flush;  // the peak starts again from the present
  if (!reset) return -1;
  const long long before = StatusKiB("VmRSS:");
  work();
  return (StatusKiB("VmHWM:") - before) / 1024;
}

TEST(HostileFiles, EachEndsSoonWithItsMessage) {
  const jpeg_samples::TempFolder folder;
  const std::string tooLarge = (folder / "too-large.png").string();
  {
    std::ofstream(tooLarge).put('x');  // sparse: no disk space taken
    std::filesystem::resize_file(tooLarge, 3LL << 30);
  }
  // Larger than any project, and sparse too.
  const std::string hugeProject = (folder / "huge.vantrel").string();
  {
    std::ofstream(hugeProject) << "{\n  \"vantrel\": 1,\n";
    std::filesystem::resize_file(hugeProject, 100LL << 20);
  }
  const Pixels square(64, 64, 0x80C04020u);
  struct Case {
    std::string name;      // a file in the folder, or a path
    Bytes bytes;           // written to the folder unless empty
    std::string message;   // "" when it opens; ends with ": " when the rest is a library's
    bool project = false;  // opened as a project rather than a picture
  };
  const Case cases[] = {
      {"many-scans.jpg", ManyScansJpeg(1448, 1448, 10000),
       "Cannot open JPEG file @: more than 500 scans"},
      {"huge-canvas.webp",
       picture_writers::EncodeWebpOnCanvas(16384, 16384, {{square, 100, 200}, {square, 0, 0}}), ""},
      {"header-only.bmp", BmpHeaderOnly(16384, 16384, 24, 0),
       "Cannot open BMP file @: the file ends early"},
      {"header-only-rle8.bmp", BmpHeaderOnly(16384, 16384, 8, 1),
       "Cannot open BMP file @: the file ends early"},
      {"sparse-rle8.bmp",
       WithBmpSize(EncodeBmp(Pixels(16, 1), {.bits = 8, .compression = 1}), 16384, 16384),
       "Cannot open BMP file @: its RLE data draws only 16 of 16384 x 16384 pixels"},
      {"int-min-height.bmp", BmpHeaderOnly(13, INT_MIN, 24, 0),
       "Picture too large (13 x 2147483648 pixels)"},
      {"huge.png", WithPngSize(picture_writers::EncodePng(Pixels(1, 1)), 16384, 16384),
       "Cannot open PNG file @: "},
      {"huge.tif", WithTiffSize(picture_writers::EncodeTiff(Pixels(1, 1)), 16384, 16384),
       "Cannot open TIFF file @: "},
      {"/dev/zero", {}, "Cannot open file @: not a regular file"},
      {tooLarge, {}, "Cannot open file @: too large for a picture (3221225472 bytes)"},
      {"deep.vantrel", DeeplyNestedProject(50000),
       "@ is not a usable project file: its lists and objects nest more than 3 deep, deeper "
       "than in any project",
       true},
      {hugeProject,
       {},
       "@ is not a usable project file: it has 104857600 bytes, more than any project (at most "
       "4 MiB)",
       true},
  };
  // What an open may add to the peak memory. Each costs next to nothing, but under the
  // sanitizers even untouched address space for a declared picture costs shadow memory, an
  // eighth of it.
  constexpr long long kPeakMiB = 256;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = c.bytes.empty() ? c.name : (folder / c.name).string();
    if (!c.bytes.empty()) jpeg_samples::WriteBytes(path, c.bytes);
    std::string message = c.message;
    if (const std::size_t at = message.find('@'); at != std::string::npos) {
      message.replace(at, 1, path);
    }
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    const long long peak = PeakGrowthMiB([&] {
#ifndef VANTREL_SANITIZED  // the sanitizers' shadow memory cannot live under a cap
      testsupport::AddressSpaceCap cap(1536LL << 20);
      ASSERT_TRUE(cap.ok());
#endif
      try {
        if (c.project) {
          vantrel::Session().OpenProject(path);
        } else {
          // As the command line opens a file: its level at 100 %, then a draw from it.
          Photo photo = Photo::OpenFile(path);
          photo.Prepare(100);
          photo.DrawScaled(100, -100, -200, *std::make_unique<vantrel::ViewSurface>());
        }
      } catch (const vantrel::VantrelError& e) {
        error = e.what();
      }
    });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (message.ends_with(": ")) {
      EXPECT_EQ(error.rfind(message, 0), 0u) << error;
      EXPECT_GT(error.size(), message.size()) << "no reason given";
    } else {
      EXPECT_EQ(error, message);
    }
    EXPECT_LT(seconds, 10.0);
    if (peak >= 0) {
      EXPECT_LT(peak, kPeakMiB);
    }
  }
}

// A FIFO named as a photo, as a project and as a project's photo: every way a front end opens
// a file refuses it at once instead of waiting for a writer. Should an open wait, the test
// opens the FIFO for writing itself, which lets it go on, and fails.
TEST(HostileFiles, AFifoIsRefusedWithoutWaiting) {
  const jpeg_samples::TempFolder folder;
  const std::string pipe = (folder / "pipe.jpg").string();
  const std::string pipeProject = (folder / "pipe.vantrel").string();
  for (const std::string& fifo : {pipe, pipeProject}) ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  vantrel::Project project;
  project.photo = "pipe.jpg";
  project.photoSha256 = std::string(64, '0');
  const std::string projectFile = (folder / "photo-is-a-pipe.vantrel").string();
  std::ofstream(projectFile) << vantrel::ProjectText(project);
  const std::string refused = "Cannot open file " + pipe + ": not a regular file";

  using vantrel::Session;
  const auto message = [](const std::function<void()>& open) -> std::string {
    try {
      open();
    } catch (const vantrel::VantrelError& e) {
      return e.what();
    }
    return "opened";
  };
  const struct {
    const char* name;
    std::function<std::string()> open;
    std::string expected;
  } cases[] = {
      {"a photo", [&] { return message([&] { Photo::OpenFile(pipe); }); }, refused},
      {"the JPEG decoder",
       [&] {
         return message([&] {
           vantrel::Bitmap32 picture;
           vantrel::DecodeJpegFile(pipe, picture);
         });
       },
       refused},
      {"what the file is",
       [&] { return Session::KindOfFile(pipe) == vantrel::FileKind::Picture ? "a picture" : "?"; },
       "a picture"},
      {"the window's open and drops", [&] { return message([&] { Session().OpenFile(pipe); }); },
       refused},
      {"a conversion", [&] { return message([&] { Session().ConvertFile(pipe, {}); }); }, refused},
      {"a project", [&] { return message([&] { Session().OpenProject(pipeProject); }); },
       "Cannot open file " + pipeProject + ": not a regular file"},
      {"a project's photo", [&] { return message([&] { Session().OpenProject(projectFile); }); },
       refused},
      {"vantrel-convert",
       [&] {
         std::ostringstream out, err;
         const int status =
             vantrel::cli::Run({pipe, "-o", (folder / "out.prg").string()}, out, err);
         return std::to_string(status) + " " + err.str();
       },
       "1 vantrel-convert: " + refused + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::future<std::string> opened = std::async(std::launch::async, c.open);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool waited = false;
    while (opened.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
      if (std::chrono::steady_clock::now() < deadline) continue;
      waited = true;
      for (const std::string& fifo : {pipe, pipeProject}) {
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
      }
    }
    EXPECT_FALSE(waited) << "the open waited for a writer";
    EXPECT_EQ(opened.get(), c.expected);
  }
}

}  // namespace
