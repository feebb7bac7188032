#include "core/error.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

namespace vantrel {
namespace {

// The window and the command line show only texts written for users: a library failure's own
// message, a plain word for memory, and nothing of what was meant for programmers.
TEST(UserMessage, ShowsOnlyTextsWrittenForTheUser) {
  struct Case {
    std::exception_ptr failure;
    const char* shown;
  } cases[] = {
      {std::make_exception_ptr(VantrelError("Cannot open file a.jpg")), "Cannot open file a.jpg"},
      {std::make_exception_ptr(std::bad_alloc()), "Not enough memory"},
      {std::make_exception_ptr(std::logic_error("ConvertPicture: PreviewBitmap too small")),
       "Internal error"},
      {std::make_exception_ptr(std::invalid_argument("stoi")), "Internal error"},
      {std::make_exception_ptr(42), "Internal error"},
  };
  for (const Case& c : cases) EXPECT_EQ(UserMessage(c.failure), c.shown);
}

}  // namespace
}  // namespace vantrel
