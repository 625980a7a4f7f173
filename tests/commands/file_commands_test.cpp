// filecreateblank, filerename, filedelete and filecopy on real files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "commands/script_line_fixture.h"

namespace pelvar::commands {
namespace {

using Lines = std::vector<std::string>;
using pelvar::testing::TempDir;

class FileCommandsTest : public pelvar::testing::ScriptLineTest {
 protected:
  void MakeReadOnly(const std::string& relative) {
    ASSERT_EQ(::chmod(data_.Path(relative).c_str(), 0444), 0);
  }
};

TEST_F(FileCommandsTest, CreateBlankEmptiesOrCreatesTheFile) {
  data_.Write("Sub/full.txt", "content");
  EXPECT_EQ(Run("filecreateblank,1," + P("SUB/Full.TXT")),
            Lines{"1|Successfully created a new file:\"" + P("SUB/Full.TXT") + "\""});
  // The new file is made under the name as written.
  EXPECT_FALSE(data_.Exists("Sub/full.txt"));
  EXPECT_EQ(data_.Read("Sub/Full.TXT"), "");
  // A new file takes the name as written, inside the existing folder.
  Run("filecreateblank,1," + P("sub/New.txt"));
  EXPECT_TRUE(data_.Exists("Sub/New.txt"));
}

TEST_F(FileCommandsTest, CreateBlankKeepsAReadOnlyFile) {
  data_.Write("ro.txt", "keep");
  MakeReadOnly("ro.txt");
  EXPECT_EQ(Run("filecreateblank,1," + P("ro.txt")),
            Lines{"0|Failed to create file:\"" + P("ro.txt") + "\""});
  EXPECT_EQ(data_.Read("ro.txt"), "keep");
}

TEST_F(FileCommandsTest, CreateBlankInAMissingFolderEndsTheRun) {
  EXPECT_EQ(Error("filecreateblank,1," + P("none/x.txt")),
            "Cannot create file \"" + P("none/x.txt") + "\". No such file or directory");
  EXPECT_EQ(Error("filecreateblank,1"), "List index out of bounds (2)");
}

TEST_F(FileCommandsTest, RenameNeverReplaces) {
  data_.Write("a.txt", "a");
  data_.Write("b.txt", "b");
  data_.Write("dir/keep", "");
  EXPECT_EQ(Run("filerename,1," + P("a.txt") + "," + P("b.txt")),
            Lines{"0|Failed to rename file:\"" + P("a.txt") + "\" to:\"" + P("b.txt") + "\""});
  EXPECT_EQ(data_.Read("a.txt"), "a");
  EXPECT_EQ(data_.Read("b.txt"), "b");
  // Into another folder, found ignoring case.
  EXPECT_EQ(
      Run("filerename,1," + P("A.TXT") + "," + P("DIR/c.txt")),
      Lines{"1|Successfully renamed file:\"" + P("A.TXT") + "\" to:\"" + P("DIR/c.txt") + "\""});
  EXPECT_EQ(data_.Read("dir/c.txt"), "a");
  EXPECT_FALSE(data_.Exists("a.txt"));
  // Only the letter case changes.
  EXPECT_EQ(Run("filerename,1," + P("b.txt") + "," + P("B.TXT"))[0][0], '1');
  EXPECT_EQ(data_.Read("B.TXT"), "b");
  EXPECT_FALSE(data_.Exists("b.txt"));
  EXPECT_EQ(Run("filerename,1," + P("missing") + "," + P("x"))[0][0], '0');
}

TEST_F(FileCommandsTest, DeleteOneFile) {
  data_.Write("a.txt", "");
  data_.Write("ro.txt", "");
  data_.Write("folder/x", "");
  MakeReadOnly("ro.txt");
  EXPECT_EQ(Run("filedelete,1," + P("A.txt")),
            Lines{"1|Sucessfully deleted \"" + P("A.txt") + "\""});
  EXPECT_FALSE(data_.Exists("a.txt"));
  EXPECT_EQ(Run("filedelete,1," + P("folder")),
            Lines{"0|Failed to find and delete \"" + P("folder") + "\""});
  EXPECT_EQ(Run("filedelete,1," + P("ro.txt")),
            Lines{"0|Failed to delete \"" + P("ro.txt") + "\""});
  EXPECT_TRUE(data_.Exists("ro.txt"));
}

TEST_F(FileCommandsTest, DeleteWithMasksLogsTheLastFileOnly) {
  data_.Write("b.txt", "");
  data_.Write("C.log", "");
  data_.Write("a.txt", "");
  data_.Write("keep.dat", "");
  data_.Write("sub/deep.txt", "");
  EXPECT_EQ(Run("filedelete,1,\"" + P("*.txt; *.log") + "\""),
            Lines{"1|Sucessfully deleted \"" + data_.path() + "\\C.log\""});
  EXPECT_FALSE(data_.Exists("a.txt"));
  EXPECT_FALSE(data_.Exists("b.txt"));
  EXPECT_TRUE(data_.Exists("keep.dat"));
  EXPECT_TRUE(data_.Exists("sub/deep.txt"));  // not recursive
  EXPECT_EQ(Run("filedelete,1," + P("*.txt")),
            Lines{"0|Failed to find and delete files in directory: \"" + P("*.txt") + "\""});
  EXPECT_EQ(Run("filedelete,1,*.dat"),
            Lines{"0|Failed to find and delete files in directory: \"*.dat\""});
  MakeReadOnly("keep.dat");
  EXPECT_EQ(Run("filedelete,1," + P("*.dat")),
            Lines{"0|Failed to delete \"" + data_.path() + "\\keep.dat\""});
}

TEST_F(FileCommandsTest, CopyOneFileNeverReplaces) {
  const std::string bytes("bin\0ary\r\n\x80\xff", 11);
  data_.Write("src.bin", bytes);
  data_.Write("dst.bin", "old");
  const struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, data_.Path("src.bin").c_str(), times, 0), 0);

  EXPECT_EQ(
      Run("filecopy,1," + P("src.bin") + "," + P("dst.bin")),
      Lines{"1|Sucessfully copied file: \"" + P("src.bin") + "\" to: \"" + P("dst.bin") + "\""});
  EXPECT_EQ(data_.Read("dst.bin"), "old");

  Run("filecopy,1," + P("SRC.BIN") + "," + P("new.bin"));
  EXPECT_EQ(data_.Read("new.bin"), bytes);
  struct stat st;
  ASSERT_EQ(::stat(data_.Path("new.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
}

TEST_F(FileCommandsTest, CopyOneFileFailures) {
  data_.Write("src.txt", "x");
  data_.Write("folder/x", "");
  EXPECT_EQ(Run("filecopy,1," + P("none.txt") + "," + P("d.txt")),
            Lines{"4|Failed to find and copy: \"" + P("none.txt") + "\""});
  EXPECT_EQ(
      Run("filecopy,1," + P("src.txt") + "," + P("nodir/d.txt")),
      Lines{"0|Failed to copy file: \"" + P("src.txt") + "\" to: \"" + P("nodir/d.txt") + "\""});
  // A folder at the destination is not a copy.
  EXPECT_EQ(Run("filecopy,1," + P("src.txt") + "," + P("folder"))[0][0], '0');
  EXPECT_EQ(Error("filecopy,1," + P("src.txt")), "List index out of bounds (3)");
}

TEST_F(FileCommandsTest, CopyWithMasksReplacesInTheTargetFolder) {
  data_.Write("a/one.txt", "1");
  data_.Write("a/banana.txt", "2");
  data_.Write("a/skip.dat", "3");
  data_.Write("t/one.txt", "old");
  EXPECT_EQ(
      Run("filecopy,1," + P("a/*.txt") + "," + P("t")),
      Lines{"1|Sucessfully copied \"" + P("a/one.txt") + "\" to: \"" + P("t/one.txt") + "\""});
  EXPECT_EQ(data_.Read("t/one.txt"), "1");
  // The searched folder's text is replaced only where the path begins.
  EXPECT_EQ(data_.Read("t/banana.txt"), "2");
  EXPECT_FALSE(data_.Exists("t/skip.dat"));

  EXPECT_EQ(
      Run("filecopy,1," + P("a/*.dat") + "," + P("none")),
      Lines{"0|Failed to copy \"" + P("a/skip.dat") + "\" to: \"" + P("none/skip.dat") + "\""});
  EXPECT_EQ(Run("filecopy,1,*.txt," + P("t")),
            Lines{"0|Failed to find and copy files in: \"*.txt\""});
}

TEST_F(FileCommandsTest, CopyWithMasksKeepsAReadOnlyTarget) {
  data_.Write("a/one.txt", "1");
  data_.Write("t/one.txt", "old");
  MakeReadOnly("t/one.txt");
  EXPECT_EQ(Run("filecopy,1," + P("a/*.txt") + "," + P("t")),
            Lines{"0|Failed to copy \"" + P("a/one.txt") + "\" to: \"" + P("t/one.txt") + "\""});
  EXPECT_EQ(data_.Read("t/one.txt"), "old");
}

// Names that differ only in letter case are separate files here: a mask takes
// each of them, and no copy lands on another's.
TEST_F(FileCommandsTest, MasksTakeEveryNameThatDiffersOnlyInCase) {
  data_.Write("src/a.txt", "lower");
  data_.Write("src/A.txt", "upper");
  data_.Write("src/c.txt", "c");
  data_.Write("to/keep", "");
  data_.Write("old/A.TXT", "old");
  data_.Write("old/C.TXT", "old c");
  EXPECT_EQ(Run("filecopy,1," + P("src/*.txt") + "," + P("to")),
            Lines{"1|Sucessfully copied \"" + P("src/c.txt") + "\" to: \"" + P("to/c.txt") + "\""});
  EXPECT_EQ(data_.Read("to/a.txt"), "lower");
  EXPECT_EQ(data_.Read("to/A.txt"), "upper");
  // A third spelling in the target is neither of them: it stays. A name
  // found in one spelling still replaces its file in any spelling.
  Run("filecopy,1," + P("src/*.txt") + "," + P("old"));
  EXPECT_EQ(data_.Read("old/A.TXT"), "old");
  EXPECT_EQ(data_.Read("old/a.txt"), "lower");
  EXPECT_EQ(data_.Read("old/A.txt"), "upper");
  EXPECT_EQ(data_.Read("old/C.TXT"), "c");
  EXPECT_FALSE(data_.Exists("old/c.txt"));
  // A name given in full still finds its only spelling.
  EXPECT_EQ(Run("filecopy,1," + P("SRC/C.TXT") + "," + P("to/d.txt"))[0][0], '1');
  // A third spelling names neither of two: nothing is taken at random.
  EXPECT_EQ(Run("filedelete,1," + P("src/A.TXT")),
            Lines{"0|Failed to find and delete \"" + P("src/A.TXT") + "\""});
  EXPECT_EQ(Run("filedelete,1," + P("src/?.txt*")),
            Lines{"1|Sucessfully deleted \"" + P("src/c.txt") + "\""});
  EXPECT_FALSE(data_.Exists("src/a.txt"));
  EXPECT_FALSE(data_.Exists("src/A.txt"));
  // The same beyond ASCII.
  data_.Write("umlaut/ä.txt", "lower");
  data_.Write("umlaut/Ä.txt", "upper");
  data_.Write("u/Ä.TXT", "old");
  Run("filecopy,1," + P("umlaut/*.txt") + "," + P("u"));
  EXPECT_EQ(data_.Read("u/Ä.TXT"), "old");
  EXPECT_EQ(data_.Read("u/ä.txt"), "lower");
  EXPECT_EQ(data_.Read("u/Ä.txt"), "upper");
}

// A symbolic link is deleted as a link, also one that leads nowhere or in a
// circle; what a link points to stays.
TEST_F(FileCommandsTest, DeleteTakesLinksAsLinks) {
  data_.Write("real.txt", "real");
  data_.Write("l/keep", "");
  ASSERT_EQ(::symlink("nowhere", data_.Path("l/dangling.txt").c_str()), 0);
  ASSERT_EQ(::symlink("b.txt", data_.Path("l/a.txt").c_str()), 0);
  ASSERT_EQ(::symlink("a.txt", data_.Path("l/b.txt").c_str()), 0);
  ASSERT_EQ(::symlink(data_.Path("real.txt").c_str(), data_.Path("l/real.txt").c_str()), 0);
  ASSERT_EQ(::mkfifo(data_.Path("l/pipe.txt").c_str(), 0644), 0);
  EXPECT_EQ(Run("filedelete,1," + P("l/dangling.txt")),
            Lines{"1|Sucessfully deleted \"" + P("l/dangling.txt") + "\""});
  EXPECT_EQ(Run("filedelete,1," + P("l/*.txt")),
            Lines{"1|Sucessfully deleted \"" + P("l/real.txt") + "\""});
  EXPECT_EQ(data_.Read("real.txt"), "real");
  EXPECT_TRUE(data_.Exists("l/keep"));
  EXPECT_FALSE(data_.Exists("l/a.txt"));
  EXPECT_FALSE(data_.Exists("l/b.txt"));
  EXPECT_FALSE(data_.Exists("l/pipe.txt"));
}

// An empty target folder (a variable left empty) is no folder: the copies
// would land in the root.
TEST_F(FileCommandsTest, CopyWithMasksRefusesAnEmptyTarget) {
  data_.Write("src/a.txt", "a");
  EXPECT_EQ(Run("filecopy,1," + P("src/*.txt") + ","),
            Lines{"0|Failed to copy \"" + P("src/a.txt") + "\" to: \"\\a.txt\""});
  EXPECT_EQ(harness_.view.lines[0].reason, "no target folder given");
}

// Stop ends a mask's work between two files; the closing line names the
// first file left undone.
TEST_F(FileCommandsTest, StopEndsTheMaskBetweenFiles) {
  data_.Write("src/a.txt", "a");
  data_.Write("src/b.txt", "b");
  data_.Write("src/c.txt", "c");
  data_.Write("to/keep", "");
  harness_.view.stop_after_files = 1;
  EXPECT_EQ(Run("filecopy,1," + P("src/*.txt") + "," + P("to")),
            Lines{"0|Failed to copy \"" + P("src/b.txt") + "\" to: \"" + P("to/b.txt") + "\""});
  EXPECT_EQ(harness_.view.lines[0].reason, "the run was stopped");
  EXPECT_EQ(data_.Read("to/a.txt"), "a");
  EXPECT_FALSE(data_.Exists("to/b.txt"));
  EXPECT_EQ(Run("filedelete,1," + P("src/*.txt")),
            Lines{"0|Failed to delete \"" + P("src/b.txt") + "\""});
  EXPECT_FALSE(data_.Exists("src/a.txt"));
  EXPECT_TRUE(data_.Exists("src/b.txt"));
  EXPECT_TRUE(data_.Exists("src/c.txt"));
}

// A single file large enough for several chunks of progress (8 MiB each).
constexpr uint64_t kBigSize = uint64_t{40} << 20;

TEST_F(FileCommandsTest, SingleCopyShowsItsBytesAndStopCutsIt) {
  data_.Write("big.bin", std::string(kBigSize, 'x'));
  EXPECT_EQ(
      Run("filecopy,1," + P("big.bin") + "," + P("whole.bin")),
      Lines{"1|Sucessfully copied file: \"" + P("big.bin") + "\" to: \"" + P("whole.bin") + "\""});
  EXPECT_EQ(data_.Read("whole.bin").size(), kBigSize);
  // Where reflinks are refused the bytes came in chunks.
  uint64_t most = 0;
  for (const auto& op : harness_.view.operations) {
    EXPECT_EQ(op.name, "Copying");
    most = std::max(most, op.bytes);
  }
  EXPECT_TRUE(harness_.view.operations.back().finished);

  harness_.view.operations.clear();
  harness_.view.stop_after_bytes = 1;
  const std::vector<std::string> lines = Run("filecopy,1," + P("big.bin") + "," + P("cut.bin"));
  if (most == 0) GTEST_SKIP() << "the file system copies by reflink, at once";
  EXPECT_EQ(lines,
            Lines{"0|Failed to copy file: \"" + P("big.bin") + "\" to: \"" + P("cut.bin") + "\""});
  EXPECT_EQ(harness_.view.lines[0].reason, "the run was stopped");
  // Nothing is left of the partial copy.
  EXPECT_FALSE(data_.Exists("cut.bin"));
}

TEST_F(FileCommandsTest, StopCutsAMaskCopyInItsFileAndKeepsTheOldTarget) {
  data_.Write("src/a.bin", std::string(kBigSize, 'a'));
  data_.Write("src/b.bin", std::string(kBigSize, 'b'));
  data_.Write("out/a.bin", "old");
  harness_.view.stop_after_bytes = 1;
  const std::vector<std::string> lines = Run("filecopy,1," + P("src\\*.bin") + "," + P("out"));
  if (harness_.view.operations.size() <= 2) GTEST_SKIP() << "copied by reflink, at once";
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(0, 17), "0|Failed to copy ");
  EXPECT_EQ(harness_.view.lines[0].reason, "the run was stopped");
  EXPECT_EQ(data_.Read("out/a.bin"), "old");
  EXPECT_FALSE(data_.Exists("out/b.bin"));
}

TEST_F(FileCommandsTest, StopCutsAMoveToAnotherFileSystem) {
  // /dev/shm is a file system of its own where the data folder is not.
  TempDir shm("/dev/shm");
  struct stat a;
  struct stat b;
  if (::stat(shm.path().c_str(), &a) != 0 || ::stat(data_.path().c_str(), &b) != 0 ||
      a.st_dev == b.st_dev) {
    GTEST_SKIP() << "no second file system";
  }
  shm.Write("big.bin", std::string(kBigSize, 'm'));
  harness_.view.stop_after_bytes = 1;
  EXPECT_EQ(Run("filerename,1," + shm.Path("big.bin") + "," + P("moved.bin")),
            Lines{"0|Failed to rename file:\"" + shm.Path("big.bin") + "\" to:\"" + P("moved.bin") +
                  "\""});
  EXPECT_EQ(harness_.view.lines[0].reason, "the run was stopped");
  EXPECT_FALSE(data_.Exists("moved.bin"));
  EXPECT_EQ(shm.Read("big.bin").size(), kBigSize);
  EXPECT_EQ(harness_.view.operations.front().name, "Moving");
}

}  // namespace
}  // namespace pelvar::commands
