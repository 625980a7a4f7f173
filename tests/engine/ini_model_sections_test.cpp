// Loading only some sections gives what a full load gives for them.
#include <gtest/gtest.h>

#include <random>

#include "engine/ini_model.h"
#include "engine/text.h"
#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::TempDir;

// The full load with the other sections removed.
std::string Expected(const std::string& path, const IniModel::SectionFilter& keep) {
  IniModel full = IniModel::Load(path);
  IniModel kept;
  kept.set_has_bom(full.has_bom());
  for (const auto& s : full.sections()) {
    if (!keep(s.name)) continue;
    const int i = kept.AppendSection(s.name);
    kept.SetSectionLines(i, s.lines);
  }
  return kept.Render();
}

// The full load's first section of the name alone.
std::string ExpectedFirst(const std::string& path, std::string_view name) {
  IniModel full = IniModel::Load(path);
  IniModel kept;
  kept.set_has_bom(full.has_bom());
  const int s = full.FindSection(name);
  if (s >= 0) {
    const auto& section = full.sections()[static_cast<size_t>(s)];
    kept.SetSectionLines(kept.AppendSection(section.name), section.lines);
  }
  return kept.Render();
}

TEST(IniModelSectionsTest, TrickyLinesAroundHeaders) {
  TempDir dir;
  const auto keep = [](std::string_view n) { return IEquals(n, "want"); };
  const std::vector<std::string> texts = {
      "\xEF\xBB\xBF[want]\r\na=1\r\n[skip]\r\nb=2\r\n",
      "[skip]\r\n[want\r\n ;[want]\r\nx [want]\r\n \t[ want ] \r\nk = v\r\n[other]\r\nz\r\n",
      "[skip]\rline\r\r[want]\rcr=only\r[WANT]\nsecond=1\n",
      "[skip]\r\nab\0[want]\r\nhidden=1\r\n",
      "[want]\r\nkept=1\r\n\0[want]\r\nhidden=1\r\n",
      "text before\r\n[want]\r\n[skip]\r\n[want]\r\nagain=1",
  };
  for (const auto& t : texts) {
    const std::string path = dir.Write("t.ini", t);
    EXPECT_EQ(IniModel::LoadSections(path, keep).Render(), Expected(path, keep)) << t;
    EXPECT_EQ(IniModel::LoadFirstSection(path, "want").Render(), ExpectedFirst(path, "want")) << t;
  }
  EXPECT_TRUE(IniModel::LoadSections(dir.Path("none.ini"), keep).sections().empty());
}

TEST(IniModelSectionsTest, RandomTextsAcrossReadChunks) {
  TempDir dir;
  std::mt19937 gen(42);
  const std::vector<std::string> pieces = {
      "[want]",
      "[skip]",
      "[Want]",
      "[want",
      "x=1",
      " [want] ",
      ";c",
      "\r\n",
      "\r",
      "\n",
      "\r\n",
      "\r\n",
      "k = v",
      "\t",
      "[a]b]",
      "[]",
      std::string(1, '\0'),
      "=",
  };
  const auto keep = [](std::string_view n) { return IEquals(n, "want") || n.empty(); };
  for (int round = 0; round < 300; ++round) {
    std::string text;
    // Some texts run past the read chunks with a long skipped line.
    if (round % 50 == 0) text = "[skip]\r\n" + std::string((1 << 20) - 9 - round / 50, 'A');
    const int count = static_cast<int>(gen() % 60);
    for (int i = 0; i < count; ++i) {
      const auto& p = pieces[gen() % pieces.size()];
      if (p[0] == '\0' && gen() % 4 != 0) continue;
      text += p;
    }
    const std::string path = dir.Write("r.ini", text);
    ASSERT_EQ(IniModel::LoadSections(path, keep).Render(), Expected(path, keep)) << round;
    ASSERT_EQ(IniModel::LoadFirstSection(path, "WANT").Render(), ExpectedFirst(path, "want"))
        << round;
  }
}

// Reading stops at the header after the section.
TEST(IniModelSectionsTest, FirstSectionStopsAtTheNextHeader) {
  TempDir dir;
  const std::string path =
      dir.Write("s.script", "[main]\r\ntitle=T\r\n[EncodedFile-a-b]\r\n0=xyz\r\n[main]\r\nx=1\r\n");
  const IniModel model = IniModel::LoadFirstSection(path, "Main");
  ASSERT_EQ(model.sections().size(), 1u);
  EXPECT_EQ(model.ReadString("main", "title"), "T");
  EXPECT_TRUE(IniModel::LoadFirstSection(dir.Path("none.ini"), "main").sections().empty());
}

}  // namespace
}  // namespace pelvar
