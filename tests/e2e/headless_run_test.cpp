// Runs the built program headless and compares what it prints.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::TempDir;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the program with `args` in a program folder of its own ($PELVAR_HOME).
Outcome RunProgram(const TempDir& home, const std::string& args) {
  const std::string err_file = home.Path("stderr.txt");
  const std::string cmd = "PELVAR_HOME='" + home.path() + "' '" PELVAR_PROGRAM_DIR "/pelvar' " +
                          args + " 2>'" + err_file + "'";
  Outcome o;
  FILE* p = ::popen(cmd.c_str(), "r");
  std::array<char, 4096> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) o.out.append(buf.data(), n);
  const int st = ::pclose(p);
  o.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  o.err = testing::ReadFileText(err_file);
  return o;
}

TEST(HeadlessRunTest, PrintsKindAndTextPerLine) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\ntargetdir=/from/config\nsourcedir=/src\nisofile=/x.iso\n");
  const std::string script =
      home.Write("a.script", "[process]\necho,1,%targetdir%|%sourcedir%\necho,0,off\nnosuch,1\n");
  const Outcome o = RunProgram(home, "'" + script + "' /targetdir=/t1 x/TARGETDIR=/t2 /silent");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, "8\tx/t2|/src\n");  // every "/TargetDir=" is removed
  EXPECT_EQ(o.err, "");
}

TEST(HeadlessRunTest, ErrorEndsTheRunWithStatusOne) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\n");
  // Old Mac line ends: every CR ends a line.
  const std::string script = home.Write("a.script", "[process]\recho,1,a\r\r\techo,1\recho,1,b\r");
  const Outcome o = RunProgram(home, "'" + script + "' /silent");
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "8\ta\n0\tList index out of bounds (2)\n0\t" + script + ":4: \\techo,1\n");
  EXPECT_EQ(o.err, script + ":4: List index out of bounds (2)\n\techo,1\n");
}

TEST(HeadlessRunTest, MissingScriptOrConfiguration) {
  TempDir home;
  Outcome o = RunProgram(home, "/silent x");
  EXPECT_EQ(o.status, 2);
  // The file-name part follows the last "\\", "/" or ":".
  EXPECT_EQ(o.err, "\"silent\" file was not found!\n");
  const std::string script = home.Write("a.script", "[process]\necho,1,a\n");
  o = RunProgram(home, "'" + script + "' /silent");
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err,
            "\"pelvar.ini\" file was not found!\nIf the application name has changed,\n"
            "you may also need to rename the ini file.\n");
  EXPECT_EQ(o.out, "");
}

TEST(HeadlessRunTest, HelpAndVersion) {
  TempDir home;
  Outcome o = RunProgram(home, "--version");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out.rfind("pelvar ", 0), 0u);
  o = RunProgram(home, "--help");
  EXPECT_EQ(o.status, 0);
  EXPECT_NE(o.out.find("Usage: pelvar"), std::string::npos);
}

}  // namespace
}  // namespace pelvar
