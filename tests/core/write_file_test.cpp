// Saving a file: the whole buffer lands under the name, and a failed save leaves everything as
// it was and says why.
#include "core/write_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/types.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

class SaveFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "vantrel-save-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(folder_, ignored);
  }

  std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }

  std::set<std::string> Entries() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  static std::vector<std::uint8_t> Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  static void Put(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }

  static std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    return bytes;
  }

  static std::string ErrorOf(const std::function<void()>& save) {
    try {
      save();
    } catch (const VantrelError& error) {
      return error.what();
    }
    return "(no error)";
  }

  fs::path folder_;
};

TEST_F(SaveFile, WritesTheWholeBufferUnderTheName) {
  const auto buffer = Pattern(FileBufferSize, 3);
  const std::string name = PathOf("picture.prg");

  WriteFileReplacing(name, buffer.data(), buffer.size());

  EXPECT_EQ(Contents(name), std::vector<std::uint8_t>(buffer.begin(), buffer.end()));
  EXPECT_EQ(Entries(), std::set<std::string>{"picture.prg"});
  const mode_t mask = ::umask(0);
  ::umask(mask);
  struct stat info {};
  ASSERT_EQ(::stat(name.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
}

TEST_F(SaveFile, ReplacesAnExistingFileAndKeepsItsPermissions) {
  const std::string name = PathOf("picture.dat");
  Put(name, Pattern(40000, 1));
  ASSERT_EQ(::chmod(name.c_str(), 0640), 0);
  const auto bytes = Pattern(MemoryImageSize, 9);

  WriteFileReplacing(name, bytes.data(), bytes.size());

  EXPECT_EQ(Contents(name), bytes);
  struct stat info {};
  ASSERT_EQ(::stat(name.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(Entries(), std::set<std::string>{"picture.dat"});
}

TEST_F(SaveFile, ThroughASymbolicLinkReplacesTheFileItNames) {
  const std::string target = PathOf("real.prg");
  const std::string link = PathOf("link.prg");
  Put(target, Pattern(100, 3));
  ASSERT_EQ(::symlink("real.prg", link.c_str()), 0);
  const auto bytes = Pattern(500, 4);

  WriteFileReplacing(link, bytes.data(), bytes.size());

  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Contents(target), bytes);
  EXPECT_EQ(Entries(), (std::set<std::string>{"link.prg", "real.prg"}));
}

// Lowers the file size limit for one save, so that writing fails part way as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &old_);
    rlimit lowered = old_;
    lowered.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    ::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  sighandler_t oldHandler_;
};

struct FailureCase {
  const char* name;
  // Prepares the folder and returns the file name to save under.
  std::function<std::string(SaveFile&, const fs::path&)> prepare;
  int error;
  bool limitFileSize = false;
};
void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

class SaveFailure : public SaveFile, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SaveFailure, NamesTheReasonAndLeavesTheFolderAsItWas) {
  const FailureCase& c = GetParam();
  const std::string name = c.prepare(*this, folder_);
  const std::string keptName = PathOf("picture.prg");
  const auto kept = Pattern(1234, 5);
  Put(keptName, kept);
  const std::set<std::string> before = Entries();
  const auto buffer = Pattern(FileBufferSize, 4);

  std::string message;
  {
    std::optional<FileSizeLimit> limit;
    if (c.limitFileSize) limit.emplace(4096);
    message = ErrorOf([&] { WriteFileReplacing(name, buffer.data(), buffer.size()); });
  }

  EXPECT_EQ(message, "Cannot create file " + name + ": " + std::strerror(c.error));
  EXPECT_EQ(Entries(), before);
  EXPECT_EQ(Contents(keptName), kept);
}

INSTANTIATE_TEST_SUITE_P(
    WriteFile, SaveFailure,
    ::testing::Values(
        FailureCase{"MissingFolder",
                    [](SaveFile&, const fs::path& folder) {
                      return (folder / "no such folder" / "picture.prg").string();
                    },
                    ENOENT},
        FailureCase{"NameIsAFolder",
                    [](SaveFile&, const fs::path& folder) {
                      fs::create_directory(folder / "pictures");
                      return (folder / "pictures").string();
                    },
                    EISDIR},
        FailureCase{"EmptyName", [](SaveFile&, const fs::path&) { return std::string(); }, ENOENT},
        // The existing file itself: a failed write must not touch it.
        FailureCase{
            "WriteFailsPartWay",
            [](SaveFile&, const fs::path& folder) { return (folder / "picture.prg").string(); },
            EFBIG, true},
        FailureCase{"WriteFailsPartWayOnNewFile",
                    [](SaveFile&, const fs::path& folder) { return (folder / "new.prg").string(); },
                    EFBIG, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SaveFile, FullDeviceGivesItsReason) {
  if (!fs::is_character_file("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  const auto bytes = Pattern(MemoryImageSize, 2);
  EXPECT_EQ(ErrorOf([&] { WriteFileReplacing("/dev/full", bytes.data(), bytes.size()); }),
            std::string("Cannot create file /dev/full: ") + std::strerror(ENOSPC));
  EXPECT_TRUE(fs::is_character_file("/dev/full"));  // written, never replaced
}

// Permission checks do not apply to root, under which these tests may run.
TEST_F(SaveFile, ReadOnlyFolderOrFileIsRefused) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
  const auto bytes = Pattern(100, 6);

  const std::string readOnlyFile = PathOf("locked.prg");
  Put(readOnlyFile, Pattern(10, 1));
  ASSERT_EQ(::chmod(readOnlyFile.c_str(), 0444), 0);
  EXPECT_EQ(ErrorOf([&] { WriteFileReplacing(readOnlyFile, bytes.data(), bytes.size()); }),
            "Cannot create file " + readOnlyFile + ": " + std::strerror(EACCES));
  EXPECT_EQ(Contents(readOnlyFile), Pattern(10, 1));

  ASSERT_EQ(::chmod(folder_.c_str(), 0555), 0);
  const std::string inReadOnlyFolder = PathOf("picture.prg");
  EXPECT_EQ(ErrorOf([&] { WriteFileReplacing(inReadOnlyFolder, bytes.data(), bytes.size()); }),
            "Cannot create file " + inReadOnlyFolder + ": " + std::strerror(EACCES));
  EXPECT_EQ(Entries(), std::set<std::string>{"locked.prg"});
}

}  // namespace
}  // namespace vantrel
