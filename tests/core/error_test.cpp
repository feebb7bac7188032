// Tests of the message table and of what users are told of exceptions.
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
      {std::make_exception_ptr(VantrelError(Message::kCannotOpenFile, "a.jpg")),
       "Cannot open file a.jpg"},
      {std::make_exception_ptr(std::bad_alloc()), "Not enough memory"},
      {std::make_exception_ptr(std::logic_error("ConvertPicture: PreviewBitmap too small")),
       "Internal error"},
      {std::make_exception_ptr(std::invalid_argument("stoi")), "Internal error"},
      {std::make_exception_ptr(42), "Internal error"},
  };
  for (const Case& c : cases) EXPECT_EQ(UserMessage(c.failure), c.shown);
}

// The arguments go in where the text says, and the command line names the picture only where
// the text does not name a file itself.
TEST(MessageTable, TextsTakeTheirArgumentsAndTellTheirKind) {
  const struct {
    VantrelError error;
    const char* text;
    const char* aboutFile;  // as the command line tells it about "x.jpg"
    bool setting;
  } cases[] = {
      {VantrelError(Message::kJpegError, 53), "JPEG error #53", "x.jpg: JPEG error #53", false},
      {VantrelError(Message::kPictureTooSmall, 5, 6), "Picture too small (5 x 6 pixels)",
       "x.jpg: Picture too small (5 x 6 pixels)", false},
      {VantrelError(Message::kCannotOpenFile, "x.jpg"), "Cannot open file x.jpg",
       "Cannot open file x.jpg", false},
      {VantrelError(Message::kCannotOpenPicture, "BMP", "x.jpg", Text(Message::kEndsEarly)),
       "Cannot open BMP file x.jpg: the file ends early",
       "Cannot open BMP file x.jpg: the file ends early", false},
      {VantrelError(Message::kCropOutside, 321, 0, 512, 512, 100, 320, 312),
       "--crop 321,0 puts the window outside the 512 x 512 picture at 100 % (X 0..320, Y 0..312)",
       "x.jpg: --crop 321,0 puts the window outside the 512 x 512 picture at 100 % (X 0..320, Y "
       "0..312)",
       true},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(c.error.what(), c.text);
    EXPECT_EQ(c.error.AboutFile("x.jpg"), c.aboutFile);
    EXPECT_EQ(c.error.IsSetting(), c.setting) << c.text;
  }
}

}  // namespace
}  // namespace vantrel
