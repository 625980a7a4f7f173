#include "engine/ini_model.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/script_error.h"
#include "platform/posix_file_system.h"
#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::TempDir;

TEST(IniModelTest, LoadRulesNormaliseLines) {
  const IniModel m = IniModel::Parse(
      "before=dropped\r\n"
      "; comment\n"
      "  [  Main  ]  \r"
      "  key  =  value = x  \n"
      "\n"
      "\t;indented comment\n"
      "text line\r\n"
      "[open bracket\n"
      "=empty key\n");
  ASSERT_EQ(m.sections().size(), 1u);
  EXPECT_EQ(m.sections()[0].name, "Main");
  EXPECT_EQ(m.sections()[0].lines, (std::vector<std::string>{"key=value = x", "text line",
                                                             "[open bracket", "=empty key"}));
}

// A scan numbers each line as a load does, whatever the line ends and the
// lines it drops.
TEST(IniModelTest, ScanNumbersLinesAsLoadDoes) {
  TempDir dir;
  const std::string path = dir.Write(
      "n.ini", "\xEF\xBB\xBFtop=1\r\n[a]\r\n; note\n\nk = v\r[b]\n\n x\r\n\r\ny=2\n[c]\nz");
  std::vector<std::string> scanned;
  std::vector<std::string> headers;
  IniModel::ScanNumbered(
      platform::ThreadFileSystem(), path, [&](bool header, std::string_view text, uint32_t number) {
        (header ? headers : scanned).push_back(std::string(text) + "@" + std::to_string(number));
        return true;
      });
  std::vector<std::string> loaded;
  const IniModel model = IniModel::Load(path);
  for (const auto& section : model.sections()) {
    for (size_t i = 0; i < section.lines.size(); ++i) {
      loaded.push_back(section.lines[i] + "@" + std::to_string(section.LineNumber(i)));
    }
  }
  EXPECT_EQ(scanned, loaded);
  EXPECT_EQ(scanned.size(), 4u);
  EXPECT_EQ(headers, (std::vector<std::string>{"a@2", "b@6", "c@11"}));
}

TEST(IniModelTest, TextEndsAtNul) {
  const IniModel m = IniModel::Parse(std::string("[a]\nx=1\n\0[b]\ny=2\n", 18));
  ASSERT_EQ(m.sections().size(), 1u);
  EXPECT_EQ(m.sections()[0].lines, std::vector<std::string>{"x=1"});
}

TEST(IniModelTest, DuplicateSectionsStaySeparateAndLookupsTakeTheFirst) {
  IniModel m = IniModel::Parse("[s]\n[S]\nk=2\n");
  ASSERT_EQ(m.sections().size(), 2u);
  EXPECT_FALSE(m.SectionExists("s"));  // the first is an empty header
  EXPECT_EQ(m.FindValue("s", "k"), nullptr);
  m.WriteKey("s", "k", "1");
  EXPECT_EQ(m.sections()[0].lines, std::vector<std::string>{"k=1"});
  EXPECT_EQ(m.sections()[1].lines, std::vector<std::string>{"k=2"});
}

TEST(IniModelTest, KeysMatchIgnoringCaseAndTextLinesNeverMatch) {
  IniModel m = IniModel::Parse("[s]\nKEY\nKey=1\nkey=2\n");
  EXPECT_EQ(m.ReadString("S", "key"), "1");
  m.WriteKey("s", "kEy", "3");
  EXPECT_EQ(m.sections()[0].lines, (std::vector<std::string>{"KEY", "kEy=3", "key=2"}));
  m.DeleteKey("s", "KEY");
  EXPECT_EQ(m.sections()[0].lines, (std::vector<std::string>{"KEY", "key=2"}));
  m.WriteKey("new", "a", "b");
  EXPECT_EQ(m.sections().back().name, "new");
}

TEST(IniModelTest, LargeSectionLookupsUseTheIndexAndSeeWrites) {
  std::string text = "[s]\n";
  for (int i = 0; i < 1000; ++i) text += std::to_string(i) + "=v" + std::to_string(i) + "\n";
  text += "5=duplicate\n";
  IniModel m = IniModel::Parse(text);
  EXPECT_EQ(m.ReadString("s", "999"), "v999");
  EXPECT_EQ(m.ReadString("s", "5"), "v5");
  m.DeleteKey("s", "5");
  EXPECT_EQ(m.ReadString("s", "5"), "duplicate");
  m.WriteKey("s", "abc", "x");
  EXPECT_EQ(m.ReadString("s", "ABC"), "x");
}

TEST(IniModelTest, SaveWritesTheNormalForm) {
  TempDir dir;
  const std::string path = dir.Write("a.ini", "; c\n[one]\n a = 1 \n\n[two]\n");
  IniModel::Load(path).Save(path);
  EXPECT_EQ(dir.Read("a.ini"), "[one]\r\na=1\r\n\r\n[two]\r\n\r\n");
}

TEST(IniModelTest, ByteOrderMarkIsSkippedAndKept) {
  TempDir dir;
  const std::string path = dir.Write("a.ini", "\xEF\xBB\xBF[s]\nk=v\n");
  IniModel m = IniModel::Load(path);
  ASSERT_EQ(m.sections().size(), 1u);
  EXPECT_EQ(m.sections()[0].name, "s");
  m.Save(path);
  EXPECT_EQ(dir.Read("a.ini"), "\xEF\xBB\xBF[s]\r\nk=v\r\n\r\n");
}

TEST(IniModelTest, ChunkedLoadMatchesParseAcrossChunkBoundaries) {
  // Lines long enough that CR LF pairs straddle the 1 MiB read chunks.
  std::string text = "[s]\r\n";
  const std::string value(4093, 'x');
  for (int i = 0; i < 600; ++i) text += std::to_string(i) + "=" + value + (i % 3 ? "\r\n" : "\r");
  TempDir dir;
  const std::string path = dir.Write("big.ini", text);
  const IniModel loaded = IniModel::Load(path);
  const IniModel parsed = IniModel::Parse(text);
  ASSERT_EQ(loaded.sections().size(), 1u);
  EXPECT_EQ(loaded.sections()[0].lines, parsed.sections()[0].lines);
  EXPECT_EQ(loaded.sections()[0].lines.size(), 600u);
}

TEST(IniModelTest, MissingFileIsAnEmptyModel) {
  TempDir dir;
  EXPECT_TRUE(IniModel::Load(dir.Path("none.ini")).sections().empty());
}

TEST(IniModelTest, SaveFailureRaisesAndKeepsTheFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  TempDir dir;
  const std::string path = dir.Write("ro/a.ini", "[s]\nk=v\n");
  ::chmod(dir.Path("ro").c_str(), 0555);
  IniModel m = IniModel::Load(path);
  m.WriteKey("s", "k", "w");
  try {
    m.Save(path);
    FAIL() << "no error";
  } catch (const ScriptError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + path + "\". Permission denied");
  }
  EXPECT_EQ(dir.Read("ro/a.ini"), "[s]\nk=v\n");
}

TEST(IniModelTest, SaveIntoMissingFolderRaisesCannotCreate) {
  TempDir dir;
  IniModel m = IniModel::Parse("[s]\n");
  const std::string path = dir.Path("no/such/a.ini");
  try {
    m.Save(path);
    FAIL() << "no error";
  } catch (const ScriptError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot create file \"" + path + "\". No such file or directory");
  }
}

}  // namespace
}  // namespace pelvar
