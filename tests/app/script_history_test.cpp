#include "app/script_history.h"

#include <gtest/gtest.h>

#include "platform/posix_file_system.h"
#include "support/test_support.h"

namespace pelvar::app {
namespace {

using testing::TempDir;

TEST(ScriptHistoryTest, KeepsOnlyTheBytesThatDiffer) {
  const ScriptChange change =
      DiffScript("s", "Edit", "[p]\r\necho,0,a\r\nrest", "[p]\r\necho,1,a\r\nrest");
  EXPECT_EQ(change.head, 10u);
  EXPECT_EQ(change.tail, 8u);
  EXPECT_EQ(change.before, "0");
  EXPECT_EQ(change.after, "1");
  // A repeated byte at the seam is counted once.
  const ScriptChange added = DiffScript("s", "Add", "aa", "aaa");
  EXPECT_EQ(added.head + added.tail, 2u);
  EXPECT_EQ(added.before, "");
  EXPECT_EQ(added.after, "a");
}

TEST(ScriptHistoryTest, UndoAndRedoWriteTheExactBytes) {
  TempDir dir;
  const std::string one = "[main]\r\nlevel=1\r\n[process]\r\necho,1,a\r\n";
  const std::string two = "[main]\r\nlevel=1\r\n[process]\r\n";
  const std::string three = "[x]\n";
  const std::string path = dir.Write("a.script", three);
  platform::PosixFileSystem files;
  ScriptHistory history;
  history.Record(DiffScript(path, "Delete", one, two));
  history.Record(DiffScript(path, "Rewrite", two, three));
  history.Record(DiffScript(path, "Nothing", three, three));
  EXPECT_EQ(history.size(), 2u);
  EXPECT_EQ(history.UndoLabel(), "Rewrite");
  EXPECT_EQ(history.Undo(files), StepOutcome::kDone);
  EXPECT_EQ(dir.Read("a.script"), two);
  EXPECT_EQ(history.Undo(files), StepOutcome::kDone);
  EXPECT_EQ(dir.Read("a.script"), one);
  EXPECT_EQ(history.Undo(files), StepOutcome::kNothing);
  EXPECT_EQ(history.RedoLabel(), "Delete");
  EXPECT_EQ(history.Redo(files), StepOutcome::kDone);
  EXPECT_EQ(dir.Read("a.script"), two);
  // Another program's version is left alone, and the step stays.
  dir.Write("a.script", two + "x");
  EXPECT_EQ(history.Redo(files), StepOutcome::kChanged);
  EXPECT_EQ(dir.Read("a.script"), two + "x");
  EXPECT_TRUE(history.CanRedo());
  history.Clear();
  EXPECT_FALSE(history.CanUndo());
  EXPECT_EQ(history.KeptBytes(), 0u);
}

TEST(ScriptHistoryTest, AStepOfSeveralFilesIsTakenWhole) {
  TempDir dir;
  const std::string a = dir.Write("a.script", "[main]\nselected=true\n");
  const std::string b = dir.Write("b.script", "[main]\nselected=true\n");
  platform::PosixFileSystem files;
  ScriptHistory history;
  history.Join(DiffScript(a, "Check", "[main]\nselected=false\n", dir.Read("a.script")));
  history.Join(DiffScript(b, "Check", "[main]\n", dir.Read("b.script")));
  EXPECT_EQ(history.size(), 1u);
  EXPECT_EQ(history.UndoPaths(), (std::vector<std::string>{a, b}));
  // One file changed by another program: neither is written.
  dir.Write("b.script", "[main]\nselected=false\n");
  EXPECT_EQ(history.Undo(files), StepOutcome::kChanged);
  EXPECT_EQ(dir.Read("a.script"), "[main]\nselected=true\n");
  dir.Write("b.script", "[main]\nselected=true\n");
  EXPECT_EQ(history.Undo(files), StepOutcome::kDone);
  EXPECT_EQ(dir.Read("a.script"), "[main]\nselected=false\n");
  EXPECT_EQ(dir.Read("b.script"), "[main]\n");
  EXPECT_EQ(history.Redo(files), StepOutcome::kDone);
  EXPECT_EQ(dir.Read("b.script"), "[main]\nselected=true\n");
}

}  // namespace
}  // namespace pelvar::app
