// The one exception type of the library: a failure as a code from the message table and its
// arguments. Its text, the one the user is shown, comes from that table (core/messages.cpp).
#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "core/messages.h"

namespace vantrel {

namespace message_detail {
inline std::string Text(const std::string& text) { return text; }
inline std::string Text(std::string_view text) { return std::string(text); }
inline std::string Text(const char* text) { return text; }
inline std::string Text(Message message) { return MessageText(message, {}); }
template <typename Number, typename = std::enable_if_t<std::is_arithmetic_v<Number>>>
std::string Text(Number number) {
  return std::to_string(number);
}
}  // namespace message_detail

// The text of `message` with its arguments, for a message that goes inside another one.
template <typename... Arguments>
std::string Text(Message message, const Arguments&... arguments) {
  return MessageText(message, {message_detail::Text(arguments)...});
}

class VantrelError : public std::runtime_error {
 public:
  template <typename... Arguments>
  explicit VantrelError(Message message, const Arguments&... arguments)
      : VantrelError(message, std::vector<std::string>{message_detail::Text(arguments)...}) {}
  VantrelError(Message message, std::vector<std::string> arguments);

  Message Code() const { return code_; }
  const std::vector<std::string>& Arguments() const { return arguments_; }
  // A setting the picture cannot take (a scale or crop outside it): the command line's bad
  // usage rather than a failing file.
  bool IsSetting() const;
  // The text as the command line and the page tell it about `file`: with the file's name in
  // front when the text does not name a file itself ("photo.jpg: JPEG error #53").
  std::string AboutFile(const std::string& file) const;

 private:
  Message code_;
  std::vector<std::string> arguments_;
};

// What the user is told about a failure, the same in the window and on the command line:
// a VantrelError's own text, "Not enough memory" for a failed allocation, and "Internal
// error" for anything else, whose text was written for programmers, not for users.
std::string UserMessage(const std::exception_ptr& failure);

}  // namespace vantrel
