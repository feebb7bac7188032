// Writing a whole file safely: every output of the program goes through here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace vantrel {

// Writes `size` bytes as the whole content of `fileName`, replacing a file of that name.
// The bytes go to a temporary file in the same folder that is renamed over the name only once
// it is completely written and synced, so a failure leaves an existing file as it was and no
// partial file behind. A symbolic link stays and the file it names is replaced; a replaced
// file keeps its permission bits, a new one gets 0666 less the umask. Devices and pipes are
// written in place. Throws VantrelError (kCannotCreateFile) on failure.
void WriteFileReplacing(const std::string& fileName, const std::uint8_t* data, std::size_t size);

inline void WriteFileReplacing(const std::string& fileName, std::span<const std::uint8_t> bytes) {
  WriteFileReplacing(fileName, bytes.data(), bytes.size());
}

}  // namespace vantrel
