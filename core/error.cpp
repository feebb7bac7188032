#include "core/error.h"

#include <new>

namespace vantrel {

std::string UserMessage(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const VantrelError& error) {
    return error.what();
  } catch (const std::bad_alloc&) {
    return "Not enough memory";
  } catch (...) {
    return "Internal error";
  }
}

}  // namespace vantrel
