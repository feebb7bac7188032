// Reading the files a user names: a regular file only, opened without waiting, so that a
// FIFO, a socket or a device is refused before anything could block on it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/error.h"

namespace vantrel {

// `fileName` opened for reading, as a stdio stream the caller closes, and its size at the
// open. Throws VantrelError: "Cannot open file <name>" when it cannot be opened or is a
// folder, "Cannot open file <name>: not a regular file" for anything else that is not a
// regular file.
std::FILE* OpenRegularFile(const std::string& fileName, long long& size);

// The whole of a regular file of at most `maxBytes` bytes, opened as OpenRegularFile opens
// it. A larger one is refused with tooLarge(its size) before any of it is read (or, should it
// grow while being read, once it has grown past the limit). Throws VantrelError.
std::vector<std::uint8_t> ReadRegularFile(const std::string& fileName, long long maxBytes,
                                          const std::function<VantrelError(long long)>& tooLarge);

}  // namespace vantrel
