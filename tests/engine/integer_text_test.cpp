#include "engine/integer_text.h"

#include <gtest/gtest.h>

namespace pelvar {
namespace {

TEST(IntegerTextTest, AcceptedForms) {
  EXPECT_EQ(ParseIntegerText("42"), 42);
  EXPECT_EQ(ParseIntegerText("  -7"), -7);
  EXPECT_EQ(ParseIntegerText("+7"), 7);
  EXPECT_EQ(ParseIntegerText("$A"), 10);
  EXPECT_EQ(ParseIntegerText("x1f"), 31);
  EXPECT_EQ(ParseIntegerText("X1F"), 31);
  EXPECT_EQ(ParseIntegerText("0x10"), 16);
  EXPECT_EQ(ParseIntegerText("0XfF"), 255);
  EXPECT_EQ(ParseIntegerText("$FFFFFFFF"), -1);
  EXPECT_EQ(ParseIntegerText("-$A"), -10);
  EXPECT_EQ(ParseIntegerText("2147483647"), 2147483647);
  EXPECT_EQ(ParseIntegerText("-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseIntegerText("007"), 7);
}

TEST(IntegerTextTest, RejectedForms) {
  for (const char* bad : {"", " ", "abc", "$", "0x", "x", "1 ", "1a", "2147483648", "-2147483649",
                          "$123456789", "--1", "+-1", "\t1", "1.0", "0x-1"}) {
    EXPECT_FALSE(ParseIntegerText(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace pelvar
