// The text file model: reading, writing and the streaming line edit.
#include "commands/text_file.h"

#include <gtest/gtest.h>

#include "engine/script_error.h"
#include "engine/text.h"
#include "platform/memory_file_system.h"
#include "platform/posix_file_system.h"
#include "support/test_support.h"

namespace pelvar::commands {
namespace {

using pelvar::testing::TempDir;

platform::FileSystem& Real() {
  return platform::ThreadFileSystem();
}

const std::string kSamples[] = {
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

TEST(TextFileTest, StreamingEditReadsAndWritesAsTheModel) {
  TempDir dir;
  for (const std::string& sample : kSamples) {
    const std::string path = dir.Write("f.txt", sample);
    EditTextFileLines(Real(), path, [](std::string_view line, std::string& out) {
      out.append(line);
      return true;
    });
    EXPECT_EQ(dir.Read("f.txt"), JoinCrLf(SplitTextLines(sample, false))) << sample;
    EXPECT_EQ(ReadTextFile(Real(), path), SplitTextLines(sample, false)) << sample;
  }
}

TEST(TextFileTest, StreamingEditOverManyChunks) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 300000; ++i) text += "line " + std::to_string(i) + "\n";
  const std::string path = dir.Write("big.txt", text);
  EditTextFileLines(Real(), path, [](std::string_view line, std::string& out) {
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
    EditTextFileLines(Real(), path, [](std::string_view, std::string&) { return true; });
    ADD_FAILURE() << "no error";
  } catch (const ScriptError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open file \"" + path + "\". No such file or directory");
  }
  EXPECT_FALSE(dir.Exists("none.txt"));
}

// Reads that stop anywhere (a line break split between two reads included)
// give the same lines.
TEST(TextFileTest, ShortReadsSplitLinesAsAWholeRead) {
  for (size_t piece = 1; piece <= 4; ++piece) {
    for (const std::string& sample : kSamples) {
      platform::MemoryFileSystem files;
      files.AddFile("/f.txt", sample);
      files.faults.read_piece = piece;
      EditTextFileLines(files, "/f.txt", [](std::string_view line, std::string& out) {
        out.append(line);
        return true;
      });
      EXPECT_EQ(files.Content("/f.txt"), JoinCrLf(SplitTextLines(sample, false))) << sample;
    }
  }
}

// The streamed line addition gives what the whole-file model gives.
TEST(TextFileTest, AddTextLineMatchesTheLineModel) {
  const std::pair<const char*, const char*> cases[] = {
      {"prepend", ""}, {"append", ""}, {"append", "0"}, {"append", "1"}, {"append", "3"},
      {"place", "0"},  {"place", "2"}, {"place", "3"},  {"APPEND", "x"}, {"other", "1"},
  };
  const std::string samples[] = {"", "a\r\nb\r\nc", "a\nb\nc\n", "a\rb\r\r\n"};
  for (const auto& [option, number] : cases) {
    for (const std::string& sample : samples) {
      platform::MemoryFileSystem files;
      files.AddFile("/f.txt", sample);
      files.faults.read_piece = 2;
      TextLines lines = SplitTextLines(sample, false);
      std::string expected;
      try {
        AddLine(lines, "new", option, number);
        expected = JoinCrLf(lines);
      } catch (const ScriptError& e) {
        expected = std::string("error: ") + e.what();
      }
      try {
        AddTextLine(files, "/f.txt", "new", option, number);
        EXPECT_EQ(files.Content("/f.txt"), expected) << option << number << sample;
      } catch (const ScriptError& e) {
        EXPECT_EQ(std::string("error: ") + e.what(), expected) << option << number << sample;
        EXPECT_EQ(files.Content("/f.txt"), sample);
      }
      EXPECT_EQ(files.Names("/"), std::vector<std::string>{"f.txt"});
    }
  }
}

// A write that fails anywhere leaves the old text and no temporary file.
TEST(TextFileTest, FailedWritesKeepTheOldText) {
  const std::string old = std::string(3000000, 'x') + "\r\n";
  platform::MemoryFileSystem files;
  files.AddFile("/d/f.txt", old);
  auto edit = [](std::string_view line, std::string& out) {
    out.append(line).append("y");
    return true;
  };
  files.faults.space = 1500000;
  try {
    EditTextFileLines(files, "\\D\\F.TXT", edit);
    ADD_FAILURE() << "no error";
  } catch (const ScriptError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file \"\\D\\F.TXT\". No space left on device");
  }
  files.faults.space = -1;
  files.faults.commit_error = EIO;
  EXPECT_THROW(AddTextLine(files, "/d/f.txt", "new", "prepend", ""), ScriptError);
  EXPECT_THROW(WriteTextFile(files, "/d/f.txt", {"a"}), ScriptError);
  EXPECT_EQ(files.Content("/d/f.txt"), old);
  EXPECT_EQ(files.Names("/d"), std::vector<std::string>{"f.txt"});
}

// Reads and writes that a signal interrupts are made again: the reader, the
// streamed edit and the durable writer all end with the whole text.
TEST(TextFileTest, InterruptedReadsAndWritesAreRetried) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + "\r\n";
  platform::MemoryFileSystem files;
  files.AddFile("/d/f.txt", text);
  files.faults.read_piece = 1000;
  files.faults.interrupted_reads = 3;
  const TextLines lines = ReadTextFile(files, "/d/f.txt");
  ASSERT_EQ(lines.size(), 2000u);
  EXPECT_EQ(lines[1999], "line 1999");
  EXPECT_EQ(files.interruptions, 3);

  files.faults.interrupted_reads = 2;
  files.faults.interrupted_writes = 3;
  EditTextFileLines(files, "/d/f.txt", [](std::string_view line, std::string& out) {
    out.append(line).append("!");
    return true;
  });
  EXPECT_EQ(files.interruptions, 8);
  std::string edited;
  for (int i = 0; i < 2000; ++i) edited += "line " + std::to_string(i) + "!\r\n";
  EXPECT_EQ(files.Content("/d/f.txt"), edited);

  files.faults.interrupted_writes = 2;
  WriteTextFile(files, "/d/g.txt", {"a", "b"});
  EXPECT_EQ(files.Content("/d/g.txt"), "a\r\nb\r\n");
  EXPECT_EQ(files.interruptions, 10);
  EXPECT_EQ(files.Names("/d"), (std::vector<std::string>{"f.txt", "g.txt"}));
}

}  // namespace
}  // namespace pelvar::commands
