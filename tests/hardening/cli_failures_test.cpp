// vantrel-convert, run in-process, on a disk that is full and a picture of absurd size: the
// error on standard error, exit status 1, and no file lost or left half written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "c64/output_files.h"
#include "cli/run.h"
#include "core/write_file.h"
#include "picture/jpeg_samples.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  int status;
  std::string out, err;
};

Result RunCli(const std::vector<std::string>& arguments) {
  std::ostringstream out, err;
  const int status = vantrel::cli::Run(arguments, out, err);
  return {status, out.str(), err.str()};
}

std::vector<std::string> FilesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string() + " " +
                    std::to_string(entry.is_regular_file() ? entry.file_size() : 0));
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(HardenedCommandLine, FullDiskAndAbsurdSizesLoseNothing) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  jpeg_samples::TempFolder folder;
  const std::string sample = VANTREL_TEST_DATA "/astronaut.jpg";
  std::vector<std::uint8_t> huge = jpeg_samples::ReadBytes(sample);
  const std::size_t frame = jpeg_samples::FindMarker(huge, 0xC0);
  ASSERT_NE(frame, std::string::npos);
  for (int i = 5; i <= 8; ++i) huge[frame + i] = i % 2 ? 0xFF : 0xDC;  // 65500 x 65500
  jpeg_samples::WriteBytes(folder / "huge.jpg", huge);
  jpeg_samples::WriteBytes(folder / "old.prg", {'k', 'e', 'e', 'p'});
  const std::string full = std::string("Cannot create file /dev/full: ") + std::strerror(ENOSPC);

  struct Case {
    const char* what;
    std::vector<std::string> arguments;
    std::string message;
    std::vector<std::string> filesAfter;  // name and size
  };
  const std::string prg = (folder / "old.prg").string();
  const std::string bin = (folder / "new.bin").string();
  const Case cases[] = {
      {"executable into a full disk", {sample, "--format", "exe", "-o", "/dev/full"}, full, {}},
      {"data file into a full disk", {sample, "--format", "data", "-o", "/dev/full"}, full, {}},
      // Files before the failing one are whole; the failing one and those after it untouched.
      {"second of three outputs fails",
       {sample, "-o", bin, "--format", "exe", "-o", "/dev/full", "-o", prg},
       full,
       {"new.bin " + std::to_string(vantrel::DataFileSize)}},
      {"picture of 65500 x 65500 pixels",
       {(folder / "huge.jpg").string(), "-o", prg, "-o", bin},
       (folder / "huge.jpg").string() + ": Picture too large (65500 x 65500 pixels)",
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(bin);
    const Result result = RunCli(c.arguments);
    EXPECT_EQ(result.status, vantrel::cli::ExitFailure);
    EXPECT_EQ(result.err, "vantrel-convert: " + c.message + "\n");
    EXPECT_EQ(result.out, "");
    std::vector<std::string> expected = c.filesAfter;
    expected.push_back("huge.jpg " + std::to_string(huge.size()));
    expected.push_back("old.prg 4");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FilesIn(folder.path()), expected);
  }
}

}  // namespace
