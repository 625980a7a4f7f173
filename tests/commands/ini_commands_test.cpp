// The INI commands: the exact file bytes after each command and the exact
// log lines.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/script_error.h"
#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::ScriptHarness;
using Texts = std::vector<std::string>;

constexpr const char* kCommented =
    "; top comment\r\n[Main]\r\n key1 = a \r\n\r\n; inner\r\nkey2=b\n[other]\nx = 1";

TEST(IniWriteKeyTest, AddsOneLineAndLogsTheFieldsAsWritten) {
  ScriptHarness h;
  const std::string f = h.dir.Write("a.ini", kCommented);
  h.RunLine("iniwritekey,1," + f + ",main,key3,1#$c2");
  // The new key follows the section's last key, in the file's line end; the
  // comments, blanks and other line ends stay.
  EXPECT_EQ(h.dir.Read("a.ini"),
            "; top comment\r\n[Main]\r\n key1 = a \r\n\r\n; inner\r\nkey2=b\nkey3=1,2\r\n"
            "[other]\nx = 1");
  EXPECT_EQ(h.view.Texts(), Texts{"1|Successfully wrote INI key in file: \"" + f +
                                  "\" Section: \"main\" key: \"key3=1,2\""});
}

TEST(IniWriteKeyTest, SectionCaseIsIgnoredAndAMissingFileIsNotCreated) {
  ScriptHarness h;
  const std::string f = h.dir.Write("a.ini", "[Main]\r\nkey1=a\r\n");
  h.RunLine("iniwritekey,1," + f + ",MAIN,KEY1,z");
  EXPECT_EQ(h.dir.Read("a.ini"), "[Main]\r\nKEY1=z\r\n");  // the key as written
  const std::string missing = h.dir.Path("none.ini");
  h.RunLine("iniwritekey,1," + missing + ",s,k,v");
  EXPECT_FALSE(h.dir.Exists("none.ini"));
  EXPECT_EQ(h.view.Texts().back(),
            "0|INIwriteString - Failed to write INI file: \"" + missing + "\"");
}

TEST(IniWriteKeyTest, AKeyTheFileCannotHoldFailsAndLeavesTheFile) {
  ScriptHarness h;
  const std::string f = h.dir.Write("a.ini", "[s]\r\na=1\r\n");
  // Written, these would read back as key "a", a comment and a section.
  h.RunLine("iniwritekey,1," + f + ",s,a=b,c");
  h.RunLine("iniwritekey,1," + f + ",s, ;k,v");
  h.RunLine("iniwritekey,1," + f + ",s,[x,y");
  EXPECT_EQ(h.dir.Read("a.ini"), "[s]\r\na=1\r\n");
  ASSERT_EQ(h.view.lines.size(), 3u);
  for (const auto& line : h.view.lines) {
    EXPECT_EQ(line.text, "INIwriteString - Failed to write INI file: \"" + f + "\"");
  }
  EXPECT_EQ(h.view.lines[0].reason, "a key cannot hold \"=\"");
  EXPECT_EQ(h.view.lines[1].reason, "a key beginning with \";\" is a comment");
  EXPECT_EQ(h.view.lines[2].reason, "a key beginning with \"[\" reads as a section");
}

TEST(IniWriteTextLineTest, InsertsAsTheSecondLineOrTheOnlyLine) {
  ScriptHarness h;
  const std::string f =
      h.dir.Write("s.script", "[process]\r\nA\r\nB\r\n[empty]\r\n[tail]\r\nk=v\r\n");
  h.RunLine("iniwritetextline,1," + f + ",process,\"echo#$c1#$cx y\"");
  h.RunLine("iniwritetextline,1," + f + ",empty,only");
  EXPECT_EQ(h.dir.Read("s.script"),
            "[process]\r\nA\r\necho,1,x y\r\nB\r\n[empty]\r\nonly\r\n[tail]\r\nk=v\r\n");
  EXPECT_EQ(h.view.Texts(), (Texts{"1|Successfully wrote INI text line in \"" + f +
                                       "\" section: \"process\"  line: \"echo,1,x y\"",
                                   "1|Successfully wrote INI text line in \"" + f +
                                       "\" section: \"empty\"  line: \"only\""}));
}

TEST(IniWriteTextLineTest, ALineInBracketsFailsAndLeavesTheSectionWhole) {
  ScriptHarness h;
  // Inserted, "[x]" would move B out of the section into a new one.
  const std::string f = h.dir.Write("s.ini", "[process]\r\nA\r\nB\r\n");
  h.RunLine("iniwritetextline,1," + f + ",process,\" [x] \"");
  EXPECT_EQ(h.dir.Read("s.ini"), "[process]\r\nA\r\nB\r\n");
  EXPECT_EQ(
      h.view.Texts(),
      Texts{"0|INIwriteTextLine - An error occured when trying to edit INI file: \"" + f + "\""});
  EXPECT_EQ(h.view.lines[0].reason, "a line in brackets would start a new section");
}

TEST(IniWriteTextLineTest, OtherLetterCaseFailsAndLeavesTheFile) {
  ScriptHarness h;
  const std::string f = h.dir.Write("a.ini", kCommented);
  h.RunLine("iniwritetextline,1," + f + ",main,text");
  EXPECT_EQ(h.dir.Read("a.ini"), kCommented);
  EXPECT_EQ(
      h.view.Texts(),
      Texts{"0|INIwriteTextLine - An error occured when trying to edit INI file: \"" + f + "\""});
}

TEST(IniAddSectionTest, CreatesAMissingFileAndAppendsTheHeaderEachTimeTheSectionIsEmpty) {
  ScriptHarness h;
  const std::string f = h.dir.Path("new.ini");
  h.RunLine("iniaddsection,1," + f + ",Fresh");
  EXPECT_EQ(h.dir.Read("new.ini"), "[Fresh]\r\n");
  h.RunLine("iniaddsection,1," + f + ",Fresh");
  EXPECT_EQ(h.dir.Read("new.ini"), "[Fresh]\r\n[Fresh]\r\n");
  EXPECT_EQ(h.view.Texts().front(),
            "1|Sucessfully created section in file: \"" + f + "\" section: \"Fresh\"");
}

TEST(IniAddSectionTest, KeepsTheLayoutOfTheFileAndLeavesAPresentSectionAlone) {
  ScriptHarness h;
  const std::string f = h.dir.Write("a.ini", "; keep\n[a]\nk = v");
  h.RunLine("iniaddsection,1," + f + ",b");
  EXPECT_EQ(h.dir.Read("a.ini"), "; keep\n[a]\nk = v\n[b]\n");  // in the file's line ends
  const std::string g = h.dir.Write("b.ini", "; keep\n[Sec]\nk=v\n");
  h.RunLine("iniaddsection,1," + g + ",sec");
  EXPECT_EQ(h.dir.Read("b.ini"), "; keep\n[Sec]\nk=v\n");
  EXPECT_EQ(h.view.Texts().back(),
            "1|Sucessfully created section in file: \"" + g + "\" section: \"sec\"");
}

// Blanks around a section name are not part of it, as the header reads back:
// every lookup finds "[ B ]" for " B " and for "b".
TEST(IniAddSectionTest, BlanksAroundTheNameFindTheSectionAsItReads) {
  ScriptHarness h;
  const std::string f = h.dir.Write("a.ini", "[ B ]\nk=v\n");
  h.RunLine("iniaddsection,1," + f + ",\" B \"");
  h.RunLine("iniaddsection,1," + f + ",\" b \"");
  EXPECT_EQ(h.dir.Read("a.ini"), "[ B ]\nk=v\n");
  EXPECT_EQ(h.view.Texts().back(),
            "1|Sucessfully created section in file: \"" + f + "\" section: \" b \"");
  h.RunLine("iniwritekey,1," + f + ",\" b \",x,1");
  h.RunLine("iniwritekey,1," + f + ",\"B \",x,2");
  EXPECT_EQ(h.dir.Read("a.ini"), "[ B ]\nk=v\nx=2\n");
  h.RunLine("inideletesection,1," + f + ",\" B\"");
  EXPECT_EQ(h.dir.Read("a.ini"), "");
}

TEST(IniAddSectionTest, AFileThatCannotBeCreatedFails) {
  ScriptHarness h;
  const std::string f = h.dir.Path("no/folder/a.ini");
  h.RunLine("iniaddsection,1," + f + ",s");
  EXPECT_EQ(h.view.Texts(), Texts{"0|IniAddSection - Failed to find file: \"" + f + "\""});
}

TEST(IniAddSectionTest, AFileHoldingANulByteFailsAndStaysAsItWas) {
  ScriptHarness h;
  // UTF-16 text without its byte order mark: an 8-bit header would corrupt it.
  const std::string utf16(std::string("[\0A\0]\0\r\0\n\0", 10));
  const std::string f = h.dir.Write("u.ini", utf16);
  h.RunLine("iniaddsection,1," + f + ",B");
  EXPECT_EQ(h.dir.Read("u.ini"), utf16);
  EXPECT_EQ(h.view.Texts(), Texts{"0|IniAddSection - Failed to find file: \"" + f + "\""});
  EXPECT_EQ(h.view.lines[0].reason,
            "the file holds a NUL byte: it is left as it is rather than cut there");
}

TEST(IniDeleteSectionTest, AnAbsentSectionSucceedsAndChangesNoByte) {
  ScriptHarness h;
  const std::string f = h.dir.Write("a.ini", kCommented);
  h.RunLine("inideletesection,1," + f + ",zzz");
  EXPECT_EQ(h.dir.Read("a.ini"), kCommented);
  h.RunLine("inideletesection,1," + f + ",MAIN");
  EXPECT_EQ(h.dir.Read("a.ini"), "; top comment\r\n[other]\nx = 1");
  EXPECT_EQ(h.view.Texts(),
            (Texts{"1|Successfully deleted INI section in file:\"" + f + "\" Section: \"zzz\"",
                   "1|Successfully deleted INI section in file:\"" + f + "\" Section: \"MAIN\""}));
}

TEST(IniDeleteSectionTest, ASectionBehindAnEmptyHeaderOfItsNameIsDeletedToo) {
  ScriptHarness h;
  const std::string f = h.dir.Write("a.ini", "[A]\r\n[A]\r\nk=2\r\n");
  h.RunLine("inideletesection,1," + f + ",a");
  EXPECT_EQ(h.dir.Read("a.ini"), "[A]\r\n");
  EXPECT_EQ(h.view.Texts(),
            Texts{"1|Successfully deleted INI section in file:\"" + f + "\" Section: \"a\""});
}

TEST(IniDeleteSectionTest, ElevenSectionsLeaveOneAndFail) {
  ScriptHarness h;
  std::string text;
  for (int i = 0; i < 11; ++i) text += "[s]\r\nk" + std::to_string(i) + "=v\r\n";
  const std::string f = h.dir.Write("a.ini", text);
  h.RunLine("inideletesection,1," + f + ",s");
  EXPECT_EQ(h.dir.Read("a.ini"), "[s]\r\nk10=v\r\n");
  const std::string missing = h.dir.Path("none.ini");
  h.RunLine("inideletesection,1," + missing + ",s");
  EXPECT_EQ(h.view.Texts(),
            (Texts{"0|Failed to delete INI section in file:\"" + f + "\" Section: \"s\"",
                   "0|Failed to delete INI section in file:\"" + missing + "\" Section: \"s\""}));
}

TEST(IniDeleteKeyTest, LogsWithoutTheSectionAndFailsOnlyForAMissingFile) {
  ScriptHarness h;
  const std::string f = h.dir.Write("a.ini", "[s]\r\nk=1\r\nj=2\r\n");
  h.RunLine("inideletekey,1," + f + ",S,K");
  h.RunLine("inideletekey,1," + f + ",nosection,k");
  EXPECT_EQ(h.dir.Read("a.ini"), "[s]\r\nj=2\r\n");
  const std::string missing = h.dir.Path("none.ini");
  h.RunLine("inideletekey,1," + missing + ",s,k");
  EXPECT_EQ(h.view.Texts(),
            (Texts{"1|Successfully deleted INI key in \"" + f + "\" key: \"K\"",
                   "1|Successfully deleted INI key in \"" + f + "\" key: \"k\"",
                   "0|INIDeleteKey - Failed to write INI file: \"" + missing + "\""}));
}

TEST(IniCommandsTest, AMissingFieldEndsTheRunBeforeTheFileIsTouched) {
  ScriptHarness h;
  const std::string f = h.dir.Write("a.ini", kCommented);
  try {
    h.RunLine("inideletekey,1," + f + ",s");
    FAIL() << "no error";
  } catch (const ScriptError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (4)");
  }
  EXPECT_EQ(h.dir.Read("a.ini"), kCommented);
  EXPECT_TRUE(h.view.lines.empty());
}

TEST(IniCommandsTest, AReadOnlyFileEndsTheRunAndStaysAsItWas) {
  ScriptHarness h;
  const std::string f = h.dir.Write("ro.ini", kCommented);
  ASSERT_EQ(::chmod(f.c_str(), 0444), 0);
  for (const std::string& line :
       {"iniwritekey,1," + f + ",Main,key1,z", "iniaddsection,1," + f + ",new"}) {
    try {
      h.RunLine(line);
      ADD_FAILURE() << "no error from: " << line;
    } catch (const ScriptError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + f + "\". Permission denied");
    }
  }
  EXPECT_EQ(h.dir.Read("ro.ini"), kCommented);
  EXPECT_TRUE(h.view.lines.empty());
}

}  // namespace
}  // namespace pelvar
