#include "engine/ini_text.h"

#include <gtest/gtest.h>

#include <random>

#include "engine/ini_file.h"
#include "engine/ini_model.h"
#include "engine/script_error.h"
#include "platform/memory_file_system.h"
#include "platform/registry_text.h"

namespace pelvar {
namespace {

using Lines = std::vector<std::string>;

std::string Edited(const std::string& bytes, const std::function<void(IniText&)>& edit) {
  IniText text = IniText::Parse(bytes);
  edit(text);
  return text.Bytes();
}

TEST(IniTextTest, LinesAreFoundByTheLoadRules) {
  // A UTF-8 mark, a lone CR as a line end, blanks inside the brackets, a
  // line that begins with "[" without ending with "]", and text above the
  // first header that looks like a key.
  const std::string file = "\xEF\xBB\xBFk=top\r[ Main ]\r[note\r  K = 1 \r";
  EXPECT_EQ(Edited(file, [](IniText& t) { t.WriteKey("main", "k", "2"); }),
            "\xEF\xBB\xBFk=top\r[ Main ]\r[note\rk=2\r");
  EXPECT_EQ(Edited(file, [](IniText& t) { t.WriteKey("main", "j", "3"); }),
            "\xEF\xBB\xBFk=top\r[ Main ]\r[note\r  K = 1 \rj=3\r");
  IniText text = IniText::Parse(file);
  EXPECT_TRUE(text.SectionExists("MAIN"));
  EXPECT_FALSE(text.changed());
}

TEST(IniTextTest, RenamedSectionsChangeOnlyTheirHeaders) {
  const std::string file = "; top\r\n[ a ]\r\nk=1\n[b]\r\n[A]\rx";
  EXPECT_EQ(Edited(file,
                   [](IniText& t) {
                     t.RenameSections([](std::string_view name) {
                       return name == "a" || name == "A" ? std::string("Tools") : std::string();
                     });
                   }),
            "; top\r\n[Tools]\r\nk=1\n[b]\r\n[Tools]\rx");
  IniText text = IniText::Parse(file);
  text.RenameSections([](std::string_view) { return std::string(); });
  EXPECT_FALSE(text.changed());
}

TEST(IniTextTest, AnUnchangedValueChangesNoByte) {
  IniText text = IniText::Parse("[s]\nk=v\n");
  text.WriteKey("S", "k", "v");
  text.DeleteKey("s", "none");
  text.DeleteKey("none", "k");
  EXPECT_TRUE(text.EraseSection("other"));
  EXPECT_FALSE(text.changed());
}

TEST(IniTextTest, ANewSectionFollowsOneEmptyLine) {
  // None is added when the file ends with an empty line, or is empty.
  EXPECT_EQ(Edited("[a]\nk=1\n\n", [](IniText& t) { t.WriteKey("b", "x", "1"); }),
            "[a]\nk=1\n\n[b]\nx=1\n");
  EXPECT_EQ(Edited("[a]\r\nk=1\r\n", [](IniText& t) { t.WriteKey("b", "x", "1"); }),
            "[a]\r\nk=1\r\n\r\n[b]\r\nx=1\r\n");
  EXPECT_EQ(Edited("", [](IniText& t) { t.WriteKey("b", "x", "1"); }), "[b]\r\nx=1\r\n");
  EXPECT_EQ(Edited("", [](IniText& t) { t.AppendHeader("b"); }), "[b]\r\n");
}

TEST(IniTextTest, AKeyOfASectionWithoutLinesGoesDirectlyBelowItsHeader) {
  EXPECT_EQ(Edited("[a]\n; c\n\n[b]\n", [](IniText& t) { t.WriteKey("A", "k", "v"); }),
            "[a]\nk=v\n; c\n\n[b]\n");
  EXPECT_EQ(Edited("[a]", [](IniText& t) { t.WriteKey("a", "k", "v"); }), "[a]\r\nk=v");
}

TEST(IniTextTest, SetSectionLinesTouchesOnlyTheLinesThatDiffer) {
  const std::string file = "[p]\r\n; one\r\na=1\r\n\r\nb = 2\r\n; two\r\nc=3\r\n[q]\r\n";
  // One line changed: its neighbours, comments and blanks stay.
  EXPECT_EQ(Edited(file,
                   [](IniText& t) {
                     t.SetSectionLines("P", {"a=1", "b=9", "c=3"});
                   }),
            "[p]\r\n; one\r\na=1\r\n\r\nb=9\r\n; two\r\nc=3\r\n[q]\r\n");
  // "b = 2" reads as "b=2": equal, so untouched.
  EXPECT_EQ(Edited(file, [](IniText& t) { t.SetSectionLines("p", {"a=1", "b=2", "c=3"}); }), file);
  EXPECT_EQ(Edited(file,
                   [](IniText& t) {
                     t.SetSectionLines("p", {"a=1", "c=3"});
                   }),
            "[p]\r\n; one\r\na=1\r\n\r\n; two\r\nc=3\r\n[q]\r\n");
  EXPECT_EQ(Edited(file,
                   [](IniText& t) {
                     t.SetSectionLines("p", {"a=1", "b = 2", "x", "c=3"});
                   }),
            "[p]\r\n; one\r\na=1\r\n\r\nb = 2\r\nx\r\n; two\r\nc=3\r\n[q]\r\n");
  EXPECT_EQ(Edited(file,
                   [](IniText& t) {
                     t.SetSectionLines("p", {"z", "a=1", "b=2", "c=3"});
                   }),
            "[p]\r\n; one\r\nz\r\na=1\r\n\r\nb = 2\r\n; two\r\nc=3\r\n[q]\r\n");
  EXPECT_EQ(Edited(file, [](IniText& t) { t.SetSectionLines("p", {}); }),
            "[p]\r\n; one\r\n\r\n; two\r\n[q]\r\n");
  EXPECT_EQ(Edited(file,
                   [](IniText& t) {
                     t.SetSectionLines("q", {"k=v", ""});
                   }),
            file + "k=v\r\n");
  EXPECT_EQ(Edited(file, [](IniText& t) { t.SetSectionLines("new", {"k=v"}); }),
            file + "\r\n[new]\r\nk=v\r\n");
}

TEST(IniTextTest, SetSectionLinesOverEverySectionOfTheName) {
  const std::string file = "[p]\na\n[x]\ny\n[P]\nb\n";
  EXPECT_EQ(Edited(file,
                   [](IniText& t) {
                     t.SetSectionLines("p", {"a", "c"}, true);
                   }),
            "[p]\na\n[x]\ny\n[P]\nc\n");
  EXPECT_EQ(Edited(file,
                   [](IniText& t) {
                     t.SetSectionLines("p", {"a", "b", "c"}, true);
                   }),
            "[p]\na\n[x]\ny\n[P]\nb\nc\n");
  // Only the first: b is not among its lines, so it is added there.
  EXPECT_EQ(Edited(file,
                   [](IniText& t) {
                     t.SetSectionLines("p", {"a", "b"});
                   }),
            "[p]\na\nb\n[x]\ny\n[P]\nb\n");
}

TEST(IniTextTest, Utf16TextStaysUtf16AndAnUnfaithfulOneIsRefused) {
  const std::string wide = "\xFF\xFE" + platform::TextToUtf16Le("; c\r\n[S]\r\nk = \xC3\xA9\r\n");
  EXPECT_EQ(Edited(wide, [](IniText& t) { t.WriteKey("s", "j", "\xC3\xA0"); }),
            "\xFF\xFE" + platform::TextToUtf16Le("; c\r\n[S]\r\nk = \xC3\xA9\r\nj=\xC3\xA0\r\n"));
  // An unpaired surrogate would come back as U+FFFD.
  const std::string broken = "\xFF\xFE" + std::string("[\0S\0]\0\n\0\x00\xD8\n\0", 12);
  EXPECT_FALSE(IniText::Parse(broken).problem().empty());
  EXPECT_FALSE(IniText::Parse(std::string("[s]\nk=\0\n", 8)).problem().empty());
  EXPECT_TRUE(IniText::Parse(wide).problem().empty());
}

// Each edit reads back in the model as the model's own write would have it.
TEST(IniTextTest, EditsReadBackAsTheModelsWrites) {
  const std::string file = "x=0\n[A]\n k = 1\n;c\nj=2\n[b]\nm=1\n[a]\nk=3\n";
  IniModel model = IniModel::Parse(file);
  IniText text = IniText::Parse(file);
  model.WriteKey("a", "K", "5");
  text.WriteKey("a", "K", "5");
  model.WriteKey("a", "new", "6");
  text.WriteKey("a", "new", "6");
  model.DeleteKey("A", "j");
  text.DeleteKey("A", "j");
  model.WriteKey("c", "z", "7");
  text.WriteKey("c", "z", "7");
  model.EraseSection("b");
  EXPECT_TRUE(text.EraseSection("b"));
  EXPECT_EQ(IniModel::Parse(text.Bytes()).Render(), model.Render());
}

TEST(EditIniFileTest, WritesOnlyWhenAByteChangesAndNeverCreatesTheFile) {
  platform::MemoryFileSystem files;
  files.AddFolder("/d");
  files.AddFile("/d/a.ini", "[s]\nk=v\n");
  IniFileEdit edit = EditIniFile(files, "/d/a.ini", [](IniText& t) { t.WriteKey("s", "k", "v"); });
  EXPECT_TRUE(edit.exists);
  EXPECT_FALSE(edit.written);
  edit = EditIniFile(files, "/d/a.ini", [](IniText& t) { t.WriteKey("s", "k", "w"); });
  EXPECT_TRUE(edit.written);
  EXPECT_EQ(files.Content("/d/a.ini"), "[s]\nk=w\n");
  edit = EditIniFile(files, "/d/none.ini", [](IniText& t) { t.WriteKey("s", "k", "w"); });
  EXPECT_FALSE(edit.exists);
  EXPECT_EQ(files.Names("/d"), (Lines{"a.ini"}));
  files.AddFile("/d/nul.ini", std::string("[s]\n\0", 5));
  edit = EditIniFile(files, "/d/nul.ini", [](IniText& t) { t.WriteKey("s", "k", "w"); });
  EXPECT_TRUE(edit.exists);
  EXPECT_FALSE(edit.written);
  EXPECT_FALSE(edit.problem.empty());
  EXPECT_EQ(files.Content("/d/nul.ini"), std::string("[s]\n\0", 5));
}

}  // namespace
}  // namespace pelvar

namespace pelvar {
namespace {

// Random INI-like texts and random edits: the edited text always reads back
// as the model reads after the model's own write, whatever the comments,
// blanks, duplicate names and line ends around the lines edited.
TEST(IniTextTest, RandomEditsReadBackAsTheModelsWrites) {
  const std::vector<std::string> pieces = {
      "[a]", "[A]", " [ a ] ", "[b]", "[c d]", "k=1", " K = 2 ",          "j=3", "x", "; c",
      "",    "  ",  "k=",      "=v",  "[x",    "y]",  "text = with = two"};
  const std::vector<std::string> ends = {"\r\n", "\n", "\r"};
  const std::vector<std::string> sections = {"a", "A", "b", "c d", "new"};
  const std::vector<std::string> keys = {"k", "K", "j", "x", "n"};
  std::mt19937 random(23);
  auto pick = [&random](const std::vector<std::string>& from) {
    return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(random)];
  };
  for (int round = 0; round < 2000; ++round) {
    std::string file;
    const int count = std::uniform_int_distribution<int>(0, 12)(random);
    for (int i = 0; i < count; ++i) file += pick(pieces) + pick(ends);
    if (!file.empty() && random() % 4 == 0) file.pop_back();  // no final line end
    IniModel model = IniModel::Parse(file);
    IniText text = IniText::Parse(file);
    const std::string section = pick(sections);
    const std::string key = pick(keys);
    switch (random() % 5) {
      case 0:
        model.WriteKey(section, key, "v");
        text.WriteKey(section, key, "v");
        break;
      case 1:
        model.DeleteKey(section, key);
        text.DeleteKey(section, key);
        break;
      case 2:
        EXPECT_EQ(text.EraseSection(section), EraseIniSection(model, section)) << file;
        break;
      case 3:
        EXPECT_EQ(text.InsertTextLine(section, "t"), InsertSectionLine(model, section, "t"))
            << file;
        break;
      case 4: {
        const std::vector<std::string> lines = {"k=9", pick(keys) + "=1", "j=3"};
        int s = model.FindSection(section);
        if (s < 0) s = model.AppendSection(section);
        model.SetSectionLines(s, lines);
        text.SetSectionLines(section, lines);
        break;
      }
    }
    EXPECT_EQ(IniModel::Parse(text.Bytes()).Render(), model.Render()) << "file: " << file;
  }
}

}  // namespace
}  // namespace pelvar
