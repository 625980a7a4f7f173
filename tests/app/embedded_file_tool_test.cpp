#include "app/embedded_file_tool.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace pelvar::app {
namespace {

using testing::TempDir;

struct Result {
  std::optional<int> status;
  std::string out;
  std::string err;
};

std::string Drain(std::FILE* f) {
  std::string s = testing::ReadBackStream(f);
  std::fclose(f);
  return s;
}

Result RunTool(std::vector<std::string> args) {
  args.insert(args.begin(), "pelvar");
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  Result r;
  r.status = RunEmbeddedFileTool(args, out, err);
  r.out = Drain(out);
  r.err = Drain(err);
  return r;
}

TEST(EmbeddedFileToolTest, EmbedListsTheFolderAsTheEditorWould) {
  TempDir dir;
  const std::string script = dir.Write("s.script", "[main]\r\ntitle=t\r\n");
  const std::string a = dir.Write("a.txt", "alpha");
  const std::string b = dir.Write("b.txt", "beta");
  EXPECT_EQ(RunTool({"--embed", script, "One", a, b}).status, 0);
  EXPECT_EQ(RunTool({"--embed", script, "Two", a}).status, 0);
  EXPECT_EQ(RunTool({"--embed", script, "Three", a}).status, 0);
  const Result again = RunTool({"--embed", script, "one", b, dir.Path("none.txt")});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.err, "Not embedded, no such file: " + dir.Path("none.txt") + "\n");

  const Result list = RunTool({"--list-embedded", script});
  EXPECT_EQ(list.status, 0);
  // New folders go in after the first one; sizes are the archive's and the text's.
  std::string shape = list.out;
  for (char& c : shape) {
    if (c >= '0' && c <= '9') c = '#';
  }
  EXPECT_EQ(shape,
            "One\ta.txt\t##\t##\nOne\tb.txt\t##\t##\nThree\ta.txt\t##\t##\nTwo\ta.txt\t##\t##\n");

  const Result x = RunTool({"--extract-embedded", script, "One", "b.txt", dir.Path("out")});
  EXPECT_EQ(x.status, 0);
  EXPECT_EQ(dir.Read("out/b.txt"), "beta");
  const Result missing = RunTool({"--extract-embedded", script, "Two", "b.txt", dir.Path("out2")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "Not extracted: b.txt is not embedded in folder Two\n");
}

TEST(EmbeddedFileToolTest, ArgumentsAndMissingScript) {
  TempDir dir;
  EXPECT_EQ(RunTool({"--run", "x"}).status, std::nullopt);
  EXPECT_EQ(RunTool({}).status, std::nullopt);
  EXPECT_EQ(RunTool({"--embed", "s.script", "F"}).status, 2);
  EXPECT_EQ(RunTool({"--list-embedded"}).status, 2);
  const Result r = RunTool({"--list-embedded", dir.Path("none.script")});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "No such script: " + dir.Path("none.script") + "\n");
  const std::string bad = dir.Write("bad.script", "[EncodedFile-F-a]\r\n0=QUJD\r\n");
  const Result c = RunTool({"--extract-embedded", bad, "F", "a", dir.Path("out")});
  EXPECT_EQ(c.status, 1);
  EXPECT_EQ(c.err, "The archive appears to be corrupted.\n");
}

}  // namespace
}  // namespace pelvar::app
