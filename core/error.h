// The one exception type of the library: a failed platform operation, carrying the
// exact text the user is shown ("Cannot open file %s", "JPEG error #%d", ...).
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace vantrel {

class VantrelError : public std::runtime_error {
 public:
  explicit VantrelError(const std::string& message) : std::runtime_error(message) {}
};

// A setting the picture cannot take (a scale or crop outside it): the command line's bad
// usage rather than a failing file.
class SettingError : public VantrelError {
 public:
  using VantrelError::VantrelError;
};

// What the user is told about a failure, the same in the window and on the command line:
// a VantrelError's own text, "Not enough memory" for a failed allocation, and "Internal
// error" for anything else, whose text was written for programmers, not for users.
std::string UserMessage(const std::exception_ptr& failure);

}  // namespace vantrel
