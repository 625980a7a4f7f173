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
  ASSERT_FALSE(ReadWholeFile(dir.path() + "\\A.TXT", content));
  EXPECT_TRUE(content == "upper" || content == "lower");
}

TEST(AtomicFileWriterTest, ReplacesAndKeepsPermissions) {
  TempDir dir;
  const std::string p = dir.Write("f.txt", "old");
  ::chmod(p.c_str(), 0640);
  ASSERT_FALSE(ReplaceFileAtomically(p, "new content"));
  EXPECT_EQ(dir.Read("f.txt"), "new content");
  struct stat st;
  ASSERT_EQ(::stat(p.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(AtomicFileWriterTest, AReadOnlyFileIsNotReplaced) {
  TempDir dir;
  const std::string p = dir.Write("ro.txt", "old");
  ASSERT_EQ(::chmod(p.c_str(), 0444), 0);
  EXPECT_EQ(ReplaceFileAtomically(p, "new"), std::errc::permission_denied);
  EXPECT_EQ(dir.Read("ro.txt"), "old");
  // Also not through a link to it, and no temporary file is left.
  ASSERT_EQ(::symlink("ro.txt", dir.Path("link.txt").c_str()), 0);
  EXPECT_EQ(ReplaceFileAtomically(dir.Path("link.txt"), "new"), std::errc::permission_denied);
  EXPECT_EQ(dir.Read("ro.txt"), "old");
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) {
    ++entries;
  }
  EXPECT_EQ(entries, 2);
}

TEST(AtomicFileWriterTest, ALinkStaysALinkAndItsTargetIsReplaced) {
  TempDir dir;
  dir.Write("real.ini", "old");
  ASSERT_EQ(::symlink("real.ini", dir.Path("link.ini").c_str()), 0);
  ASSERT_FALSE(ReplaceFileAtomically(dir.Path("link.ini"), "new"));
  EXPECT_EQ(dir.Read("real.ini"), "new");
  struct stat st;
  ASSERT_EQ(::lstat(dir.Path("link.ini").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST(AtomicFileWriterTest, AbortLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  const std::string p = dir.Write("f.txt", "old");
  {
    AtomicFileWriter w;
    ASSERT_FALSE(w.Open(p));
    w.Write("half");
  }  // destroyed without Commit
  EXPECT_EQ(dir.Read("f.txt"), "old");
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 1);
}

}  // namespace
}  // namespace pelvar::platform
