#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/test_support.h"

namespace pelvar::platform {
namespace {

using pelvar::testing::TempDir;

TEST(HostPathTest, BackslashesAndCaseInsensitiveComponents) {
  TempDir dir;
  dir.Write("i386/Setup/file.txt", "x");
  const std::string base = dir.path();
  EXPECT_EQ(HostPath(base + "\\I386\\SETUP\\FILE.TXT"), base + "/i386/Setup/file.txt");
  EXPECT_EQ(HostPath(base + "/i386/setup/new/Name.TXT"), base + "/i386/Setup/new/Name.TXT");
  EXPECT_EQ(HostPath(base + "\\I386\\"), base + "/i386/");
  EXPECT_TRUE(IsFile(base + "\\I386\\setup\\File.Txt"));
  EXPECT_TRUE(IsDirectory(base + "\\I386"));
  EXPECT_FALSE(IsFile(base + "\\I386"));
  EXPECT_FALSE(PathExists(base + "\\nothing"));
}

// Only the last name missing as written, in a folder that exists as
// written: it is matched in that folder, or kept as written.
TEST(HostPathTest, ALastNameIsMatchedInItsFolder) {
  TempDir dir;
  dir.Write("Sub/Inner/File.txt", "x");
  const std::string base = dir.path();
  EXPECT_EQ(HostPath(base + "/Sub/Inner/FILE.TXT"), base + "/Sub/Inner/File.txt");
  EXPECT_EQ(HostPath(base + "\\Sub\\Inner\\new.txt"), base + "/Sub/Inner/new.txt");
  EXPECT_EQ(HostPath(base + "/Sub/inner/FILE.TXT"), base + "/Sub/Inner/File.txt");
  EXPECT_EQ(HostPath(base + "/Sub/Inner/.."), base + "/Sub/Inner/..");
  EXPECT_EQ(HostPath(base + "/Sub//Inner/file.TXT"), base + "/Sub/Inner/File.txt");
}

TEST(HostPathTest, ExactNameWinsOverOtherCase) {
  TempDir dir;
  dir.Write("A.txt", "upper");
  dir.Write("a.txt", "lower");
  std::string content;
  ASSERT_FALSE(ReadWholeFile(dir.path() + "\\a.txt", content));
  EXPECT_EQ(content, "lower");
  // A third spelling names neither of the two files.
  EXPECT_EQ(ReadWholeFile(dir.path() + "\\A.TXT", content), std::errc::no_such_file_or_directory);
  dir.Write("b.txt", "only");
  ASSERT_FALSE(ReadWholeFile(dir.path() + "\\B.TXT", content));
  EXPECT_EQ(content, "only");
}

// Letter case beyond ASCII meets as on a Windows file system; bytes that are
// not UTF-8 (a Latin-1 name) are matched only as they are.
TEST(HostPathTest, LetterCaseBeyondAscii) {
  TempDir dir;
  dir.Write("Ärger/Документы/Größe.TXT", "x");
  dir.Write("\xC4rger.txt", "latin-1");
  const std::string base = dir.path();
  EXPECT_EQ(HostPath(base + "\\ärger\\ДОКУМЕНТЫ\\GRÖSSE.txt"),
            base + "/Ärger/Документы/GRÖSSE.txt");  // ß is no SS: not found, kept
  EXPECT_EQ(HostPath(base + "\\ärger\\документы\\größe.txt"), base + "/Ärger/Документы/Größe.TXT");
  EXPECT_EQ(HostPath(base + "\\\xC4RGER.TXT"), base + "/\xC4rger.txt");
  EXPECT_EQ(HostPath(base + "\\\xE4rger.txt"), base + "/\xE4rger.txt");
}

}  // namespace
}  // namespace pelvar::platform
