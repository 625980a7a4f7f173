// dircopy, dirmove, dirdelete and dirmake on real folders.
#include <unistd.h>

#include "commands/script_line_fixture.h"

namespace pelvar::commands {
namespace {

using Lines = std::vector<std::string>;

class DirCommandsTest : public pelvar::testing::ScriptLineTest {};

TEST_F(DirCommandsTest, MakeCreatesOneLevel) {
  data_.Write("file", "");
  EXPECT_EQ(Run("dirmake,1," + P("New")),
            Lines{"1|Sucessfully created directory: \"" + P("New") + "\""});
  EXPECT_EQ(Run("dirmake,1," + P("NEW")),
            Lines{"5|Directory already exists, ignoring: \"" + P("NEW") + "\""});
  EXPECT_EQ(Run("dirmake,1," + P("a/b")),
            Lines{"0|Failed to create directory: \"" + P("a/b") + "\""});
  EXPECT_EQ(Run("dirmake,1," + P("file")),
            Lines{"0|Failed to create directory: \"" + P("file") + "\""});
  EXPECT_EQ(data_.Read("file"), "");
}

TEST_F(DirCommandsTest, CopyNamesTheTargetAsTheShellDoes) {
  data_.Write("src/a.txt", "a");
  data_.Write("src/sub/b.txt", "b");
  data_.Write("dest/other", "");
  // Into an existing folder: under the source's own name.
  EXPECT_EQ(Run("dircopy,1," + P("SRC") + "," + P("Dest")),
            Lines{"1|Sucessfully copied directory \"" + P("SRC") + "\" to: \"" + P("Dest") + "\""});
  EXPECT_EQ(data_.Read("dest/src/sub/b.txt"), "b");
  // To a new name: the copy takes it, with the missing folders above.
  Run("dircopy,1," + P("src") + "," + P("x/y/copy"));
  EXPECT_EQ(data_.Read("x/y/copy/a.txt"), "a");
  EXPECT_EQ(data_.Read("x/y/copy/sub/b.txt"), "b");
  EXPECT_TRUE(data_.Exists("src/a.txt"));
}

TEST_F(DirCommandsTest, CopyFailures) {
  data_.Write("src/a.txt", "a");
  EXPECT_EQ(Run("dircopy,1," + P("none") + "," + P("d")),
            Lines{"0|Failed to copy directory \"" + P("none") + "\" to: \"" + P("d") + "\""});
  // Into itself, or onto itself.
  EXPECT_EQ(Run("dircopy,1," + P("src") + "," + P("src/inner"))[0][0], '0');
  EXPECT_EQ(Run("dircopy,1," + P("src") + "," + data_.path())[0][0], '0');
  EXPECT_FALSE(data_.Exists("src/inner"));
  EXPECT_EQ(Error("dircopy,1," + P("src")), "List index out of bounds (3)");
}

TEST_F(DirCommandsTest, MoveRenamesAndMerges) {
  data_.Write("src/a.txt", "new a");
  data_.Write("src/sub/b.txt", "b");
  EXPECT_EQ(Run("dirmove,1," + P("src") + "," + P("moved")),
            Lines{"1|Sucessfully move directory \"" + P("src") + "\" to: \"" + P("moved") + "\""});
  EXPECT_FALSE(data_.Exists("src"));
  EXPECT_EQ(data_.Read("moved/sub/b.txt"), "b");

  // Into a folder that already holds one of the same name: merged.
  data_.Write("t/moved/a.txt", "old a");
  data_.Write("t/moved/sub/c.txt", "c");
  Run("dirmove,1," + P("moved") + "," + P("t"));
  EXPECT_FALSE(data_.Exists("moved"));
  EXPECT_EQ(data_.Read("t/moved/a.txt"), "new a");
  EXPECT_EQ(data_.Read("t/moved/sub/b.txt"), "b");
  EXPECT_EQ(data_.Read("t/moved/sub/c.txt"), "c");

  EXPECT_EQ(Run("dirmove,1," + P("none") + "," + P("x")),
            Lines{"0|Failed to move directory \"" + P("none") + "\" to: \"" + P("x") + "\""});
}

TEST_F(DirCommandsTest, MergesKeepNamesThatDifferOnlyInCase) {
  data_.Write("src/a.txt", "lower");
  data_.Write("src/A.txt", "upper");
  data_.Write("dest/src/a.txt", "old");
  EXPECT_EQ(Run("dircopy,1," + P("src") + "," + P("dest"))[0][0], '1');
  EXPECT_EQ(data_.Read("dest/src/a.txt"), "lower");
  EXPECT_EQ(data_.Read("dest/src/A.txt"), "upper");
  data_.Write("t/src/A.TXT", "other");
  EXPECT_EQ(Run("dirmove,1," + P("src") + "," + P("t"))[0][0], '1');
  EXPECT_FALSE(data_.Exists("src"));
  EXPECT_EQ(data_.Read("t/src/a.txt"), "lower");
  EXPECT_EQ(data_.Read("t/src/A.txt"), "upper");
  EXPECT_EQ(data_.Read("t/src/A.TXT"), "other");
}

// The reason beside a failed move tells what was left where.
TEST_F(DirCommandsTest, AMoveThatFailsSaysWhatItLeft) {
  data_.Write("src/x/inner.txt", "i");
  data_.Write("t/src/x", "a file in the way");
  EXPECT_EQ(Run("dirmove,1," + P("src") + "," + P("t")),
            Lines{"0|Failed to move directory \"" + P("src") + "\" to: \"" + P("t") + "\""});
  EXPECT_EQ(harness_.view.lines[0].reason, "could not move \"" + data_.Path("src/x") +
                                               "\": Not a directory; it stays in the source");
  EXPECT_EQ(data_.Read("src/x/inner.txt"), "i");
  Run("dirmove,1," + P("src") + "," + P("src/in"));
  EXPECT_EQ(harness_.view.lines[0].reason, "the destination lies inside the source");
  Run("dircopy,1," + P("src") + "," + data_.path());
  EXPECT_EQ(harness_.view.lines[0].reason, "the destination is the source itself");
}

// Stop ends a folder copy or delete between two files; the command fails.
TEST_F(DirCommandsTest, StopEndsACopyOrDeleteBetweenFiles) {
  data_.Write("src/a.txt", "a");
  data_.Write("src/b.txt", "b");
  data_.Write("src/c/d.txt", "d");
  harness_.view.stop_after_files = 1;
  EXPECT_EQ(Run("dircopy,1," + P("src") + "," + P("copy")),
            Lines{"0|Failed to copy directory \"" + P("src") + "\" to: \"" + P("copy") + "\""});
  EXPECT_EQ(harness_.view.lines[0].reason, "the run was stopped");
  EXPECT_EQ(Run("dirdelete,1," + P("src")),
            Lines{"0|Failed to delete directory \"" + P("src") + "\""});
  EXPECT_EQ(harness_.view.lines[0].reason, "the run was stopped");
  EXPECT_TRUE(data_.Exists("src"));
}

TEST_F(DirCommandsTest, DeleteRemovesTheTreeButNotWhatLinksPointTo) {
  data_.Write("outside/keep.txt", "keep");
  data_.Write("tree/a/b/c.txt", "");
  data_.Write("tree/.hidden", "");
  ASSERT_EQ(::symlink(data_.Path("outside").c_str(), data_.Path("tree/a/link").c_str()), 0);
  data_.Write("tree/a/five", "12345");
  EXPECT_EQ(Run("dirdelete,1," + P("TREE")),
            Lines{"1|Sucessfully deleted directory \"" + P("TREE") + "\""});
  EXPECT_FALSE(data_.Exists("tree"));
  // Its progress counted the four files (the link among them) and the five
  // bytes, and ended.
  const auto& ops = harness_.view.operations;
  ASSERT_GE(ops.size(), 3u);
  EXPECT_EQ(ops.front().name, "Deleting");
  EXPECT_EQ(ops[ops.size() - 2].files, 4u);
  EXPECT_EQ(ops[ops.size() - 2].bytes, 5u);
  EXPECT_TRUE(ops.back().finished);
  EXPECT_EQ(data_.Read("outside/keep.txt"), "keep");
  EXPECT_EQ(Run("dirdelete,1," + P("tree")),
            Lines{"0|Failed to delete directory \"" + P("tree") + "\""});
}

}  // namespace
}  // namespace pelvar::commands
