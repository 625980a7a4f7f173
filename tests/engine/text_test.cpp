#include "engine/text.h"

#include <gtest/gtest.h>

namespace pelvar {
namespace {

TEST(TextTest, FolderOfPathKeepsRoots) {
  EXPECT_EQ(FolderOfPath("C:\\build\\x.script"), "C:\\build");
  EXPECT_EQ(FolderOfPath("C:\\x.script"), "C:\\");
  EXPECT_EQ(FolderOfPath("C:x.script"), "C:");
  EXPECT_EQ(FolderOfPath("/home/me/build.script"), "/home/me");
  EXPECT_EQ(FolderOfPath("/build.script"), "/");
  EXPECT_EQ(FolderOfPath("build.script"), "");
  EXPECT_EQ(FolderOfPath("a\\\\b"), "a\\\\");
}

TEST(TextTest, FileNameAndPrefix) {
  EXPECT_EQ(FileNameOfPath("C:\\a\\b.txt"), "b.txt");
  EXPECT_EQ(FileNameOfPath("C:b.txt"), "b.txt");
  EXPECT_EQ(FileNameOfPath("b.txt"), "b.txt");
  EXPECT_EQ(FolderPrefixOfPath("C:\\a\\b.txt"), "C:\\a\\");
  EXPECT_EQ(FolderPrefixOfPath("b.txt"), "");
}

TEST(TextTest, CaseFoldingIsForAsciiLettersOnly) {
  EXPECT_TRUE(IEquals("%TargetDir%", "%targetdir%"));
  EXPECT_FALSE(IEquals("\xC3\x84", "\xC3\xA4"));
  EXPECT_EQ(IReplaceAll("aXa", "x", "xx"), "axxa");
  EXPECT_EQ(IReplaceAll("%A%%a%", "%a%", "1"), "11");
  EXPECT_EQ(IFind("abc", ""), std::string::npos);
}

TEST(TextTest, SplitTextLinesHandlesAllLineEnds) {
  EXPECT_EQ(SplitTextLines("a\rb\nc\r\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitTextLines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(SplitTextLines(std::string("a\0b", 3)), (std::vector<std::string>{"a"}));
}

}  // namespace
}  // namespace pelvar
