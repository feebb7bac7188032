// The one exception type of the library: a failed platform operation, carrying the
// exact text the user is shown ("Cannot open file %s", "JPEG error #%d", ...).
#pragma once

#include <stdexcept>
#include <string>

namespace vantrel {

class VantrelError : public std::runtime_error {
 public:
  explicit VantrelError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace vantrel
