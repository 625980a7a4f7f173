#include "app/embedded_folders.h"

#include <gtest/gtest.h>

#include "archive/embedded_files.h"
#include "engine/ini_file.h"
#include "engine/ini_model.h"
#include "support/archive_result.h"
#include "support/test_support.h"

namespace pelvar::app {
namespace {

using testing::Ok;
using testing::TempDir;

std::vector<std::string> Folders(const std::string& script) {
  return EncodedFolderNames(IniModel::Load(script));
}

TEST(EmbeddedFoldersTest, NewFoldersGoInAfterTheFirst) {
  TempDir dir;
  const std::string script =
      dir.Write("s.script", "; kept, as every other line\n[main]\ntitle=t\n");
  EXPECT_TRUE(AddEncodedFolder(script, "A"));
  EXPECT_TRUE(AddEncodedFolder(script, "B"));
  EXPECT_TRUE(AddEncodedFolder(script, "C"));
  EXPECT_FALSE(AddEncodedFolder(script, "b"));
  EXPECT_EQ(Folders(script), (std::vector<std::string>{"A", "C", "B"}));
  EXPECT_EQ(dir.Read("s.script"),
            "; kept, as every other line\n[main]\ntitle=t\n[EncodedFolders]\nA\nC\nB\n");
}

TEST(EmbeddedFoldersTest, EnsureScriptSectionAppendsAHeaderAsText) {
  TempDir dir;
  const std::string script = dir.Write("s.script", "; comment\n[main]\nt = 1\n[Tools]\n");
  EXPECT_TRUE(EnsureScriptSection(script, "Tools"));
  // The header is added in the file's line ends; nothing else changes.
  EXPECT_EQ(dir.Read("s.script"), "; comment\n[main]\nt = 1\n[Tools]\n[Tools]\n");
  EXPECT_TRUE(EnsureScriptSection(dir.Path("new.script"), "Tools"));
  EXPECT_EQ(dir.Read("new.script"), "[Tools]\r\n");
  EXPECT_FALSE(EnsureScriptSection(dir.Path("no/such/folder.script"), "Tools"));
}

TEST(EmbeddedFoldersTest, RowsOfAFolderIndex) {
  const IniModel model = IniModel::Parse(
      "[tools]\nsetup.exe=8200,10938\nplain=17\nodd=1,2,3\nnot a key\n[Other]\nx=1,2\n");
  const std::vector<EmbeddedFileRow> rows = EmbeddedFileRows(model, "Tools");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].name, "setup.exe");
  EXPECT_EQ(rows[0].size, "8200");
  EXPECT_EQ(rows[0].encoded, "10938");
  EXPECT_EQ(rows[1].size, "17");
  EXPECT_EQ(rows[1].encoded, "");
  EXPECT_EQ(rows[2].encoded, "2");
  EXPECT_TRUE(EmbeddedFileRows(model, "Missing").empty());
}

TEST(EmbeddedFoldersTest, RemovingAFolderTakesItsFilesAndReordersTheRest) {
  TempDir dir;
  const std::string script = dir.Write("s.script", "[main]\ntitle=t\n");
  const std::string a = dir.Write("a.txt", "alpha");
  const std::string b = dir.Write("b.txt", "beta");
  for (const char* folder : {"A", "B", "C", "D"}) AddEncodedFolder(script, folder);
  ASSERT_EQ(Folders(script), (std::vector<std::string>{"A", "D", "C", "B"}));
  ASSERT_TRUE(Ok(archive::EmbedFile(a, script, "C")));
  ASSERT_TRUE(Ok(archive::EmbedFile(b, script, "C")));
  ASSERT_TRUE(Ok(archive::EmbedFile(a, script, "B")));

  RemoveEncodedFolder(script, "C", {"A", "D", "B"});
  // The first stays first, the others follow in reverse.
  EXPECT_EQ(Folders(script), (std::vector<std::string>{"A", "B", "D"}));
  EXPECT_FALSE(IniSectionExists(script, "C"));
  EXPECT_FALSE(IniSectionExists(script, "EncodedFile-C-a.txt"));
  EXPECT_FALSE(IniSectionExists(script, "EncodedFile-C-b.txt"));
  EXPECT_TRUE(IniSectionExists(script, "EncodedFile-B-a.txt"));
  EXPECT_EQ(EmbeddedFileRows(IniModel::Load(script), "B").size(), 1u);
}

TEST(EmbeddedFoldersTest, RemovingTheLastFolderLeavesAnEmptyHeader) {
  TempDir dir;
  const std::string script = dir.Write("s.script", "[main]\r\ntitle=t\r\n");
  const std::string a = dir.Write("a.txt", "alpha");
  AddEncodedFolder(script, "Only");
  ASSERT_TRUE(Ok(archive::EmbedFile(a, script, "Only")));
  RemoveEncodedFolder(script, "Only", {});
  // The empty line before the first embedded section stays with the list.
  EXPECT_EQ(dir.Read("s.script"), "[main]\r\ntitle=t\r\n[EncodedFolders]\r\n\r\n");
  EXPECT_TRUE(Folders(script).empty());
  // A new folder after that lands in the header that stayed.
  EXPECT_TRUE(AddEncodedFolder(script, "Next"));
  EXPECT_EQ(Folders(script), (std::vector<std::string>{"Next"}));
}

}  // namespace
}  // namespace pelvar::app
