// The text file model: reading, writing and the streaming line edit.
#include "commands/text_file.h"

#include <gtest/gtest.h>

#include "engine/script_error.h"
#include "engine/text.h"
#include "support/test_support.h"

namespace pelvar::commands {
namespace {

using pelvar::testing::TempDir;

TEST(TextFileTest, StreamingEditReadsAndWritesAsTheModel) {
  TempDir dir;
  const std::string samples[] = {
      "",
      "a",
      "a\n",
      "a\r\n",
      "a\r",
      "\r\n\r\n",
      "\n\r",
      "a\r\r\nb",
      "\r",
      "a\nb\rc",
      "last\r\n\r",
      "\n\n\nend",
      std::string("x\0y\r\nz\0", 8),
  };
  for (const std::string& sample : samples) {
    const std::string path = dir.Write("f.txt", sample);
    EditTextFileLines(path, [](std::string_view line, std::string& out) {
      out.append(line);
      return true;
    });
    EXPECT_EQ(dir.Read("f.txt"), JoinCrLf(SplitTextLines(sample, false))) << sample;
    EXPECT_EQ(ReadTextFile(path), SplitTextLines(sample, false)) << sample;
  }
}

TEST(TextFileTest, StreamingEditOverManyChunks) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 300000; ++i) text += "line " + std::to_string(i) + "\n";
  const std::string path = dir.Write("big.txt", text);
  EditTextFileLines(path, [](std::string_view line, std::string& out) {
    out.append(line);
    return line.back() != '7';
  });
  TextLines expected;
  for (const auto& line : SplitTextLines(text)) {
    if (line.back() != '7') expected.push_back(line);
  }
  EXPECT_EQ(dir.Read("big.txt"), JoinCrLf(expected));
}

TEST(TextFileTest, MissingFileRaisesCannotOpen) {
  TempDir dir;
  const std::string path = dir.Path("none.txt");
  try {
    EditTextFileLines(path, [](std::string_view, std::string&) { return true; });
    ADD_FAILURE() << "no error";
  } catch (const ScriptError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open file \"" + path + "\". No such file or directory");
  }
  EXPECT_FALSE(dir.Exists("none.txt"));
}

}  // namespace
}  // namespace pelvar::commands
