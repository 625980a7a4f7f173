#include "app/script_catalogue.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/script_error.h"
#include "support/test_support.h"

namespace pelvar::app {
namespace {

using testing::TempDir;

std::string Script(const std::string& title, const std::string& level,
                   const std::string& extra = "") {
  return "[main]\ntitle=" + title + "\nlevel=" + level + "\n" + extra + "[process]\necho,1,x\n";
}

std::vector<std::string> Titles(const std::vector<ScriptEntry>& entries) {
  std::vector<std::string> out;
  for (const auto& e : entries) out.push_back(e.title);
  return out;
}

TEST(ScriptCatalogueTest, OrdersByLevelKeepingNameOrderWithinALevel) {
  TempDir dir;
  dir.Write("s/a.script", Script("A5", "5"));
  dir.Write("s/b.script", Script("B1", "1"));
  dir.Write("s/c.script", Script("C3", "3"));
  dir.Write("s/d.script", Script("D3", "3"));
  dir.Write("s/sub/a.script", Script("SubA3", "3"));
  dir.Write("s/e.script", Script("E7", "7"));
  dir.Write("s/f.script", Script("F0", "0"));
  dir.Write("s/g.script", Script("Gneg", "-2"));
  dir.Write("s/h.script", Script("Hhex", "0x2"));
  dir.Write("s/i.script", Script("Idefault", "three"));
  dir.Write("s/notes.txt", "not a script");
  const auto entries = ListScripts(dir.Path("s"));
  ASSERT_TRUE(entries.has_value());
  EXPECT_EQ(Titles(*entries),
            (std::vector<std::string>{"B1", "Hhex", "C3", "D3", "Idefault", "SubA3", "A5"}));
}

TEST(ScriptCatalogueTest, ReadsHeaderKeysWithDefaults) {
  TempDir dir;
  const std::string bare = dir.Write("s/bare.script", "[process]\necho,1,x\n");
  const std::string full =
      dir.Write("s/full.script",
                "[Main]\nTitle=Full\ndescription=Does things\nauthor=Me\ncredits=You\n"
                "contact=https://example.org\nselected=TRUE\n");
  ScriptEntry e = ReadScriptEntry(bare);
  EXPECT_EQ(e.title, bare);
  EXPECT_EQ(e.level, 3);
  EXPECT_FALSE(e.checked);
  EXPECT_EQ(e.kind, "script");
  EXPECT_EQ(e.contact, "");
  e = ReadScriptEntry(full);
  EXPECT_EQ(e.title, "Full");
  EXPECT_EQ(e.description, "Does things");
  EXPECT_EQ(e.author, "Me");
  EXPECT_EQ(e.credits, "You");
  EXPECT_EQ(e.contact, "https://example.org");
  EXPECT_TRUE(e.checked);
}

TEST(ScriptCatalogueTest, LargeScriptIsReadToItsEnd) {
  TempDir dir;
  std::string text = "[process]\n";
  while (text.size() < 100'000) text += "echo,1,\"a line that makes the script long\"\n";
  text += "[main]\ntitle=Header at the end\nlevel=2\n";
  dir.Write("s/big.script", text);
  const auto entries = ListScripts(dir.Path("s"));
  ASSERT_TRUE(entries.has_value());
  ASSERT_EQ(entries->size(), 1u);
  EXPECT_EQ((*entries)[0].title, "Header at the end");
  EXPECT_EQ((*entries)[0].level, 2);
}

// A FIFO (or device) named *.script is passed over without waiting on it.
TEST(ScriptCatalogueTest, FifoNamedLikeAScriptIsLeftOut) {
  TempDir dir;
  dir.Write("s/a.script", Script("A", "3"));
  ASSERT_EQ(::mkfifo(dir.Path("s/b.script").c_str(), 0644), 0);
  const auto entries = ListScripts(dir.Path("s"));
  ASSERT_TRUE(entries.has_value());
  EXPECT_EQ(Titles(*entries), std::vector<std::string>{"A"});
  EXPECT_EQ(ReadScriptEntry(dir.Path("s/b.script")).title, dir.Path("s/b.script"));
}

TEST(ScriptCatalogueTest, MissingFolderKeepsTheListAndEmptyFolderGivesNone) {
  TempDir dir;
  EXPECT_FALSE(ListScripts(dir.Path("nope")).has_value());
  dir.Write("empty/readme.txt", "x");
  const auto entries = ListScripts(dir.Path("empty"));
  ASSERT_TRUE(entries.has_value());
  EXPECT_TRUE(entries->empty());
}

TEST(ScriptCatalogueTest, FolderListOffersFirstLevelFoldersWithoutADot) {
  TempDir dir;
  dir.Write("Scripts/a.script", "");
  dir.Write("Scripts/inner/b.script", "");
  dir.Write("more/x.txt", "");
  dir.Write("with.dot/x.txt", "");
  dir.Write("plainfile", "");
  dir.Write(".hidden/x", "");
  EXPECT_EQ(ListScriptFolders(dir.path()), (std::vector<std::string>{"more", "Scripts"}));
  EXPECT_EQ(ScriptFolderPath(dir.path(), "more"), dir.path() + "/more/");
}

TEST(ScriptCatalogueTest, CheckMarksChangeOnlyTheirLineInBothForms) {
  TempDir dir;
  const std::string original =
      "; comment\n[Main]\ntitle = A\n  SELECTED = false  \n\n; tail\n[process]\necho,1,x";
  const std::string path = dir.Write("a.script", original);
  EXPECT_TRUE(WriteScriptChecked(path, true, CheckWriteForm::kClick));
  EXPECT_EQ(dir.Read("a.script"),
            "; comment\n[Main]\ntitle = A\nselected=true\n\n; tail\n[process]\necho,1,x");
  EXPECT_TRUE(ReadScriptEntry(path).checked);
  EXPECT_TRUE(WriteScriptChecked(path, false, CheckWriteForm::kMenu));
  EXPECT_EQ(dir.Read("a.script"),
            "; comment\n[Main]\ntitle = A\nSelected=False\n\n; tail\n[process]\necho,1,x");
  EXPECT_FALSE(ReadScriptEntry(path).checked);
}

TEST(ScriptCatalogueTest, AMissingCheckMarkIsAddedToMainInTheFilesLineEnds) {
  TempDir dir;
  const std::string path =
      dir.Write("a.script", "[main]\r\ntitle=A\r\n\r\n; c\r\n[process]\r\necho,1,x\r\n");
  EXPECT_TRUE(WriteScriptChecked(path, true, CheckWriteForm::kClick));
  EXPECT_EQ(dir.Read("a.script"),
            "[main]\r\ntitle=A\r\nselected=true\r\n\r\n; c\r\n[process]\r\necho,1,x\r\n");
  const std::string bare = dir.Write("b.script", "[process]\necho,1,x");
  EXPECT_TRUE(WriteScriptChecked(bare, true, CheckWriteForm::kClick));
  // A new section follows one empty line; the file still ends without a
  // line end.
  EXPECT_EQ(dir.Read("b.script"), "[process]\necho,1,x\n\n[main]\nselected=true");
  EXPECT_TRUE(ReadScriptEntry(bare).checked);
}

TEST(ScriptCatalogueTest, CheckMarkOfAMissingFileWritesNothing) {
  TempDir dir;
  EXPECT_FALSE(WriteScriptChecked(dir.Path("gone.script"), true, CheckWriteForm::kClick));
  EXPECT_FALSE(dir.Exists("gone.script"));
}

TEST(ScriptCatalogueTest, CheckMarkIntoAReadOnlyFolderRaises) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
  TempDir dir;
  const std::string path = dir.Write("ro/a.script", "[main]\ntitle=A\n");
  ::chmod(dir.Path("ro").c_str(), 0555);
  EXPECT_THROW(WriteScriptChecked(path, true, CheckWriteForm::kClick), ScriptError);
}

}  // namespace
}  // namespace pelvar::app
