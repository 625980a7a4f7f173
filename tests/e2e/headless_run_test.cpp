// Runs the built program headless and compares what it prints.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <sstream>
#include <string>

#include "support/shell_output.h"
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

// A script named by a relative path lies in the working folder; %scriptdir%
// is that folder, never empty (which would make "%scriptdir%\x" a file at
// the root of the file system).
TEST(HeadlessRunTest, AScriptNamedWithoutItsFolderHasTheWorkingFolderAsScriptdir) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\n");
  home.Write("sub/a.script", "[process]\necho,1,%scriptdir%\nfilecreateblank,1,%scriptdir%\\m\n");
  const testing::ShellOutput o =
      testing::RunShell("cd '" + home.Path("sub") + "' && PELVAR_HOME='" + home.path() + "' '" +
                        PELVAR_PROGRAM_DIR "/pelvar' a.script /silent");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, "8\t" + home.Path("sub") + "\n1\tSuccessfully created a new file:\"" +
                       home.Path("sub") + "\\m\"\n");
  EXPECT_TRUE(home.Exists("sub/m"));
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

// The usage lines of --help are the man page's synopsis, line for line.
TEST(HeadlessRunTest, TheManPageNamesEveryFormThatHelpNames) {
  TempDir home;
  const Outcome help = RunProgram(home, "--help");
  const std::string man = testing::ReadFileText(PELVAR_SOURCE_DIR "/docs/pelvar.md");
  std::istringstream lines(help.out);
  std::string line;
  size_t forms = 0;
  while (std::getline(lines, line) && !line.empty()) {
    std::string form = line.substr(line.find("pelvar"));
    // The bare form carries its meaning beside it in the usage.
    if (form.rfind("pelvar ", 0) == 0 && form.find("  ") != std::string::npos) {
      form = form.substr(0, form.find("  "));
    }
    EXPECT_NE(man.find("\n" + form + "\n"), std::string::npos) << form;
    ++forms;
  }
  EXPECT_EQ(forms, 10u);
}

// What --help says of the forms that take a folder or need a name.
TEST(HeadlessRunTest, HelpSaysWhatExtractionAndMissingNamesDo) {
  TempDir home;
  const Outcome help = RunProgram(home, "--help");
  EXPECT_NE(help.out.find("pelvar --extract-embedded SCRIPT FOLDER FILE DIR\n"), std::string::npos);
  EXPECT_NE(help.out.find("writes FILE into the folder\nDIR (made when missing) as DIR/FILE"),
            std::string::npos);
  EXPECT_NE(help.out.find("no\nscript is named (--check, --dry-run)"), std::string::npos);
  EXPECT_EQ(help.out.find("DEST"), std::string::npos);

  home.Write("pelvar.ini", "[main]\n");
  Outcome o = RunProgram(home, "--check");
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err, "pelvar --check: name a script or a folder of scripts\n");
  o = RunProgram(home, "--dry-run");
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err, "pelvar --dry-run: name a script\n");

  // DIR is a folder: made when missing, the file written as DIR/FILE.
  const std::string script = home.Write("s.script", "[process]\r\n");
  const std::string source = home.Write("src/notes.txt", "notes\n");
  ASSERT_EQ(RunProgram(home, "--embed '" + script + "' Docs '" + source + "'").status, 0);
  o = RunProgram(
      home, "--extract-embedded '" + script + "' Docs notes.txt '" + home.Path("out/deeper") + "'");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(home.Read("out/deeper/notes.txt"), "notes\n");
  // A file of that name there is replaced; a DIR that is a file is no folder.
  home.Write("out/deeper/notes.txt", "old");
  EXPECT_EQ(RunProgram(home, "--extract-embedded '" + script + "' Docs notes.txt '" +
                                 home.Path("out/deeper") + "'")
                .status,
            0);
  EXPECT_EQ(home.Read("out/deeper/notes.txt"), "notes\n");
  o = RunProgram(home, "--extract-embedded '" + script + "' Docs notes.txt '" +
                           home.Path("out/deeper/notes.txt") + "'");
  EXPECT_NE(o.status, 0);
  EXPECT_EQ(home.Read("out/deeper/notes.txt"), "notes\n");
  o = RunProgram(home,
                 "--extract-embedded '" + script + "' Docs missing.txt '" + home.Path("out") + "'");
  EXPECT_EQ(o.status, 1);
  o = RunProgram(home, "--extract-embedded '" + script + "' Docs notes.txt");
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("FILE DIR   (writes DIR/FILE)"), std::string::npos) << o.err;
}

}  // namespace
}  // namespace pelvar
