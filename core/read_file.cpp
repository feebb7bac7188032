// Files opened without blocking and checked to be regular before anything is read.
#include "core/read_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace vantrel {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::FILE* OpenRegularFile(const std::string& fileName, long long& size) {
  // Without O_NONBLOCK, opening a FIFO waits for a writer, for ever if none comes.
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) throw VantrelError(Message::kCannotOpenFile, fileName);
  struct stat status {};
  if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
    ::close(fd);
    throw VantrelError(Message::kCannotOpenFile, fileName);
  }
  if (!S_ISREG(status.st_mode)) {
    ::close(fd);
    throw VantrelError(Message::kNotARegularFile, fileName);
  }
  // A regular file never blocks; reads go on as for any file opened the usual way.
  const int flags = ::fcntl(fd, F_GETFL);
  std::FILE* file =
      flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ? nullptr : ::fdopen(fd, "rb");
  if (!file) {
    ::close(fd);
    throw VantrelError(Message::kCannotOpenFile, fileName);
  }
  size = status.st_size;
  return file;
}

std::vector<std::uint8_t> ReadRegularFile(const std::string& fileName, long long maxBytes,
                                          const std::function<VantrelError(long long)>& tooLarge) {
  long long size = 0;
  const std::unique_ptr<std::FILE, FileCloser> file(OpenRegularFile(fileName, size));
  if (size > maxBytes) throw tooLarge(size);
  // Read straight into a buffer of the file's size, then on in pieces in case it grew.
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  const std::size_t filled = std::fread(bytes.data(), 1, bytes.size(), file.get());
  bytes.resize(filled);
  if (filled == bytes.capacity()) {
    std::uint8_t buffer[1 << 16];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0;) {
      bytes.insert(bytes.end(), buffer, buffer + got);
      if (static_cast<long long>(bytes.size()) > maxBytes) {
        throw tooLarge(static_cast<long long>(bytes.size()));
      }
    }
  }
  if (std::ferror(file.get()) != 0) throw VantrelError(Message::kCannotOpenFile, fileName);
  return bytes;
}

}  // namespace vantrel
