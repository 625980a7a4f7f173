// Runs the built program's headless batch (--batch) and compares its output.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::TempDir;

struct BatchOutcome {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs "pelvar --batch ARGS" with `home` as its program folder.
BatchOutcome RunBatch(const TempDir& home, const std::string& args) {
  const std::string command = "PELVAR_HOME='" + home.path() +
                              "' '" PELVAR_PROGRAM_DIR "/pelvar' --batch " + args + " >'" +
                              home.Path("out.txt") + "' 2>'" + home.Path("err.txt") + "'";
  const int status = std::system(command.c_str());
  BatchOutcome o;
  o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  o.out = home.Read("out.txt");
  o.err = home.Read("err.txt");
  return o;
}

class BatchRunE2eTest : public ::testing::Test {
 protected:
  BatchRunE2eTest() {
    home_.Write("pelvar.ini", "[main]\ntargetdir=/nowhere/t\nisofile=" + home_.Path("x.iso") +
                                  "\nlog=1\nLastUsedFolder=Scripts\n");
    home_.Write("Scripts/b.script",
                "[main]\ntitle=Second\nlevel=2\nselected=true\n[process]\necho,1,%targetdir%\n");
    home_.Write("Scripts/a.script",
                "[main]\ntitle=First\nlevel=1\nselected=TRUE\n[process]\necho,1,one\n");
    home_.Write("Scripts/c.script", "[main]\ntitle=Off\nselected=false\n[process]\necho,1,no\n");
  }
  TempDir home_;
};

TEST_F(BatchRunE2eTest, RunsTheCheckedScriptsOfTheLastUsedFolder) {
  const BatchOutcome o = RunBatch(home_, "'/TargetDir=" + home_.Path("target") + "'");
  EXPECT_EQ(o.status, 0) << o.err;
  const std::string head =
      "2\tStarting to process the following scripts: \n6\tFirst\n6\tSecond\n7\t\n"
      "7\t\n7\t\n6\tProcessing script: First\n8\tone\n2\tFinished processing script: First\n"
      "7\t\n7\t\n6\tProcessing script: Second\n8\t" +
      home_.Path("target") + "\n2\tFinished processing script: Second\n7\t\n" +
      "2\tLog file created as \"" + home_.Path("log.txt") + "\"\n8\tProcessing time: ";
  EXPECT_EQ(o.out.substr(0, head.size()), head);
  EXPECT_NE(o.out.find("\n2\t2 scripts have been processed!\n7\t\n"), std::string::npos);
  EXPECT_EQ(home_.Read("log.txt").rfind("Starting to process the following scripts: \r\n", 0), 0u);
  EXPECT_EQ(o.err, "");
}

TEST_F(BatchRunE2eTest, FailedLinesAreCountedOnceInTheClosingLineAndTheStatus) {
  home_.Write("Scripts/b.script",
              "[main]\ntitle=Second\nlevel=2\nselected=true\n[process]\n"
              "filedelete,1,%targetdir%\\none.txt\n");
  const BatchOutcome o = RunBatch(home_, "'/TargetDir=" + home_.Path("target") + "'");
  EXPECT_EQ(o.status, 4) << o.err;
  EXPECT_NE(o.out.find("\n0\t2 scripts have been processed: 1 command failed\n7\t\n"),
            std::string::npos)
      << o.out;
  EXPECT_NE(o.err.find("Failures logged: 1\n"), std::string::npos) << o.err;
}

TEST_F(BatchRunE2eTest, FailedCheckAndMissingFolder) {
  BatchOutcome o = RunBatch(home_, "");  // the configured target's parent is missing
  EXPECT_EQ(o.status, 3);
  EXPECT_EQ(o.err,
            "Invalid Target directory path.\nPlease select a valid path before continuing.\n");
  EXPECT_EQ(o.out, "");
  o = RunBatch(home_, "Nothing");
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err, "\"Nothing\" folder was not found!\n");
}

// Runs the program with `env` before it and `args` after it.
int RunProgram(const TempDir& home, const std::string& env, const std::string& args) {
  const std::string command = "env " + env + " PELVAR_HOME='" + home.path() + "' '" +
                              PELVAR_PROGRAM_DIR "/pelvar' " + args + " >'" + home.Path("out.txt") +
                              "' 2>'" + home.Path("err.txt") + "'";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(DesktopModeE2eTest, CommandLineWindowRunsTheScriptAndEnds) {
#ifndef PELVAR_WITH_UI
  GTEST_SKIP() << "built without the desktop program";
#endif
  TempDir home;
  home.Write("pelvar.ini", "[main]\n");
  const std::string script = home.Write("a.script", "[process]\necho,1,shown in the window\n");
  EXPECT_EQ(RunProgram(home, "QT_QPA_PLATFORM=offscreen", "'" + script + "' /TargetDir=/t"), 0);
  // The log went to the window, not to the output.
  EXPECT_EQ(home.Read("out.txt"), "");
  std::remove(home.Path("pelvar.ini").c_str());
  // "/silent" needs no display: without the configuration file the headless
  // run ends with status 2.
  EXPECT_EQ(RunProgram(home, "QT_QPA_PLATFORM=offscreen", "'" + script + "' /silent"), 2);
}

TEST(DesktopModeE2eTest, CommandLineWindowEndsWithTheStatusOfARunWithoutWindow) {
#ifndef PELVAR_WITH_UI
  GTEST_SKIP() << "built without the desktop program";
#endif
  TempDir home;
  home.Write("pelvar.ini", "[main]\n");
  const std::string failing =
      home.Write("f.script", "[process]\nfiledelete,1,%targetdir%\\none\necho,1,after\n");
  const std::string target = "'/TargetDir=" + home.Path("t") + "'";
  // A failed line: 4 in the window as without it.
  EXPECT_EQ(RunProgram(home, "QT_QPA_PLATFORM=offscreen", "'" + failing + "' " + target), 4);
  EXPECT_EQ(RunProgram(home, "QT_QPA_PLATFORM=offscreen", "'" + failing + "' /silent " + target),
            4);
  // A script that does not exist: 2 at once.
  EXPECT_EQ(RunProgram(home, "QT_QPA_PLATFORM=offscreen", "'" + home.Path("gone.script") + "'"), 2);
  // A run without failures: 0.
  const std::string fine = home.Write("ok.script", "[process]\necho,1,fine\n");
  EXPECT_EQ(RunProgram(home, "QT_QPA_PLATFORM=offscreen", "'" + fine + "'"), 0);
}

TEST(DesktopModeE2eTest, WithoutADisplayTheMainWindowIsRefused) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\n");
  EXPECT_EQ(RunProgram(home, "-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM", ""), 2);
  EXPECT_EQ(home.Read("err.txt").rfind("pelvar: no display to show the main window on.\n", 0), 0u);
  // A script argument without a display runs headless instead.
  const std::string script = home.Write("a.script", "[process]\necho,1,printed\n");
  EXPECT_EQ(
      RunProgram(home, "-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM", "'" + script + "'"), 0);
  EXPECT_EQ(home.Read("out.txt"), "8\tprinted\n");
}

}  // namespace
}  // namespace pelvar
