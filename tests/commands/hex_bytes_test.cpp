#include "commands/hex_bytes.h"

#include <gtest/gtest.h>

namespace pelvar::commands {
namespace {

TEST(HexBytesTest, PairsWithOrWithoutSeparators) {
  EXPECT_EQ(ParseHexBytes("01,ff,0A"), std::string("\x01\xFF\x0A"));
  EXPECT_EQ(ParseHexBytes(" 01 , FF\t0a "), std::string("\x01\xFF\x0A"));
  EXPECT_EQ(ParseHexBytes("01ff0a"), std::string("\x01\xFF\x0A"));
  EXPECT_EQ(ParseHexBytes("00"), std::string(1, '\0'));
  EXPECT_EQ(ParseHexBytes(""), std::string());
  EXPECT_EQ(ParseHexBytes("  "), std::string());
}

TEST(HexBytesTest, AnythingElseIsRefused) {
  for (const char* text : {"0", "012", "0g", "01,,02", ",01", "01,", "0x01", "01;02", "0 1"}) {
    EXPECT_EQ(ParseHexBytes(text), std::nullopt) << text;
  }
}

}  // namespace
}  // namespace pelvar::commands
