// VantrelError: its message from the table, and what the user is told of any exception.
#include "core/error.h"

#include <new>
#include <utility>

namespace vantrel {

VantrelError::VantrelError(Message message, std::vector<std::string> arguments)
    : std::runtime_error(MessageText(message, arguments)),
      code_(message),
      arguments_(std::move(arguments)) {}

bool VantrelError::IsSetting() const { return MessageIsSetting(code_); }

std::string VantrelError::AboutFile(const std::string& file) const {
  if (MessageNamesFile(code_) || file.empty()) return what();
  return file + ": " + what();
}

std::string UserMessage(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const VantrelError& error) {
    return error.what();
  } catch (const std::bad_alloc&) {
    return MessageText(Message::kNotEnoughMemory, {});
  } catch (...) {
    return MessageText(Message::kInternalError, {});
  }
}

}  // namespace vantrel
