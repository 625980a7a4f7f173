// Line numbers of script lines: counted as an editor counts, carried from the
// file through the section reader to the place of an error.
#include <gtest/gtest.h>

#include "engine/dispatcher.h"
#include "engine/ini_file.h"
#include "engine/ini_model.h"
#include "engine/script_context.h"
#include "engine/script_error.h"
#include "platform/posix_file_system.h"
#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::ScriptHarness;
using testing::TempDir;

// Every kind of line end, comments, blank lines, text before the first header
// and a BOM; the lines the model keeps know where they stood.
constexpr const char* kMixed =
    "\xEF\xBB\xBF"
    "before\r\n"         // 1
    "[process]\n"        // 2
    "; comment\r"        // 3
    "echo,1,a\r\n"       // 4
    "\n"                 // 5
    "  key = value  \r"  // 6
    "[other]\r\n"        // 7
    "x=1\n"              // 8
    "[PROCESS]\r"        // 9
    "echo,1,b";          // 10, no line end

TEST(LineNumbersTest, ModelKnowsEachLinesNumber) {
  const IniModel m = IniModel::Parse(kMixed);
  ASSERT_EQ(m.sections().size(), 3u);
  EXPECT_EQ(m.sections()[0].numbers, (std::vector<uint32_t>{4, 6}));
  EXPECT_EQ(m.sections()[1].numbers, (std::vector<uint32_t>{8}));
  EXPECT_EQ(m.sections()[2].numbers, (std::vector<uint32_t>{10}));

  TempDir dir;
  const std::string path = dir.Write("a.script", kMixed);
  std::vector<uint32_t> numbers;
  const std::vector<std::string> lines =
      ReadSectionLines(IniModel::Load(path), "process", &numbers);
  // The reader's lines are what they always were; the numbers go beside them.
  EXPECT_EQ(lines, ReadSectionLines(path, "process"));
  EXPECT_EQ(lines, (std::vector<std::string>{"echo,1,a", "key=value", "", "echo,1,b", ""}));
  EXPECT_EQ(numbers, (std::vector<uint32_t>{4, 6, 0, 10, 0}));
}

TEST(LineNumbersTest, ChangedSectionForgetsItsNumbers) {
  IniModel m = IniModel::Parse("[a]\nk=1\n[b]\nj=2\n");
  m.WriteKey("a", "k", "2");
  EXPECT_EQ(m.sections()[0].LineNumber(0), 0u);
  EXPECT_EQ(m.sections()[1].LineNumber(0), 4u);
}

// Sections passed over by a filtered load still count their lines, also when
// a CR LF pair is split between two reads of the file.
TEST(LineNumbersTest, PassedOverSectionsCountTheirLines) {
  constexpr size_t kRead = 128 * 1024;  // the loader's piece size
  std::string text = "[variables]\r\nv=1\r\n[EncodedFile-x-y]\r\n";
  uint32_t lines = 3;
  while (text.size() + 80 < kRead) {
    text += std::string(75, 'A') + "\r\n";
    ++lines;
  }
  text += std::string(kRead - 1 - text.size(), 'B') + "\r\n";  // CR | LF across the reads
  ++lines;
  while (text.size() < 3 * kRead) {
    text += std::string(75, 'C') + (lines % 2 == 0 ? "\r" : "\n");
    ++lines;
  }
  text += "[process]\r\necho,1,x\r\n[EncodedFolders]\r\n" + std::string(kRead, '\r');
  const uint32_t x = lines + 2;
  const uint32_t y = x + 3 + static_cast<uint32_t>(kRead);
  text += "[process]\necho,1,y\n";
  TempDir dir;
  const std::string path = dir.Write("big.script", text);
  const IniModel m = IniModel::LoadSections(
      path, [](std::string_view name) { return name == "process" || name == "variables"; });
  ASSERT_EQ(m.sections().size(), 3u);
  EXPECT_EQ(m.sections()[0].numbers, (std::vector<uint32_t>{2}));
  EXPECT_EQ(m.sections()[1].numbers, (std::vector<uint32_t>{x}));
  EXPECT_EQ(m.sections()[2].numbers, (std::vector<uint32_t>{y}));
  EXPECT_EQ(IniModel::Load(path).sections()[2].numbers, (std::vector<uint32_t>{x}));
  EXPECT_EQ(IniModel::ReadRawLine(platform::ThreadFileSystem(), path, x), "echo,1,x");
  EXPECT_EQ(IniModel::ReadRawLine(platform::ThreadFileSystem(), path, y), "echo,1,y");
  EXPECT_EQ(IniModel::ReadRawLine(platform::ThreadFileSystem(), path, y + 1), std::nullopt);
}

TEST(LineNumbersTest, ErrorNamesTheLineAsWritten) {
  ScriptHarness h;
  try {
    h.Run("[process]\r\necho,1,a\r\n;\r\n\t shellexecute ,1, open , x \r\necho,1,b\r\n");
    FAIL() << "no error";
  } catch (const ScriptError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (4)");
    ASSERT_NE(e.place(), nullptr);
    EXPECT_EQ(e.place()->script, h.script_path);
    EXPECT_EQ(e.place()->line, 4u);
    EXPECT_EQ(e.place()->text, "\t shellexecute ,1, open , x ");
    const RunFailure failure = FailureOf(e);
    EXPECT_EQ(failure.Report('\n'), h.script_path +
                                        ":4: List index out of bounds (4)\n"
                                        "\t shellexecute ,1, open , x ");
  }
}

// A script that rewrites itself (saving normalises it, and its lines move)
// is shown with the line the run read.
TEST(LineNumbersTest, RewrittenScriptShowsTheLineAsRead) {
  ScriptHarness h;
  try {
    h.Run(
        "; header comment\n\n[process]\n"
        "iniwritekey,1,%scriptfile%,main,k,v\n"
        "echo,1\n");
    FAIL() << "no error";
  } catch (const ScriptError& e) {
    ASSERT_NE(e.place(), nullptr);
    EXPECT_EQ(e.place()->line, 5u);
    EXPECT_EQ(e.place()->text, "echo,1");
  }
}

// Commands read the number of the line they run from the context.
TEST(LineNumbersTest, ContextCarriesTheCurrentLine) {
  static std::vector<uint32_t> seen;
  seen.clear();
  CommandSet commands;
  commands.Set("echo", [](CommandCall& call) { seen.push_back(call.context().line_number); });
  ScriptHarness h(&commands);
  h.Run("[process]\necho,1\n\n; x\necho,1\n[p]\n[process]\necho,1\n");
  EXPECT_EQ(seen, (std::vector<uint32_t>{2, 5, 8}));
}

}  // namespace
}  // namespace pelvar
