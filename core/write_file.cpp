// Whole files through a temporary beside the target, renamed over it once complete.
#include "core/write_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/error.h"

namespace vantrel {

namespace {

// Carries errno from the failing call up to the one place that words the message.
struct SystemFailure {
  int error;
};

[[noreturn]] void Fail() { throw SystemFailure{errno}; }

// Closes on scope exit unless released; close errors only matter where they are checked.
class FileHandle {
 public:
  explicit FileHandle(int fd) : fd_(fd) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  void Close() {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) Fail();
  }

 private:
  int fd_;
};

void WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      Fail();
    }
    if (written == 0) {
      errno = EIO;
      Fail();
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Creates "<target>.<pid>.<n>" exclusively; the kernel applies the umask to 0666.
FileHandle CreateTemporary(const std::string& target, std::string& temporaryName) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporaryName =
        target + "." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));
    const int fd = ::open(temporaryName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return FileHandle(fd);
    if (errno != EEXIST) Fail();
  }
  Fail();  // errno is still EEXIST
}

void ReplaceThroughTemporary(const std::string& target, const struct stat* existing,
                             const std::uint8_t* data, std::size_t size) {
  std::string temporaryName;
  FileHandle file = CreateTemporary(target, temporaryName);
  try {
    if (existing != nullptr && ::fchmod(file.get(), existing->st_mode & 07777) != 0) Fail();
    WriteAll(file.get(), data, size);
    if (::fsync(file.get()) != 0) Fail();
    file.Close();
    if (::rename(temporaryName.c_str(), target.c_str()) != 0) Fail();
  } catch (const SystemFailure&) {
    ::unlink(temporaryName.c_str());
    throw;
  }
  // Make the new directory entry durable too; the file itself is already in place.
  const int folder = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
}

// A device or a pipe cannot be replaced by renaming; it is written as it is. A pipe without a
// reader is refused rather than waited for.
void WriteInPlace(const std::string& target, const std::uint8_t* data, std::size_t size) {
  FileHandle file(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
  if (file.get() < 0) Fail();
  const int flags = ::fcntl(file.get(), F_GETFL);
  if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) Fail();
  WriteAll(file.get(), data, size);
  file.Close();
}

void WriteOrFail(const std::string& fileName, const std::uint8_t* data, std::size_t size) {
  if (fileName.empty()) {
    errno = ENOENT;
    Fail();
  }
  std::string target = fileName;
  struct stat info {};
  if (::lstat(fileName.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    if (char* resolved = ::realpath(fileName.c_str(), nullptr)) {
      target = resolved;
      std::free(resolved);
    }
  }
  if (::stat(target.c_str(), &info) != 0) {
    if (errno != ENOENT) Fail();
    ReplaceThroughTemporary(target, nullptr, data, size);
    return;
  }
  if (S_ISDIR(info.st_mode)) {
    errno = EISDIR;
    Fail();
  }
  if (!S_ISREG(info.st_mode)) {
    WriteInPlace(target, data, size);
    return;
  }
  // Replacing needs only a writable folder; a file its owner made read-only stays refused.
  if (::access(target.c_str(), W_OK) != 0) Fail();
  ReplaceThroughTemporary(target, &info, data, size);
}

}  // namespace

void WriteFileReplacing(const std::string& fileName, const std::uint8_t* data, std::size_t size) {
  try {
    WriteOrFail(fileName, data, size);
  } catch (const SystemFailure& failure) {
    throw VantrelError(Message::kCannotCreateFile, fileName, std::strerror(failure.error));
  }
}

}  // namespace vantrel
