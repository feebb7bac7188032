// Tests of the edit boxes' integer reading.
#include "core/str_to_int.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(StrToIntDef, ReadsWhatTheEditBoxesAccept) {
  struct Case {
    const char* text;
    std::int32_t expected;
  } cases[] = {
      {"0", 0},
      {"40", 40},
      {"007", 7},
      {"-300", -300},
      {"+12", 12},
      {"   5", 5},
      {"$1F", 31},
      {"x1f", 31},
      {"X10", 16},
      {"0x10", 16},
      {"0X7fffffff", 2147483647},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"-0", 0},
      // Not numbers: the fallback.
      {"", 100},
      {"-", 100},
      {"+", 100},
      {"abc", 100},
      {"5 ", 100},
      {" ", 100},
      {"1 2", 100},
      {"$", 100},
      {"0x", 100},
      {"-$10", 100},
      {"--5", 100},
      {"2147483648", 100},
      {"-2147483649", 100},
      {"0x80000000", 100},
      {"99999999999999999999", 100},
      {"\t5", 100},
      {"12a", 100},
      {"$G", 100},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StrToIntDef(c.text, 100), c.expected) << '"' << c.text << '"';
  }
  EXPECT_EQ(StrToIntDef("nope", -7), -7);
}

TEST(StrToIntDef, IntToStrRoundTrips) {
  for (std::int32_t value : {-255, -1, 0, 1, 7, 255, 2147483647}) {
    EXPECT_EQ(StrToIntDef(IntToStr(value), 100), value);
  }
  EXPECT_EQ(IntToStr(-255), "-255");
}

}  // namespace
}  // namespace vantrel
