#include "platform/tree_operations.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/case_resolver.h"
#include "platform/other_file_system.h"
#include "support/test_support.h"

namespace pelvar::platform {
namespace {

using pelvar::testing::OtherFileSystemDir;
using pelvar::testing::ReadFileText;
using pelvar::testing::TempDir;

std::string LinkTarget(const std::string& path) {
  char buf[256];
  const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
  return n < 0 ? std::string() : std::string(buf, static_cast<size_t>(n));
}

mode_t ModeOf(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

TEST(CopyTreeTest, CopiesLinksAsLinksAndSpecialFilesAnew) {
  TempDir dir;
  dir.Write("outside/big.txt", std::string(1000, 'x'));
  dir.Write("src/a.txt", "abc");
  dir.Write("src/sub/b.txt", "de");
  ASSERT_EQ(::symlink("../../outside", dir.Path("src/sub/up").c_str()), 0);
  ASSERT_EQ(::symlink("a.txt", dir.Path("src/alias").c_str()), 0);
  ASSERT_EQ(::mkfifo(dir.Path("src/pipe").c_str(), 0600), 0);
  ASSERT_EQ(::chmod(dir.Path("src/sub").c_str(), 0750), 0);

  TreeProgress last;
  int calls = 0;
  ASSERT_TRUE(CopyTree(dir.Path("src"), dir.Path("copy"), [&](const TreeProgress& p) {
    last = p;
    ++calls;
    return true;
  }));
  EXPECT_EQ(ReadFileText(dir.Path("copy/a.txt")), "abc");
  EXPECT_EQ(ReadFileText(dir.Path("copy/sub/b.txt")), "de");
  EXPECT_EQ(LinkTarget(dir.Path("copy/sub/up")), "../../outside");
  EXPECT_EQ(LinkTarget(dir.Path("copy/alias")), "a.txt");
  EXPECT_TRUE(S_ISFIFO(ModeOf(dir.Path("copy/pipe"))));
  EXPECT_EQ(ModeOf(dir.Path("copy/sub")) & 07777, 0750u);
  EXPECT_FALSE(dir.Exists("copy/sub/up/big.txt") && !S_ISLNK(ModeOf(dir.Path("copy/sub/up"))));
  // Only the two regular files count; the link's target is not copied.
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(last.files, 2u);
  EXPECT_EQ(last.bytes, 5u);
}

TEST(CopyTreeTest, MergesIntoAnExistingCopy) {
  TempDir dir;
  dir.Write("src/a.txt", "new");
  dir.Write("src/sub/b.txt", "b");
  dir.Write("dest/src/a.txt", "old");
  dir.Write("dest/src/other.txt", "other");
  dir.Write("dest/src/sub", "a file where the source has a folder");
  EXPECT_FALSE(CopyTree(dir.Path("src"), dir.Path("dest")));  // the conflict fails
  EXPECT_EQ(ReadFileText(dir.Path("dest/src/a.txt")), "new");
  EXPECT_EQ(ReadFileText(dir.Path("dest/src/other.txt")), "other");
  ASSERT_EQ(::unlink(dir.Path("dest/src/sub").c_str()), 0);
  EXPECT_TRUE(CopyTree(dir.Path("src"), dir.Path("dest")));
  EXPECT_EQ(ReadFileText(dir.Path("dest/src/sub/b.txt")), "b");
}

TEST(CopyTreeTest, AFailureNamesTheEntryAndTheReason) {
  TempDir dir;
  dir.Write("src/sub/a.txt", "a");
  dir.Write("file", "");
  CaseResolver resolver;
  std::string why;
  EXPECT_FALSE(CopyTree(resolver, dir.Path("src"), dir.Path("file/deeper/copy"), {}, &why));
  EXPECT_EQ(why, "could not make the folder \"" + dir.Path("file/deeper") + "\": Not a directory");
  dir.Write("t/src/sub", "a file where the folder goes");
  EXPECT_FALSE(CopyTree(resolver, dir.Path("src"), dir.Path("t"), {}, &why));
  EXPECT_EQ(why, "could not copy \"" + dir.Path("src/sub") + "\": Not a directory");
  EXPECT_FALSE(CopyTree(resolver, dir.Path("none"), dir.Path("t"), {}, &why));
  EXPECT_EQ(why, "no such folder");
}

TEST(CopyTreeTest, AFileSourceIsCopiedAsAFile) {
  TempDir dir;
  dir.Write("f.txt", "f");
  dir.Write("d/keep", "");
  EXPECT_TRUE(CopyTree(dir.Path("f.txt"), dir.Path("d")));
  EXPECT_EQ(ReadFileText(dir.Path("d/f.txt")), "f");
  EXPECT_FALSE(CopyTree(dir.Path("d"), dir.Path("f.txt")));  // a folder onto a file
}

TEST(MoveTreeTest, AcrossFileSystemsDeletesTheSourceOnlyAfterAFullCopy) {
  TempDir dir;
  OtherFileSystemDir other(dir.path());
  if (!other.available()) GTEST_SKIP() << "no second file system";
  dir.Write("src/a.txt", "a");
  dir.Write("src/sub/b.txt", "b");
  ASSERT_EQ(::symlink("a.txt", dir.Path("src/alias").c_str()), 0);
  ASSERT_TRUE(MoveTree(dir.Path("src"), other.Path("moved")));
  EXPECT_FALSE(dir.Exists("src"));
  EXPECT_EQ(ReadFileText(other.Path("moved/sub/b.txt")), "b");
  EXPECT_EQ(LinkTarget(other.Path("moved/alias")), "a.txt");

  // A copy that fails halfway leaves the source complete.
  dir.Write("src2/x/inner.txt", "i");
  dir.Write("src2/y.txt", "y");
  pelvar::testing::WriteFileText(other.Path("t/src2/x"), "a file in the way");
  EXPECT_FALSE(MoveTree(dir.Path("src2"), other.Path("t")));
  EXPECT_EQ(dir.Read("src2/x/inner.txt"), "i");
  EXPECT_EQ(dir.Read("src2/y.txt"), "y");
}

// Across file systems, what the move left where is told plainly.
TEST(MoveTreeTest, AcrossFileSystemsAFailureSaysWhatWasLeft) {
  TempDir dir;
  OtherFileSystemDir other(dir.path());
  if (!other.available()) GTEST_SKIP() << "no second file system";
  CaseResolver resolver;
  std::string why;
  dir.Write("src/x/inner.txt", "i");
  pelvar::testing::WriteFileText(other.Path("t/src/x"), "a file in the way");
  EXPECT_FALSE(MoveTree(resolver, dir.Path("src"), other.Path("t"), {}, &why));
  EXPECT_EQ(
      why, "could not copy \"" + dir.Path("src/x") + "\": Not a directory; the source is complete");
  EXPECT_EQ(dir.Read("src/x/inner.txt"), "i");

  // Stopped during the copy: the source stays whole, the partial copy goes.
  dir.Write("s/a.txt", "a");
  dir.Write("s/b.txt", "b");
  EXPECT_FALSE(MoveTree(
      resolver, dir.Path("s"), other.Path("stopped"), [](const TreeProgress&) { return false; },
      &why));
  EXPECT_EQ(why, "the run was stopped; the source is complete and the partial copy was removed");
  EXPECT_EQ(dir.Read("s/a.txt"), "a");
  EXPECT_EQ(dir.Read("s/b.txt"), "b");
  EXPECT_FALSE(std::filesystem::exists(other.Path("stopped")));

  // Everything copied, but a read-only folder keeps a file in the source.
  if (::geteuid() == 0) GTEST_SKIP() << "root deletes from read-only folders";
  dir.Write("m/ro/in/c", "c");
  dir.Write("m/ok/d", "d");
  ASSERT_EQ(::chmod(dir.Path("m/ro/in").c_str(), 0555), 0);
  EXPECT_FALSE(MoveTree(resolver, dir.Path("m"), other.Path("moved"), {}, &why));
  ::chmod(dir.Path("m/ro/in").c_str(), 0755);
  EXPECT_EQ(why, "the copy at \"" + other.Path("moved") + "\" is complete; \"" +
                     dir.Path("m/ro/in/c") +
                     "\" could not be deleted from the source (Permission denied), so what could "
                     "not be deleted stays in the source");
  EXPECT_EQ(ReadFileText(other.Path("moved/ro/in/c")), "c");
  EXPECT_EQ(ReadFileText(other.Path("moved/ok/d")), "d");
  EXPECT_EQ(dir.Read("m/ro/in/c"), "c");
}

TEST(MoveTreeTest, RefusesToMoveIntoItself) {
  TempDir dir;
  dir.Write("src/a.txt", "a");
  EXPECT_FALSE(MoveTree(dir.Path("src"), dir.Path("src/sub")));
  EXPECT_FALSE(MoveTree(dir.Path("src"), dir.Path("SRC")));
  EXPECT_EQ(dir.Read("src/a.txt"), "a");
}

// A file system mounted inside a tree (a disk image being prepared) is not
// part of it: its files stay, and the delete says where it stopped.
TEST(DeleteTreeTest, LeavesAMountedFileSystemAlone) {
  TempDir dir;
  dir.Write("tree/other/o", "o");
  ASSERT_EQ(::mkdir(dir.Path("tree/image").c_str(), 0755), 0);
  if (::mount("tmpfs", dir.Path("tree/image").c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "no mounting here";
  }
  pelvar::testing::WriteFileText(dir.Path("tree/image/kept"), "kept");
  CaseResolver resolver;
  std::string why;
  const bool deleted = DeleteTree(resolver, dir.Path("tree"), {}, &why);
  const std::string kept = ReadFileText(dir.Path("tree/image/kept"));
  ::umount(dir.Path("tree/image").c_str());
  EXPECT_FALSE(deleted);
  EXPECT_EQ(why, "could not delete \"" + dir.Path("tree/image") +
                     "\": another file system is mounted there");
  EXPECT_EQ(kept, "kept");
  EXPECT_FALSE(dir.Exists("tree/other"));
}

TEST(DeleteTreeTest, DeletesLinksNotTheirTargets) {
  TempDir dir;
  dir.Write("target/keep.txt", "k");
  dir.Write("tree/x.txt", "");
  ASSERT_EQ(::symlink(dir.Path("target").c_str(), dir.Path("link").c_str()), 0);
  EXPECT_TRUE(DeleteTree(dir.Path("link") + "\\"));
  EXPECT_FALSE(dir.Exists("link"));
  EXPECT_EQ(dir.Read("target/keep.txt"), "k");
  EXPECT_TRUE(DeleteTree(dir.Path("tree/x.txt")));
  EXPECT_TRUE(DeleteTree(dir.Path("tree")));
  EXPECT_FALSE(dir.Exists("tree"));
  EXPECT_FALSE(DeleteTree(dir.Path("tree")));
  EXPECT_FALSE(DeleteTree(""));
}

}  // namespace
}  // namespace pelvar::platform
