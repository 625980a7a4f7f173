#include "platform/overlay_file_system.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/memory_file_system.h"
#include "platform/posix_file_system.h"
#include "support/test_support.h"

namespace pelvar::platform {
namespace {

std::error_code Errno(int e) {
  return {e, std::system_category()};
}

std::string ReadFrom(FileSystem& files, std::string_view path) {
  std::string out;
  EXPECT_FALSE(files.ReadAll(path, out)) << path;
  return out;
}

class OverlayFileSystemTest : public ::testing::Test {
 protected:
  OverlayFileSystemTest() {
    base.AddFile("/src/a.txt", "alpha");
    base.AddFile("/src/sub/b.txt", "beta");
    base.AddFile("/t/old.txt", "old", /*read_only=*/true);
    base.AddFolder("/ro");
    overlay.writable = [](const std::string& folder) { return folder != "/ro"; };
  }
  std::string Read(std::string_view path) { return ReadFrom(overlay, path); }
  std::vector<std::string> Names(std::string_view folder) {
    std::vector<DirectoryEntry> entries;
    EXPECT_FALSE(overlay.List(folder, entries));
    std::vector<std::string> out;
    for (const DirectoryEntry& e : entries) out.push_back(e.name);
    return out;
  }

  MemoryFileSystem base;
  ChangeJournal journal;
  OverlayFileSystem overlay{base, &journal};
};

TEST_F(OverlayFileSystemTest, LaterOperationsSeeEarlierWritesAndTheBaseStaysAsItWas) {
  ASSERT_FALSE(overlay.MakeFolder("/t/New", false));
  // The folder made in the overlay is met ignoring case, as on the disk.
  ASSERT_FALSE(overlay.Copy("\\src\\A.TXT", "/t/NEW/a.txt", false));
  EXPECT_EQ(overlay.Resolve("/t/new/A.txt"), "/t/New/a.txt");
  EXPECT_EQ(Read("/t/New/a.txt"), "alpha");
  ASSERT_FALSE(overlay.WriteAll("/t/new/a.txt", "alpha2"));
  EXPECT_EQ(Read("/t/New/a.txt"), "alpha2");
  EXPECT_EQ(Read("/src/a.txt"), "alpha");
  EXPECT_EQ(Names("/t"), std::vector<std::string>({"old.txt", "New"}));

  EXPECT_EQ(base.Names("/t"), std::vector<std::string>({"old.txt"}));
  EXPECT_EQ(base.Content("/src/a.txt"), "alpha");

  const std::vector<Change> changes = journal.Take();
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].subject, "/t/New");
  EXPECT_EQ(changes[0].after.kind, EntryState::Kind::kFolder);
  EXPECT_EQ(changes[1].subject, "/t/New/a.txt");
  EXPECT_EQ(changes[1].before.kind, EntryState::Kind::kNone);
  EXPECT_EQ(changes[1].after.size, 6u);
  EXPECT_TRUE(journal.empty());
}

TEST_F(OverlayFileSystemTest, RefusesWhatTheDiskWouldRefuse) {
  std::unique_ptr<FileWriter> writer;
  EXPECT_EQ(overlay.OpenReplace("/t/old.txt", Durability::kRewrite, writer), Errno(EACCES));
  EXPECT_EQ(overlay.Copy("/src/a.txt", "/t/old.txt", false), Errno(EEXIST));
  EXPECT_EQ(overlay.Copy("/src/a.txt", "/t/old.txt", true), Errno(EACCES));
  EXPECT_EQ(overlay.Copy("/src/a.txt", "/nowhere/a.txt", false), Errno(ENOENT));
  EXPECT_EQ(overlay.Copy("/src/a.txt", "/src/a.txt/x", false), Errno(ENOTDIR));
  EXPECT_EQ(overlay.Copy("/src/sub", "/t/sub", false), Errno(EISDIR));
  EXPECT_EQ(overlay.MakeFolder("/ro/x", false), Errno(EACCES));
  EXPECT_EQ(overlay.WriteAll("/ro/x.txt", "x"), Errno(EACCES));
  EXPECT_EQ(overlay.Delete("/src/sub"), Errno(EISDIR));
  EXPECT_EQ(overlay.Delete("/t/old.txt"), Errno(EACCES));
  EXPECT_EQ(overlay.MakeFolder("/src", false), Errno(EEXIST));
  EXPECT_TRUE(journal.Take().empty());
}

TEST_F(OverlayFileSystemTest, RemovedFolderMadeAgainShowsNothingOfTheBase) {
  ASSERT_TRUE(overlay.DeleteTree("/src"));
  EXPECT_FALSE(overlay.Exists("/src/a.txt"));
  ASSERT_FALSE(overlay.MakeFolder("/SRC", false));
  EXPECT_EQ(overlay.Resolve("/SRC"), "/SRC");
  EXPECT_TRUE(Names("/SRC").empty());
  EXPECT_FALSE(overlay.Exists("/src/sub/b.txt"));
  EXPECT_EQ(base.Content("/src/sub/b.txt"), "beta");
}

// A folder tree is removed as the disk removes it: a file system mounted in
// it stays whole (the removal fails), and a link goes as a link, whatever
// it names.
TEST_F(OverlayFileSystemTest, TreeRemovalStopsAtMountsAndLinks) {
  base.AddFile("/tree/image/kept.txt", "on the image");
  base.AddFile("/tree/plain.txt", "p");
  base.mounts.push_back("/tree/image");
  EXPECT_FALSE(overlay.DeleteTree("/tree"));
  EXPECT_EQ(Read("/tree/image/kept.txt"), "on the image");
  EXPECT_FALSE(overlay.Exists("/tree/plain.txt"));

  pelvar::testing::TempDir dir;
  dir.Write("outside/precious.txt", "x");
  dir.Write("tree/sub/a.txt", "a");
  ASSERT_EQ(::symlink("../../outside", (dir.path() + "/tree/sub/link").c_str()), 0);
  PosixFileSystem disk;
  ChangeJournal changes;
  OverlayFileSystem over(disk, &changes);
  EXPECT_TRUE(over.DeleteTree(dir.path() + "/tree"));
  EXPECT_FALSE(over.Exists(dir.path() + "/tree"));
  EXPECT_TRUE(over.IsFile(dir.path() + "/outside/precious.txt"));
  EXPECT_TRUE(disk.IsFile(dir.path() + "/tree/sub/a.txt"));
  std::vector<std::string> removed;
  for (const Change& c : changes.Take()) {
    removed.push_back(c.subject.substr(dir.path().size()) +
                      (c.before.kind == EntryState::Kind::kFolder ? "/" : ""));
  }
  std::sort(removed.begin(), removed.end());
  EXPECT_EQ(removed, (std::vector<std::string>{"/tree/", "/tree/sub/", "/tree/sub/a.txt",
                                               "/tree/sub/link"}));
}

// A folder copy copies a link as a link, and a deletion takes the link, not
// what it names, as the disk does.
TEST_F(OverlayFileSystemTest, LinksAreCopiedAndDeletedAsLinks) {
  pelvar::testing::TempDir dir;
  dir.Write("outside/precious.txt", "x");
  dir.Write("tree/a.txt", "a");
  ASSERT_EQ(::symlink("../outside", (dir.path() + "/tree/link").c_str()), 0);
  ASSERT_EQ(::symlink("../outside/precious.txt", (dir.path() + "/tree/file-link").c_str()), 0);
  PosixFileSystem disk;
  ChangeJournal changes;
  OverlayFileSystem over(disk, &changes);
  const std::string d = dir.path();
  ASSERT_TRUE(over.CopyTree(d + "/tree", d + "/copy", {}));
  std::vector<std::string> made;
  for (const Change& c : changes.Take()) {
    if (c.after.kind == EntryState::Kind::kLink) {
      made.push_back(c.subject.substr(d.size()) + " <- " + c.after.from.substr(d.size()));
    } else {
      made.push_back(c.subject.substr(d.size()));
    }
  }
  std::sort(made.begin(), made.end());
  EXPECT_EQ(made,
            (std::vector<std::string>{"/copy", "/copy/a.txt", "/copy/file-link <- /tree/file-link",
                                      "/copy/link <- /tree/link"}));
  EXPECT_EQ(ReadFrom(over, d + "/copy/file-link"), "x");
  EXPECT_FALSE(over.Delete(d + "/tree/link"));
  EXPECT_FALSE(over.Delete(d + "/copy/link"));
  EXPECT_TRUE(over.IsFile(d + "/outside/precious.txt"));
  ASSERT_TRUE(over.DeleteTree(d + "/copy"));
  for (const Change& c : changes.Take()) {
    EXPECT_TRUE(c.subject.rfind(d + "/tree", 0) == 0 || c.subject.rfind(d + "/copy", 0) == 0)
        << c.subject;
  }
  EXPECT_TRUE(disk.IsFile(d + "/outside/precious.txt"));
}

// An entry replacement (extraction) puts a file in a link's place in the
// overlay, as on the disk; what the link names stays as it was.
TEST_F(OverlayFileSystemTest, EntryReplacementReplacesALinkNotWhatItNames) {
  pelvar::testing::TempDir dir;
  dir.Write("outside/precious.txt", "x");
  dir.Write("target/.keep", "");
  ASSERT_EQ(::symlink("../outside/precious.txt", (dir.path() + "/target/a.txt").c_str()), 0);
  ASSERT_EQ(::symlink("../outside", (dir.path() + "/target/b.txt").c_str()), 0);
  PosixFileSystem disk;
  OverlayFileSystem over(disk, nullptr);
  const std::string d = dir.path();
  for (const std::string name : {"a.txt", "b.txt"}) {
    std::unique_ptr<FileWriter> writer;
    ASSERT_FALSE(over.OpenReplaceEntry(d + "/target/" + name, Durability::kBulk, writer));
    ASSERT_FALSE(writer->Write("new"));
    ASSERT_FALSE(writer->Commit());
    EXPECT_EQ(ReadFrom(over, d + "/target/" + name), "new");
    EXPECT_FALSE(over.Status(d + "/target/" + name).link);
  }
  EXPECT_EQ(ReadFrom(over, d + "/outside/precious.txt"), "x");
  EXPECT_TRUE(over.IsFolder(d + "/outside"));
  EXPECT_EQ(dir.Read("outside/precious.txt"), "x");
}

TEST_F(OverlayFileSystemTest, TreesMoveWithTheirFiles) {
  ASSERT_TRUE(overlay.MoveTree("/src", "/t", {}));
  EXPECT_EQ(Read("/t/src/sub/b.txt"), "beta");
  EXPECT_FALSE(overlay.Exists("/src"));
  EXPECT_FALSE(overlay.MoveTree("/t", "/t/src/inside", {}));
  ASSERT_TRUE(overlay.CopyTree("/t/src", "/copy", {}));
  EXPECT_EQ(Read("/copy/a.txt"), "alpha");
  EXPECT_EQ(base.Content("/src/a.txt"), "alpha");
  EXPECT_FALSE(base.Status("/copy").exists());
}

TEST_F(OverlayFileSystemTest, JournalKeepsTheFirstStateAndTheLast) {
  ASSERT_FALSE(overlay.WriteAll("/t/n.txt", "1"));
  ASSERT_FALSE(overlay.Delete("/t/n.txt"));
  ASSERT_FALSE(overlay.WriteAll("/src/a.txt", "one"));
  ASSERT_FALSE(overlay.WriteAll("/src/a.txt", "three"));
  std::string temp;
  ASSERT_FALSE(overlay.MakeTempFolder(temp));
  ASSERT_FALSE(overlay.WriteAll(temp + "/scratch", "x"));
  const std::vector<Change> changes = journal.Take();
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].subject, "/src/a.txt");
  EXPECT_EQ(changes[0].before.content, "alpha");
  EXPECT_EQ(changes[0].after.content, "three");
  EXPECT_FALSE(base.Status(temp).exists());
}

// Names that differ only in letter case stay apart, as on the disk.
TEST_F(OverlayFileSystemTest, NamesThatDifferOnlyInCaseStayApart) {
  base.AddFile("/two/a.txt", "lower");
  base.AddFile("/two/A.txt", "upper");
  base.AddFile("/dest/two/A.TXT", "other");
  ASSERT_TRUE(overlay.CopyTree("/two", "/dest", {}));
  EXPECT_EQ(Read("/dest/two/a.txt"), "lower");
  EXPECT_EQ(Read("/dest/two/A.txt"), "upper");
  EXPECT_EQ(Read("/dest/two/A.TXT"), "other");
  ASSERT_FALSE(overlay.Copy("/two/A.txt", "/t/a.txt", false));
  ASSERT_FALSE(overlay.Copy("/two/a.txt", "/t/a.TXT", true, TargetCase::kAsWritten));
  EXPECT_EQ(Read("/t/a.txt"), "upper");
  EXPECT_EQ(Read("/t/a.TXT"), "lower");
  // A third spelling names neither.
  std::string out;
  EXPECT_EQ(overlay.ReadAll("/two/A.TXT", out), Errno(ENOENT));
}

}  // namespace
}  // namespace pelvar::platform
