#include "app/command_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/ini_file.h"
#include "engine/script_error.h"
#include "platform/posix_file_system.h"
#include "support/test_support.h"

namespace pelvar::app {
namespace {

using testing::TempDir;

// Writes the list over the script as it stands.
WriteOutcome Write(const std::string& script, const std::vector<std::string>& lines) {
  platform::PosixFileSystem files;
  return WriteCommandLines(files, script, lines, FileFingerprint(script));
}

TEST(CommandListTest, MoveLinesPutsTheRowsBeforeTheTarget) {
  const std::vector<std::string> lines{"a", "b", "c", "d", "e"};
  size_t first = 99;
  EXPECT_EQ(MoveLines(lines, {3}, 1, &first), (std::vector<std::string>{"a", "d", "b", "c", "e"}));
  EXPECT_EQ(first, 1u);
  EXPECT_EQ(MoveLines(lines, {0, 2}, 4, &first),
            (std::vector<std::string>{"b", "d", "a", "c", "e"}));
  EXPECT_EQ(first, 2u);
  EXPECT_EQ(MoveLines(lines, {1}, 5, &first), (std::vector<std::string>{"a", "c", "d", "e", "b"}));
  EXPECT_EQ(first, 4u);
  // Onto itself or just below itself: nothing moves.
  EXPECT_EQ(MoveLines(lines, {2}, 2, &first), lines);
  EXPECT_EQ(MoveLines(lines, {2}, 3, &first), lines);
  EXPECT_EQ(first, 2u);
}

TEST(CommandListTest, ImageByFirstFiveCharacters) {
  EXPECT_EQ(CommandImage("IniWriteKey,1,a,b,c,d"), 1);
  EXPECT_EQ(CommandImage("iniaddsection,1,a,b"), 1);
  EXPECT_EQ(CommandImage("inideletekey,1,a,b,c"), 2);
  EXPECT_EQ(CommandImage("regwritestring,1"), 3);
  EXPECT_EQ(CommandImage("regdeletekey,1"), 4);
  EXPECT_EQ(CommandImage("dirmake,1,x"), 6);
  EXPECT_EQ(CommandImage("reghiveload,1"), 7);
  EXPECT_EQ(CommandImage("filerename,1,a,b"), 9);  // the full table, "filer" included
  EXPECT_EQ(CommandImage("filedelete,1,a"), 10);
  EXPECT_EQ(CommandImage("shellexecuteex,1"), 11);
  EXPECT_EQ(CommandImage("BEEP,1,ok"), 11);
  EXPECT_EQ(CommandImage("wait,0,1"), 11);
  EXPECT_EQ(CommandImage("extractandrun,1"), 12);
  EXPECT_EQ(CommandImage("webget,1"), 13);
  EXPECT_EQ(CommandImage("txtdelspaces,1"), 14);
  EXPECT_EQ(CommandImage("echo,1,x"), 15);
  // The short names match only with their comma.
  EXPECT_EQ(CommandImage("echo"), 0);
  EXPECT_EQ(CommandImage("beeps,1"), 0);
  EXPECT_EQ(CommandImage("waiting,1"), 0);
  EXPECT_EQ(CommandImage(""), 0);
  EXPECT_EQ(CommandImage("\"echo\",1,x"), 0);
}

TEST(CommandListTest, FlagMarkAndToggle) {
  EXPECT_EQ(LineFlagMark("echo,1,x"), FlagMark::kOn);
  EXPECT_EQ(LineFlagMark("echo,0,x"), FlagMark::kOff);
  EXPECT_EQ(LineFlagMark("echo,x,y"), FlagMark::kOff);
  EXPECT_EQ(LineFlagMark("echo,"), FlagMark::kOff);
  EXPECT_EQ(LineFlagMark("echo,5,x"), FlagMark::kOther);
  EXPECT_EQ(LineFlagMark("echo"), FlagMark::kNone);

  EXPECT_EQ(ToggleLineFlag("echo,0,a,b"), "echo,1,a,b");
  EXPECT_EQ(ToggleLineFlag("echo,1,a,b"), "echo,0,a,b");
  EXPECT_EQ(ToggleLineFlag("echo,10,a"), "echo,00,a");
  EXPECT_EQ(ToggleLineFlag("echo,x,a"), "echo,1,a");
  EXPECT_EQ(ToggleLineFlag("echo,"), "echo,1");
  // No flag, or a flag that is not a check mark: a click changes nothing.
  EXPECT_EQ(ToggleLineFlag("echo"), std::nullopt);
  EXPECT_EQ(ToggleLineFlag("echo,7,a"), std::nullopt);
}

TEST(CommandListTest, ListsEveryProcessSectionKeepingLinesAfterABracket) {
  const IniModel model = IniModel::Parse(
      "[process]\r\n\r\n[main]\r\ntitle=t\r\n[PROCESS]\r\necho,1,a]\r\necho,1,b\r\n"
      "; note\r\n[process]\r\necho,1,c\r\n");
  const std::vector<std::string> expected = {"echo,1,a]", "echo,1,b", "echo,1,c"};
  EXPECT_EQ(ListCommandLines(model), expected);
}

TEST(CommandListTest, WriteBackChangesOnlyTheLinesOfTheList) {
  TempDir dir;
  const std::string script =
      dir.Write("s.script",
                "; header comment\n[process]\necho,1,one\n; inner comment\n\n[main]\n title = T \n"
                "[process]\necho,0,two\n[variables]\n%a%=b\n");
  const IniModel model = IniModel::Load(script);
  std::vector<std::string> lines = ListCommandLines(model);
  ASSERT_EQ(lines.size(), 2u);
  lines.push_back("  filecopy,1,a,b  ");
  lines.push_back("");
  Write(script, lines);
  // The new line follows the list's last line, trimmed, in the file's line
  // end; comments, blanks and the order of the sections stay.
  EXPECT_EQ(dir.Read("s.script"),
            "; header comment\n[process]\necho,1,one\n; inner comment\n\n[main]\n title = T \n"
            "[process]\necho,0,two\nfilecopy,1,a,b\n[variables]\n%a%=b\n");
}

TEST(CommandListTest, WriteBackOfAnEmptyListLeavesAnEmptyProcessSection) {
  TempDir dir;
  const std::string script = dir.Write("s.script", "[process]\r\necho,1,x\r\n[main]\r\nt=1\r\n");
  Write(script, {});
  EXPECT_EQ(dir.Read("s.script"), "[process]\r\n[main]\r\nt=1\r\n");
  EXPECT_FALSE(IniSectionExists(script, "process"));
  // Adding again fills the empty header where it stands.
  Write(script, {"echo,1,y"});
  EXPECT_EQ(dir.Read("s.script"), "[process]\r\necho,1,y\r\n[main]\r\nt=1\r\n");
  // Writing the same list again changes nothing.
  Write(script, ListCommandLines(IniModel::Load(script)));
  Write(script, ListCommandLines(IniModel::Load(script)));
  EXPECT_EQ(dir.Read("s.script"), "[process]\r\necho,1,y\r\n[main]\r\nt=1\r\n");
  // A script without a process section gets one at its end.
  const std::string bare = dir.Write("b.script", "[main]\r\nt=1\r\n");
  Write(bare, {"echo,1,z"});
  EXPECT_EQ(dir.Read("b.script"), "[main]\r\nt=1\r\n\r\n[process]\r\necho,1,z\r\n");
}

TEST(CommandListTest, WriteBackOfAReadOnlyScriptFailsAndLeavesIt) {
  TempDir dir;
  const std::string script = dir.Write("s.script", "[process]\necho,1,x\n");
  ASSERT_EQ(::chmod(script.c_str(), 0444), 0);
  EXPECT_THROW(Write(script, {"echo,0,x"}), ScriptError);
  EXPECT_EQ(dir.Read("s.script"), "[process]\necho,1,x\n");
}

TEST(CommandListTest, WriteBackOverAnotherVersionWritesNothing) {
  TempDir dir;
  const std::string script = dir.Write("s.script", "[process]\necho,1,x\n");
  const std::optional<size_t> read = FileFingerprint(script);
  dir.Write("s.script", "[process]\necho,1,y\n");
  platform::PosixFileSystem files;
  EXPECT_EQ(WriteCommandLines(files, script, {"echo,0,x"}, read), WriteOutcome::kChanged);
  EXPECT_EQ(dir.Read("s.script"), "[process]\necho,1,y\n");
  EXPECT_EQ(WriteCommandLines(files, dir.Path("gone.script"), {"echo,0,x"}, read),
            WriteOutcome::kChanged);
  EXPECT_FALSE(dir.Exists("gone.script"));
  EXPECT_EQ(WriteCommandLines(files, script, {"echo,0,x"}, FileFingerprint(script)),
            WriteOutcome::kWritten);
  EXPECT_EQ(dir.Read("s.script"), "[process]\necho,0,x\n");
}

TEST(CommandListTest, FingerprintFollowsTheBytes) {
  TempDir dir;
  const std::string script = dir.Write("s.script", "[process]\necho,1,x\n");
  const EditedScript read = ReadEditedScript(script);
  EXPECT_EQ(read.fingerprint, FileFingerprint(script));
  dir.Write("s.script", "[process]\necho,1,y\n");
  EXPECT_NE(read.fingerprint, FileFingerprint(script));
  EXPECT_EQ(FileFingerprint(dir.Path("missing.script")), std::nullopt);
  EXPECT_EQ(ReadEditedScript(dir.Path("missing.script")).fingerprint, std::nullopt);
}

}  // namespace
}  // namespace pelvar::app
