// Every failure line of a run comes with its reason: each failing line of
// tests/data/failure-paths.script runs alone in the built program, and
// standard error must name the script, the line and why
// (SCRIPT:LINE: REASON) for every failure line it logged.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/shell_output.h"
#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::RunShell;
using testing::ShellQuoted;
using testing::TempDir;

struct Fixture {
  std::vector<std::string> lines;  // the lines of [process]
  std::string rest;                // the sections after it
};

Fixture ReadFixture() {
  const std::string text =
      testing::ReadFileText(PELVAR_SOURCE_DIR "/tests/data/failure-paths.script");
  Fixture f;
  std::istringstream in(text);
  std::string line;
  bool in_process = false;
  bool after = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (after) {
      f.rest += line + "\r\n";
    } else if (line == "[process]") {
      in_process = true;
    } else if (in_process && !line.empty() && line.front() == '[') {
      after = true;
      f.rest += line + "\r\n";
    } else if (in_process && !line.empty()) {
      f.lines.push_back(line);
    }
  }
  return f;
}

size_t CountLinesStartingWith(const std::string& text, const std::string& start) {
  size_t n = 0;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() > start.size() && line.compare(0, start.size(), start) == 0) ++n;
  }
  return n;
}

TEST(FailureReasonsTest, EveryFailureLineOfEveryCommandComesWithItsReason) {
  const Fixture fixture = ReadFixture();
  ASSERT_GE(fixture.lines.size(), 50u);
  for (const std::string& line : fixture.lines) {
    SCOPED_TRACE(line);
    TempDir home;
    home.Write("pelvar.ini", "[main]\r\ntargetdir=" + home.Path("target") + "\r\n");
    home.Write("target/a.txt", "a");
    home.Write("target/b.txt", "b");
    home.Write("target/folder/.keep", "");
    std::string many;  // more sections of one name than one command deletes
    for (int i = 0; i < 12; ++i) many += "[Same]\r\nkey" + std::to_string(i) + "=v\r\n";
    home.Write("target/many.ini", many);
    const std::string read_only = home.Write("target/readonly.txt", "r");
    const std::string read_only_match = home.Write("target/ro/x.txt", "x");
    ASSERT_EQ(::chmod(read_only.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(read_only_match.c_str(), 0444), 0);
    const std::string script =
        home.Write("s.script", "[process]\r\n" + line + "\r\n\r\n" + fixture.rest);
    const std::string err = home.Path("stderr");
    const testing::ShellOutput run =
        RunShell("env PELVAR_HOME=" + ShellQuoted(home.path()) + " PELVAR_REGISTRY=" +
                 ShellQuoted(home.Path("registry.db")) + " '" + PELVAR_PROGRAM_DIR "/pelvar' " +
                 ShellQuoted(script) + " /silent 2>" + ShellQuoted(err) + " </dev/null");
    const std::string errors = testing::ReadFileText(err);
    const size_t failures = CountLinesStartingWith(run.out, "0\t");
    // A line that ends the run with an error logs the error and the line
    // itself, with one reason.
    const bool error = CountLinesStartingWith(run.out, "0\t" + script + ":2: ") > 0;
    const size_t reasons = CountLinesStartingWith(errors, script + ":2: ");
    EXPECT_GE(failures, 1u) << "the line did not fail:\n" << run.out;
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(reasons, failures - (error ? 1 : 0)) << run.out << errors;
    EXPECT_GE(reasons, 1u) << run.out << errors;
  }
}

}  // namespace
}  // namespace pelvar
