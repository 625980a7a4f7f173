#include "engine/line_fields.h"

#include <gtest/gtest.h>

namespace pelvar {
namespace {

using Fields = std::vector<std::string>;

TEST(SplitFieldsTest, CommasBlanksAndEmptyFields) {
  EXPECT_EQ(SplitFields("echo,1,Hello world"), (Fields{"echo", "1", "Hello", "world"}));
  EXPECT_EQ(SplitFields("  echo , 1 ,,x"), (Fields{"echo", "1", "", "x"}));
  EXPECT_EQ(SplitFields("a,b,"), (Fields{"a", "b", ""}));
  EXPECT_EQ(SplitFields("a,b, "), (Fields{"a", "b"}));  // the comma is not last
  EXPECT_EQ(SplitFields(""), Fields{});
  EXPECT_EQ(SplitFields("   "), Fields{});
  EXPECT_EQ(SplitFields("a\tb"), (Fields{"a", "b"}));
}

TEST(SplitFieldsTest, QuotedFields) {
  EXPECT_EQ(SplitFields("echo,1,\"Hello world\""), (Fields{"echo", "1", "Hello world"}));
  EXPECT_EQ(SplitFields("\"a,b\",\"say \"\"hi\"\"\""), (Fields{"a,b", "say \"hi\""}));
  EXPECT_EQ(SplitFields("\"a\"b,c"), (Fields{"a", "b", "c"}));
  EXPECT_EQ(SplitFields("x,\"\",y"), (Fields{"x", "", "y"}));
}

TEST(SplitFieldsTest, UnclosedQuoteLosesTheLastCharacter) {
  EXPECT_EQ(SplitFields("echo,1,\"abc"), (Fields{"echo", "1", "ab"}));
  EXPECT_EQ(SplitFields("echo,1,\""), (Fields{"echo", "1", ""}));
}

TEST(SplitFieldsTest, HighBytesArePartOfFields) {
  EXPECT_EQ(SplitFields("echo,1,\xC3\xA4rger"), (Fields{"echo", "1", "\xC3\xA4rger"}));
}

}  // namespace
}  // namespace pelvar
