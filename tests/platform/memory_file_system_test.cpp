// The in-memory file system keeps the real one's rules, and its injected
// faults leave old content and no temporary file behind.
#include "platform/memory_file_system.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pelvar::platform {
namespace {

using Names = std::vector<std::string>;

TEST(MemoryFileSystemTest, LetterCaseAndTrees) {
  MemoryFileSystem files;
  files.AddFile("/dst/src/SUB/FILE.TXT", "old");
  files.AddFile("/src/Sub/file.txt", "new");
  EXPECT_EQ(files.Resolve("\\DST\\Src\\sub\\new.txt"), "/dst/src/SUB/new.txt");
  EXPECT_TRUE(files.IsFile("\\SRC\\SUB\\FILE.txt"));
  ASSERT_TRUE(files.CopyTree("/src", "/dst", {}));
  EXPECT_EQ(files.Names("/dst/src/SUB"), Names{"FILE.TXT"});
  EXPECT_EQ(files.Content("/dst/src/SUB/FILE.TXT"), "new");
  EXPECT_EQ(files.Move("/src/sub/FILE.TXT", "/src/Sub/x.txt"), std::error_code());
  EXPECT_EQ(files.Move("/src/sub/x.txt", "/dst/src/sub/file.txt"), std::errc::file_exists);
  ASSERT_TRUE(files.DeleteTree("/SRC"));
  EXPECT_FALSE(files.Exists("/src"));
}

TEST(MemoryFileSystemTest, ShortReadsStillReadEverything) {
  MemoryFileSystem files;
  files.AddFile("/f", std::string(10000, 'x') + "end");
  files.faults.read_piece = 7;
  std::string content;
  ASSERT_FALSE(files.ReadAll("/F", content));
  EXPECT_EQ(content.size(), 10003u);
  EXPECT_EQ(content.substr(10000), "end");
}

TEST(MemoryFileSystemTest, FailedWritesLeaveTheOldFileAndNoTemporary) {
  MemoryFileSystem files;
  files.AddFile("/d/f.txt", "old");
  files.faults.space = 5;
  EXPECT_EQ(files.WriteAll("/d/f.txt", "longer than five"), std::errc::no_space_on_device);
  files.faults.space = -1;
  files.faults.commit_error = EIO;
  EXPECT_EQ(files.WriteAll("/d/f.txt", "new"), std::errc::io_error);
  EXPECT_EQ(files.Content("/d/f.txt"), "old");
  EXPECT_EQ(files.Names("/d"), Names{"f.txt"});
  files.faults.commit_error = 0;
  files.faults.vanish = "/d";
  EXPECT_EQ(files.WriteAll("/d/f.txt", "new"), std::errc::no_such_file_or_directory);
  EXPECT_FALSE(files.Exists("/d"));
  EXPECT_EQ(files.Names("/"), Names{});
}

TEST(MemoryFileSystemTest, ReadOnlyAndFoldersAreRefused) {
  MemoryFileSystem files;
  files.AddFile("/ro", "keep", /*read_only=*/true);
  files.AddFolder("/dir");
  EXPECT_EQ(files.WriteAll("/RO", "x"), std::errc::permission_denied);
  EXPECT_EQ(files.WriteAll("/dir", "x"), std::errc::is_a_directory);
  EXPECT_EQ(files.Delete("/ro"), std::errc::permission_denied);
  EXPECT_EQ(files.Content("/ro"), "keep");
  // Rewrites are flushed one by one, bulk writes once per command.
  files.BeginCommand();
  ASSERT_FALSE(files.WriteAll("/a", "1"));
  ASSERT_FALSE(files.WriteAll("/b", "2", Durability::kBulk));
  ASSERT_FALSE(files.Copy("/b", "/c", false));
  files.EndCommand();
  EXPECT_EQ(files.file_syncs, 1);
  EXPECT_EQ(files.bulk_syncs, 1);
  // Scratch files are never flushed, in a command or not.
  ASSERT_FALSE(files.WriteAll("/s", "3", Durability::kScratch));
  files.BeginCommand();
  ASSERT_FALSE(files.WriteAll("/t", "4", Durability::kScratch));
  files.EndCommand();
  EXPECT_EQ(files.file_syncs, 1);
  EXPECT_EQ(files.bulk_syncs, 1);
  EXPECT_EQ(files.Content("/t"), "4");
}

// The durable writer makes an interrupted write again and continues a short
// one; whole-file reads make an interrupted read again.
TEST(MemoryFileSystemTest, InterruptedWritesAndReadsAreRetried) {
  MemoryFileSystem files;
  files.AddFolder("/d");
  const std::string big(200000, 'x');
  for (Durability durability : {Durability::kRewrite, Durability::kBulk}) {
    files.faults.interrupted_writes = 2;
    std::unique_ptr<FileWriter> writer;
    ASSERT_FALSE(files.OpenReplace("/d/f.bin", durability, writer));
    EXPECT_FALSE(writer->Write("head "));
    EXPECT_FALSE(writer->Write(big));
    EXPECT_EQ(writer->size(), 5 + big.size());
    EXPECT_FALSE(writer->Commit());
    EXPECT_EQ(files.Content("/d/f.bin"), "head " + big);
  }
  EXPECT_EQ(files.interruptions, 4);
  files.faults.interrupted_reads = 5;
  std::string read;
  EXPECT_FALSE(files.ReadAll("/d/f.bin", read));
  EXPECT_EQ(read, "head " + big);
  EXPECT_EQ(files.interruptions, 9);
  EXPECT_EQ(files.Names("/d"), (std::vector<std::string>{"f.bin"}));
}

// Deleting a file entry: a file goes, a read-only one stays, a folder and
// nothing are not found.
TEST(MemoryFileSystemTest, DeleteFileEntryTakesFilesOnly) {
  MemoryFileSystem files;
  files.AddFile("/d/a.txt", "a");
  files.AddFile("/d/ro.txt", "keep", /*read_only=*/true);
  files.AddFolder("/d/sub");
  bool found = false;
  EXPECT_EQ(files.DeleteFileEntry("\\D\\A.txt", found), std::error_code());
  EXPECT_TRUE(found);
  EXPECT_FALSE(files.Exists("/d/a.txt"));
  EXPECT_EQ(files.DeleteFileEntry("/d/ro.txt", found), std::errc::permission_denied);
  EXPECT_TRUE(found);
  EXPECT_EQ(files.Content("/d/ro.txt"), "keep");
  for (const char* path : {"/d/sub", "/d/none"}) {
    EXPECT_EQ(files.DeleteFileEntry(path, found), std::error_code());
    EXPECT_FALSE(found) << path;
  }
  EXPECT_TRUE(files.IsFolder("/d/sub"));
}

}  // namespace
}  // namespace pelvar::platform
