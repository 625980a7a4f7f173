#include "engine/ini_file.h"

#include <gtest/gtest.h>

#include "engine/script_error.h"
#include "platform/memory_file_system.h"
#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::TempDir;
using Lines = std::vector<std::string>;

TEST(ReadSectionLinesTest, HeaderCaseAndBlanksDoNotMatterAndTheClosingLineIsReturned) {
  TempDir dir;
  const auto p = dir.Write("s.script", "[ PROCESS ]\necho,1,a\n; note\n\necho,1,b\n[other]\nx=1\n");
  EXPECT_EQ(ReadSectionLines(p, "process"), (Lines{"echo,1,a", "echo,1,b", ""}));
  const auto q = dir.Write("t.script", "[process]\na\nb\nc\n");
  EXPECT_EQ(ReadSectionLines(q, "process"), (Lines{"a", "b", "c", ""}));
}

TEST(ReadSectionLinesTest, BracketLinesStopTheSection) {
  TempDir dir;
  const auto p =
      dir.Write("s.script", "[process]\necho,1,a\necho,1,b]\necho,1,c\n[x]\n[process]\n[y\nz\n");
  EXPECT_EQ(ReadSectionLines(p, "process"), (Lines{"echo,1,a"}));
}

TEST(ReadSectionLinesTest, DuplicateSectionsAreReadInFileOrder) {
  TempDir dir;
  const auto p = dir.Write("s.script", "[process]\na\n[mid]\nm\n[Process]\nb\n");
  EXPECT_EQ(ReadSectionLines(p, "process"), (Lines{"a", "", "b", ""}));
  EXPECT_EQ(ReadSectionLines(p, "pro#$qcess"), Lines{});
  EXPECT_EQ(ReadSectionLines(dir.Path("missing"), "process"), Lines{});
}

TEST(ReadSectionLinesTest, KeyLinesComeBackWithoutBlanksAroundTheirFirstEquals) {
  TempDir dir;
  const auto p = dir.Write("s.script", "[process]\necho,1,\"a = b\"\n");
  EXPECT_EQ(ReadSectionLines(p, "process"), (Lines{"echo,1,\"a=b\"", ""}));
}

TEST(ReadSectionValuesTest, CopiesOnlyTheFirstSection) {
  TempDir dir;
  const auto p = dir.Write("s.script", "[variables]\n%a%=1\ntext\n[variables]\n%b%=2\n");
  Lines table{"old"};
  EXPECT_TRUE(ReadSectionValues(p, "Variables", table));
  EXPECT_EQ(table, (Lines{"%a%=1", "text"}));
  EXPECT_FALSE(ReadSectionValues(p, "none", table));
  EXPECT_TRUE(table.empty());
}

TEST(IniFileTest, SectionExistsAndEraseTreatEmptyHeadersAsAbsent) {
  TempDir dir;
  const auto p = dir.Write("a.ini", "[empty]\n[full]\nk=v\n[full]\nk=2\n");
  EXPECT_FALSE(IniSectionExists(p, "empty"));
  EXPECT_TRUE(IniSectionExists(p, "FULL"));
  EXPECT_TRUE(EraseIniSection(p, "empty"));
  EXPECT_EQ(dir.Read("a.ini"), "[empty]\n[full]\nk=v\n[full]\nk=2\n");
  EXPECT_TRUE(EraseIniSection(p, "full"));
  EXPECT_EQ(dir.Read("a.ini"), "[empty]\n");
  // A section with lines behind an empty header of its name is erased too.
  dir.Write("b.ini", "[a]\n[o]\nx=1\n[A]\nk=2\n[a]\n[a]\nj=3\n");
  EXPECT_TRUE(EraseIniSection(dir.Path("b.ini"), "a"));
  EXPECT_EQ(dir.Read("b.ini"), "[a]\n[o]\nx=1\n[a]\n");
  EXPECT_FALSE(EraseIniSection(dir.Path("missing.ini"), "full"));
  EXPECT_FALSE(dir.Exists("missing.ini"));
}

TEST(IniFileTest, WriteAndDeleteKeyNeverCreateFiles) {
  TempDir dir;
  EXPECT_FALSE(WriteIniKey(dir.Path("none.ini"), "s", "k", "v"));
  EXPECT_FALSE(DeleteIniKey(dir.Path("none.ini"), "s", "k"));
  EXPECT_FALSE(dir.Exists("none.ini"));
  const auto p = dir.Write("a.ini", "[s]\nk#$c=1\n");
  EXPECT_TRUE(WriteIniKey(p, "s", "x", "#$q"));  // no unescaping
  EXPECT_TRUE(DeleteIniKey(p, "s", "k#$c"));     // unescaped to "k,": nothing matches
  EXPECT_EQ(dir.Read("a.ini"), "[s]\nk#$c=1\nx=#$q\n");
  EXPECT_TRUE(DeleteIniKey(p, "s", "x"));
  EXPECT_EQ(dir.Read("a.ini"), "[s]\nk#$c=1\n");
}

TEST(IniFileTest, InsertSectionLineGoesBelowTheFirstLineOfTheExactHeader) {
  TempDir dir;
  const auto p = dir.Write("a.ini", "[Sec]\n; c\nfirst\nsecond\n[empty]\n");
  EXPECT_TRUE(InsertSectionLine(p, "Sec", "new#$cline"));
  EXPECT_EQ(dir.Read("a.ini"), "[Sec]\n; c\nfirst\nnew,line\nsecond\n[empty]\n");
  EXPECT_TRUE(InsertSectionLine(p, "empty", "only = one"));
  EXPECT_EQ(dir.Read("a.ini"), "[Sec]\n; c\nfirst\nnew,line\nsecond\n[empty]\nonly = one\n");
}

TEST(IniFileTest, InsertSectionLineWithOtherCaseInsertsNothingAndChangesNoByte) {
  TempDir dir;
  const auto p = dir.Write("a.ini", "; c\n[Sec]\n a = b \n");
  EXPECT_FALSE(InsertSectionLine(p, "sec", "x"));
  EXPECT_EQ(dir.Read("a.ini"), "; c\n[Sec]\n a = b \n");
  EXPECT_FALSE(InsertSectionLine(dir.Path("none.ini"), "Sec", "x"));
}

TEST(UnescapeFieldTest, ReplacesBothSequencesIgnoringCaseOnce) {
  EXPECT_EQ(UnescapeField("a#$Cb#$qc#$Q#$c"), "a,b\"c\",");
  EXPECT_EQ(UnescapeField("#$#$qq"), "#$\"q");
  EXPECT_EQ(UnescapeField("#$q$c"), "\"$c");
  EXPECT_EQ(UnescapeField("plain"), "plain");
}

// The in-place edit goes through the file system service: only the one line
// changes, a missing file is not created, and a full disk keeps the old file
// and raises the write's error.
TEST(WriteIniKeyTest, EditsOneLineThroughTheServiceAndAFullDiskKeepsTheFile) {
  platform::MemoryFileSystem files;
  files.AddFolder("/d");
  const std::string text = "; keep\r\n[Main]\r\nSelected=False\r\n\r\n[process]\r\n";
  files.AddFile("/d/a.script", text);
  EXPECT_TRUE(WriteIniKey(files, "\\D\\A.script", "main", "Selected", "True"));
  EXPECT_EQ(files.Content("/d/a.script"), "; keep\r\n[Main]\r\nSelected=True\r\n\r\n[process]\r\n");
  EXPECT_FALSE(WriteIniKey(files, "/d/none.script", "main", "Selected", "True"));
  EXPECT_EQ(files.Names("/d"), (Lines{"a.script"}));

  files.faults.space = 4;
  std::string raised;
  try {
    WriteIniKey(files, "/d/a.script", "main", "Selected", "False");
  } catch (const ScriptError& e) {
    raised = e.what();
  }
  EXPECT_EQ(raised, "Cannot create file \"/d/a.script\". No space left on device");
  EXPECT_EQ(files.Content("/d/a.script"), "; keep\r\n[Main]\r\nSelected=True\r\n\r\n[process]\r\n");
  EXPECT_EQ(files.Names("/d"), (Lines{"a.script"}));
}

}  // namespace
}  // namespace pelvar
