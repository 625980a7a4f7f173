// txtaddline, txtreplace, txtdelemptylines, txtdelline and txtdelspaces on
// real files.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "commands/script_line_fixture.h"

namespace pelvar::commands {
namespace {

using Lines = std::vector<std::string>;

class TextCommandsTest : public pelvar::testing::ScriptLineTest {
 protected:
  // Writes lines "1" to "n", LF-ended.
  void WriteNumbered(const std::string& relative, int n) {
    std::string text;
    for (int i = 1; i <= n; ++i) text += std::to_string(i) + "\n";
    data_.Write(relative, text);
  }
};

TEST_F(TextCommandsTest, AddLinePositions) {
  data_.Write("empty.txt", "");
  EXPECT_EQ(Run("txtaddline,1," + P("empty.txt") + ",first,prepend"),
            Lines{"1|Sucessfully added line: \"" + P("empty.txt") +
                  "\" line: \"first\" Option:\"prepend\""});
  EXPECT_EQ(data_.Read("empty.txt"), "first\r\n");

  WriteNumbered("f.txt", 5);
  Run("txtaddline,1," + P("f.txt") + ",x,append,2");
  EXPECT_EQ(data_.Read("f.txt"), "1\r\n2\r\n3\r\nx\r\n4\r\n5\r\n");
  WriteNumbered("f.txt", 2);
  Run("txtaddline,1," + P("f.txt") + ",x,APPEND");
  EXPECT_EQ(data_.Read("f.txt"), "1\r\n2\r\nx\r\n");
  WriteNumbered("f.txt", 2);
  Run("txtaddline,1," + P("f.txt") + ",x,place");
  EXPECT_EQ(data_.Read("f.txt"), "x\r\n1\r\n2\r\n");
  WriteNumbered("f.txt", 2);
  Run("txtaddline,1," + P("f.txt") + ",x,place,2");
  EXPECT_EQ(data_.Read("f.txt"), "1\r\n2\r\nx\r\n");
}

TEST_F(TextCommandsTest, ALineAddedNowhereFailsAndLeavesTheFile) {
  // An unknown or missing option, or append with a number that is not one,
  // would add no line: the command fails and says why.
  WriteNumbered("f.txt", 2);
  const std::string failed = "0|Failed to addline to file: \"" + P("f.txt") + "\" line: \"x\"";
  const std::pair<std::string, std::string> cases[] = {
      {"", "the option \"\" is none of prepend, append and place"},
      {",top", "the option \"top\" is none of prepend, append and place"},
      {",Append,two", "\"two\" is not a number"},
  };
  for (const auto& [tail, reason] : cases) {
    SCOPED_TRACE(tail);
    EXPECT_EQ(Run("txtaddline,1," + P("f.txt") + ",x" + tail), Lines{failed});
    EXPECT_EQ(harness_.view.lines.at(0).reason, reason);
    EXPECT_EQ(data_.Read("f.txt"), "1\n2\n");
  }
}

TEST_F(TextCommandsTest, AddLineUnescapesTheTextOnly) {
  data_.Write("f.txt", "a\n");
  EXPECT_EQ(Run("txtaddline,1," + P("f.txt") + ",x#$cy#$Qz,append"),
            Lines{"1|Sucessfully added line: \"" + P("f.txt") +
                  "\" line: \"x#$cy#$Qz\" Option:\"append\""});
  EXPECT_EQ(data_.Read("f.txt"), "a\r\nx,y\"z\r\n");
}

TEST_F(TextCommandsTest, AddLineErrorsLeaveTheFileBeingEdited) {
  WriteNumbered("a.txt", 5);
  WriteNumbered("b.txt", 1);
  EXPECT_EQ(Error("txtaddline,1," + P("*.txt") + ",x,append,3"), "List index out of bounds (-2)");
  EXPECT_EQ(data_.Read("a.txt"), "1\r\n2\r\nx\r\n3\r\n4\r\n5\r\n");  // edited before
  EXPECT_EQ(data_.Read("b.txt"), "1\n");
  EXPECT_EQ(Error("txtaddline,1," + P("b.txt") + ",x,place,$"), "'$' is not a valid integer value");
  EXPECT_EQ(Error("txtaddline,1," + P("b.txt") + ",x,place,2"), "List index out of bounds (2)");
  EXPECT_EQ(data_.Read("b.txt"), "1\n");
  EXPECT_EQ(Error("txtaddline,1," + P("b.txt")), "List index out of bounds (5)");
}

TEST_F(TextCommandsTest, ReplaceEveryMatchingFile) {
  data_.Write("a.txt", "aXa\r\nAAA\rXa\n");
  data_.Write("b.TXT", "a,b \"a\"\n");
  data_.Write("c.dat", "a\n");
  EXPECT_EQ(Run("txtreplace,1," + P("*.txt") + ",a,#$qa#$c"),
            Lines{"1|Sucessfully replaced strings in file: \"" + P("*.txt") +
                  "\" string: \"a\" with string: \"#$qa#$c\""});
  // Case-sensitive, left to right, inserted text not scanned again.
  EXPECT_EQ(data_.Read("a.txt"), "\"a,X\"a,\r\nAAA\r\nX\"a,\r\n");
  EXPECT_EQ(data_.Read("b.TXT"), "\"a,,b \"\"a,\"\r\n");
  EXPECT_EQ(data_.Read("c.dat"), "a\n");
  // An empty text to find changes nothing but the line ends.
  data_.Write("c.dat", "a\nb");
  Run("txtreplace,1," + P("C.DAT") + ",,x");
  EXPECT_EQ(data_.Read("c.dat"), "a\r\nb\r\n");
}

TEST_F(TextCommandsTest, AMatchThatIsNoFileFailsAndSaysWhich) {
  data_.Write("b.txt", "a\n");
  ASSERT_EQ(::symlink("nowhere", (data_.path() + "/a.txt").c_str()), 0);
  EXPECT_EQ(Run("txtreplace,1," + P("*.txt") + ",a,b"),
            Lines{"0|TXTReplace - Failed to find file: \"" + P("*.txt") + "\""});
  EXPECT_EQ(harness_.view.lines[0].reason, "\"" + P("a.txt") + "\" is no file that can be edited");
  EXPECT_EQ(data_.Read("b.txt"), "b\r\n");  // the others are edited all the same
}

TEST_F(TextCommandsTest, DeleteLinesAndSpaces) {
  data_.Write("f.txt", "abcdef\nabc\nABCdef\n abc\n\n \nab\n");
  EXPECT_EQ(Run("txtdelline,1," + P("f.txt") + ",abc"),
            Lines{"1|Sucessfully deleted all corresponding lines in file: \"" + P("f.txt") +
                  "\" string: \"abc\""});
  EXPECT_EQ(data_.Read("f.txt"), "ABCdef\r\n abc\r\n\r\n \r\nab\r\n");
  EXPECT_EQ(Run("txtdelemptylines,1," + P("f.txt")),
            Lines{"1|Sucessfully deleted all empty lines in file: \"" + P("f.txt") + "\""});
  EXPECT_EQ(data_.Read("f.txt"), "ABCdef\r\n abc\r\n \r\nab\r\n");

  data_.Write("s.txt", "\tone two  \n\x01x\x7f \n");
  EXPECT_EQ(Run("txtdelspaces,1," + P("s.txt")),
            Lines{"1|Sucessfully deleted all blank spaces in file: \"" + P("s.txt") + "\""});
  EXPECT_EQ(data_.Read("s.txt"), "one two\r\nx\x7f\r\n");

  Run("txtdelline,1," + P("s.txt") + ",");  // an empty start matches every line
  EXPECT_EQ(data_.Read("s.txt"), "");
}

TEST_F(TextCommandsTest, NoMatchingFileCreatesNothing) {
  const std::string f = P("none.txt");
  EXPECT_EQ(Run("txtaddline,1," + f + ",x,append"),
            Lines{"0|Failed to addline to file: \"" + f + "\" line: \"x\""});
  EXPECT_EQ(Run("txtreplace,1," + f + ",a,b"),
            Lines{"0|TXTReplace - Failed to find file: \"" + f + "\""});
  EXPECT_EQ(Run("txtdelemptylines,1," + f),
            Lines{"0|TXTDelEmptyLines - Failed to find file: \"" + f + "\""});
  EXPECT_EQ(Run("txtdelline,1," + f + ",a"),
            Lines{"0|TXTDelLine - Failed to find file: \"" + f + "\""});
  EXPECT_EQ(Run("txtdelspaces,1," + f),
            Lines{"0|TXTDelSpaces - Failed to find file: \"" + f + "\""});
  EXPECT_EQ(Run("txtdelspaces,1,none.txt"),
            Lines{"0|TXTDelSpaces - Failed to find file: \"none.txt\""});
  EXPECT_FALSE(data_.Exists("none.txt"));
}

TEST_F(TextCommandsTest, AReadOnlyFileEndsTheRunAndStaysAsItWas) {
  data_.Write("a.txt", "a\n");
  data_.Write("b.txt", "b\n");
  ASSERT_EQ(::chmod(data_.Path("b.txt").c_str(), 0444), 0);
  EXPECT_EQ(Error("txtreplace,1," + P("*.txt") + ",a,c"),
            "Cannot create file \"" + P("b.txt") + "\". Permission denied");
  // The file before it was edited; the read-only one was not.
  EXPECT_EQ(data_.Read("a.txt"), "c\r\n");
  EXPECT_EQ(data_.Read("b.txt"), "b\n");
}

TEST_F(TextCommandsTest, AFailedWriteLeavesTheFileWhole) {
  const std::string original(600, 'a');
  data_.Write("big.txt", original);
  // Files may not grow past 1000 bytes while the command runs.
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit old_limit;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  struct rlimit limit = old_limit;
  limit.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  const std::string error = Error("txtreplace,1," + P("big.txt") + ",a,bb");
  ::setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);

  EXPECT_EQ(error, "Cannot create file \"" + P("big.txt") + "\". File too large");
  EXPECT_EQ(data_.Read("big.txt"), original);
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(data_.path())) {
    ++entries;
  }
  EXPECT_EQ(entries, 1);  // no temporary file left behind
}

}  // namespace
}  // namespace pelvar::commands
