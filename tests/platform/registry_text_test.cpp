// Registry text: decoding script text, the stored string form, and names
// compared as the system compares them.
#include "platform/registry_text.h"

#include "platform/registry.h"

#include <gtest/gtest.h>

namespace pelvar::platform {
namespace {

TEST(RegistryTextTest, ScriptTextIsUtf8WhenValidElseWindows1252) {
  EXPECT_EQ(ScriptTextToUtf8("plain"), "plain");
  EXPECT_EQ(ScriptTextToUtf8("\xC3\xA4\xE2\x82\xAC"), "\xC3\xA4\xE2\x82\xAC");
  // 0x80 is the euro sign, 0x81 has no character and stays U+0081.
  EXPECT_EQ(ScriptTextToUtf8("\x80\x81\xE4"), "\xE2\x82\xAC\xC2\x81\xC3\xA4");
  // A lone UTF-8 lead byte makes the whole text 8-bit.
  EXPECT_EQ(ScriptTextToUtf8("\xC3\xA4\xC3"), "\xC3\x83\xC2\xA4\xC3\x83");
}

TEST(RegistryTextTest, SubkeyPathsSplitIntoTheKeyAboveAndTheLastName) {
  const RegistryKey key{RegistryRoot::kLocalMachine, "Software"};
  RegistryKey parent;
  std::string_view last;
  ASSERT_TRUE(SplitSubkeyPath(key, "Vendor\\Sub\\App", parent, last));
  EXPECT_EQ(parent.root, RegistryRoot::kLocalMachine);
  EXPECT_EQ(parent.path, "Software\\Vendor\\Sub");
  EXPECT_EQ(last, "App");
  // Below a root, and below a key written with a trailing separator.
  ASSERT_TRUE(SplitSubkeyPath({RegistryRoot::kUsers, ""}, "A\\B", parent, last));
  EXPECT_EQ(parent.path, "A");
  ASSERT_TRUE(SplitSubkeyPath({RegistryRoot::kUsers, "X\\"}, "A\\", parent, last));
  EXPECT_EQ(parent.path, "X\\A");
  EXPECT_EQ(last, "");
  // One name, or one with only a leading separator, is no path.
  EXPECT_FALSE(SplitSubkeyPath(key, "App", parent, last));
  EXPECT_FALSE(SplitSubkeyPath(key, "\\App", parent, last));
}

TEST(RegistryTextTest, StringValuesAreUtf16LeWithTheirNul) {
  EXPECT_EQ(RegistryStringBytes(""), std::string(2, '\0'));
  EXPECT_EQ(RegistryStringBytes("A\xE4"), std::string("A\0\xE4\0\0\0", 6));
  EXPECT_EQ(RegistryStringBytes("\xF0\x9F\x98\x80"), std::string("\x3D\xD8\x00\xDE\0\0", 6));
  EXPECT_EQ(Utf16LeToUtf8(std::string("A\0\xE4\0\0\0B\0", 8)), "A\xC3\xA4");
  EXPECT_EQ(Utf16LeToUtf8(std::string("\x3D\xD8\x00\xDE", 4)), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16LeToUtf8(std::string("\x3D\xD8Z", 3)), "\xEF\xBF\xBD");  // a lone surrogate
}

TEST(RegistryTextTest, NamesCompareUpperCasedBeyondAscii) {
  EXPECT_TRUE(NamesEqual("Software", "SOFTWARE"));
  EXPECT_TRUE(NamesEqual("\xC3\xA4rger", "\xC3\x84RGER"));  // ärger, ÄRGER
  EXPECT_FALSE(
      NamesEqual("stra\xC3\x9F"
                 "e",
                 "STRASSE"));  // no expansion of ß
  EXPECT_FALSE(NamesEqual("a", "a "));
  // "_" sorts after the letters once they are upper-cased.
  EXPECT_LT(NameFoldKey("AB"), NameFoldKey("a_b"));
}

TEST(RegistryTextTest, NameLimitsAndPaths) {
  EXPECT_EQ(KeyNameProblem(std::string(255, 'k')), "");
  EXPECT_EQ(KeyNameProblem(std::string(256, 'k')),
            "a key name cannot be longer than 255 characters");
  EXPECT_EQ(KeyNameProblem(""), "a key name cannot be empty");
  EXPECT_EQ(ValueNameProblem(std::string(16384, 'v')),
            "a value name cannot be longer than 16383 characters");
  EXPECT_EQ(ValueNameProblem(""), "");
  std::vector<std::string> names;
  EXPECT_TRUE(SplitKeyPath("Software\\M\xE4", names));
  EXPECT_EQ(names, (std::vector<std::string>{"Software", "M\xC3\xA4"}));
  EXPECT_TRUE(SplitKeyPath("", names));
  EXPECT_TRUE(names.empty());
  EXPECT_FALSE(SplitKeyPath("\\Software", names));
  EXPECT_FALSE(SplitKeyPath("a\\\\b", names));
  EXPECT_FALSE(SplitKeyPath("\\", names));
  EXPECT_TRUE(SplitKeyPath("a\\", names));
  EXPECT_EQ(names, std::vector<std::string>{"a"});
}

}  // namespace
}  // namespace pelvar::platform
