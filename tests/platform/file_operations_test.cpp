#include "platform/file_operations.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "platform/other_file_system.h"
#include "support/test_support.h"

namespace pelvar::platform {
namespace {

using pelvar::testing::OtherFileSystemDir;
using pelvar::testing::TempDir;

int EntryCount(const std::string& folder) {
  int n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

TEST(DeleteFileTest, RefusesFoldersAndReadOnlyFilesAndKeepsLinkTargets) {
  TempDir dir;
  dir.Write("folder/x", "");
  const std::string ro = dir.Write("ro.txt", "");
  ASSERT_EQ(::chmod(ro.c_str(), 0444), 0);
  const std::string target = dir.Write("target.txt", "t");
  ASSERT_EQ(::symlink(target.c_str(), dir.Path("link").c_str()), 0);

  EXPECT_EQ(DeleteFile(dir.Path("folder")), std::errc::is_a_directory);
  EXPECT_EQ(DeleteFile(ro), std::errc::permission_denied);
  EXPECT_TRUE(dir.Exists("ro.txt"));
  EXPECT_FALSE(DeleteFile(dir.Path("LINK")));
  EXPECT_FALSE(dir.Exists("link"));
  EXPECT_EQ(dir.Read("target.txt"), "t");
  EXPECT_EQ(DeleteFile(dir.Path("none")), std::errc::no_such_file_or_directory);
}

TEST(MoveFileTest, NeverReplacesAndMovesAcrossFileSystems) {
  TempDir dir;
  const std::string a = dir.Write("a.txt", "a");
  const std::string b = dir.Write("b.txt", "b");
  EXPECT_EQ(MoveFile(a, b), std::errc::file_exists);
  EXPECT_EQ(dir.Read("b.txt"), "b");
  EXPECT_FALSE(MoveFile(a, dir.Path("A.TXT")));  // only the letter case changes
  EXPECT_EQ(dir.Read("A.TXT"), "a");

  OtherFileSystemDir other(dir.path());
  if (!other.available()) GTEST_SKIP() << "no second file system";
  ASSERT_EQ(::chmod(b.c_str(), 0640), 0);
  EXPECT_FALSE(MoveFile(b, other.Path("b.txt")));
  EXPECT_FALSE(dir.Exists("b.txt"));
  EXPECT_EQ(pelvar::testing::ReadFileText(other.Path("b.txt")), "b");
  struct stat st;
  ASSERT_EQ(::stat(other.Path("b.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  // Across file systems a file never replaces one either.
  dir.Write("c.txt", "c");
  EXPECT_EQ(MoveFile(dir.Path("c.txt"), other.Path("b.txt")), std::errc::file_exists);
  EXPECT_TRUE(dir.Exists("c.txt"));
  dir.Write("folder/x", "");
  EXPECT_EQ(MoveFile(dir.Path("folder"), other.Path("folder")), std::errc::cross_device_link);
}

// A symbolic link moved to another file system stays a link with the same
// text, whatever it names (a file, a folder, nothing), as mv moves it.
TEST(MoveFileTest, ALinkMovedAcrossFileSystemsStaysALink) {
  TempDir dir;
  OtherFileSystemDir other(dir.path());
  if (!other.available()) GTEST_SKIP() << "no second file system (/dev/shm) to move links to";
  const std::string file = dir.Write("outside/file.txt", "kept");
  dir.Write("outside/folder/x", "");
  const std::vector<std::pair<std::string, std::string>> links = {
      {"to-file", file},
      {"to-folder", dir.Path("outside/folder")},
      {"relative", "file.txt"},
      {"dangling", "/nonexistent/pelvar-test"}};
  for (const auto& [name, text] : links) {
    SCOPED_TRACE(name);
    ASSERT_EQ(::symlink(text.c_str(), dir.Path(name).c_str()), 0);
    ASSERT_FALSE(MoveFile(dir.Path(name), other.Path(name)));
    struct stat st;
    EXPECT_NE(::lstat(dir.Path(name).c_str(), &st), 0);
    ASSERT_EQ(::lstat(other.Path(name).c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    std::string read(4096, '\0');
    const ssize_t n = ::readlink(other.Path(name).c_str(), read.data(), read.size());
    ASSERT_GT(n, 0);
    read.resize(static_cast<size_t>(n));
    EXPECT_EQ(read, text);
  }
  EXPECT_EQ(pelvar::testing::ReadFileText(file), "kept");
  EXPECT_EQ(pelvar::testing::ReadFileText(other.Path("to-file")), "kept");
  // Nothing is replaced across file systems either: the link stays where it was.
  ASSERT_EQ(::symlink(file.c_str(), dir.Path("again").c_str()), 0);
  pelvar::testing::WriteFileText(other.Path("again"), "there");
  EXPECT_EQ(MoveFile(dir.Path("again"), other.Path("again")), std::errc::file_exists);
  struct stat st;
  ASSERT_EQ(::lstat(dir.Path("again").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(pelvar::testing::ReadFileText(other.Path("again")), "there");
}

TEST(CopyFileTest, CopiesBytesPermissionsAndTimes) {
  TempDir dir;
  std::string data(3 << 20, '\0');
  std::mt19937 random(7);
  for (char& c : data) c = static_cast<char>(random());
  const std::string src = dir.Write("src.bin", data);
  ASSERT_EQ(::chmod(src.c_str(), 0751), 0);
  const struct timespec times[2] = {{1234567890, 5}, {1111111111, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, src.c_str(), times, 0), 0);

  ASSERT_FALSE(CopyFile(src, dir.Path("copy.bin"), false));
  EXPECT_EQ(dir.Read("copy.bin"), data);
  struct stat st;
  ASSERT_EQ(::stat(dir.Path("copy.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0751u);
  EXPECT_EQ(st.st_mtim.tv_sec, 1111111111);
}

TEST(CopyFileTest, KeepsOrReplacesTheTargetWithoutLeftovers) {
  TempDir dir;
  const std::string src = dir.Write("src.txt", "new");
  dir.Write("dst.txt", "old");
  dir.Write("folder/x", "");
  EXPECT_EQ(CopyFile(src, dir.Path("DST.txt"), false), std::errc::file_exists);
  EXPECT_EQ(dir.Read("dst.txt"), "old");
  EXPECT_FALSE(CopyFile(src, dir.Path("DST.txt"), true));
  EXPECT_EQ(dir.Read("dst.txt"), "new");
  EXPECT_EQ(CopyFile(src, dir.Path("folder"), true), std::errc::is_a_directory);
  EXPECT_EQ(CopyFile(dir.Path("none"), dir.Path("x"), true), std::errc::no_such_file_or_directory);
  EXPECT_EQ(CopyFile(src, dir.Path("none/x"), true), std::errc::no_such_file_or_directory);
  EXPECT_EQ(EntryCount(dir.path()), 3);
}

TEST(CopyFileTest, AReadOnlyTargetIsNotReplaced) {
  TempDir dir;
  const std::string src = dir.Write("src.txt", "new");
  const std::string dst = dir.Write("ro.txt", "old");
  ASSERT_EQ(::chmod(dst.c_str(), 0444), 0);
  EXPECT_EQ(CopyFile(src, dst, true), std::errc::permission_denied);
  EXPECT_EQ(dir.Read("ro.txt"), "old");
  EXPECT_EQ(EntryCount(dir.path()), 2);
}

TEST(CreateDirectoryTest, OneLevelOnly) {
  TempDir dir;
  EXPECT_FALSE(CreateDirectory(dir.Path("a")));
  EXPECT_EQ(CreateDirectory(dir.Path("A")), std::errc::file_exists);  // found as "a"
  EXPECT_EQ(CreateDirectory(dir.Path("x/y")), std::errc::no_such_file_or_directory);
}

}  // namespace
}  // namespace pelvar::platform
