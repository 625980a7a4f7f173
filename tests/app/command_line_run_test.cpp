#include "app/command_line_run.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "app/app_test_support.h"
#include "app/headless_batch.h"
#include "app/headless_run.h"
#include "support/test_support.h"

namespace pelvar::app {
namespace {

using testing::RecordingView;
using testing::TempDir;

ProgramLocation Location(const TempDir& dir) {
  return ProgramLocation{dir.path(), "pelvar", dir.path() + "/pelvar.ini", dir.path()};
}

TEST(CommandLineRunTest, CommandLineFoldersReplaceTheConfiguredOnes) {
  TempDir dir;
  dir.Write("pelvar.ini", "[main]\ntargetdir=/cfg-t\nsourcedir=/cfg-s\nisofile=/cfg.iso\n");
  const std::string script =
      dir.Write("a.script", "[process]\necho,1,%targetdir%|%sourcedir%|%isofile%\n");
  RecordingView view;
  const RunArguments args =
      ParseRunArguments({"pelvar", script, "/targetdir=/t1", "x/TARGETDIR=/t2", "/PressKey"});
  const CommandLineResult result = RunCommandLine(args, Location(dir), view);
  EXPECT_EQ(result.outcome, CommandLineOutcome::kCompleted);
  EXPECT_EQ(view.Texts(), (std::vector<std::string>{"8|x/t2|/cfg-s|/cfg.iso"}));
  EXPECT_TRUE(args.press_key);
  // Nothing of the command line reaches the configuration file.
  EXPECT_EQ(dir.Read("pelvar.ini"),
            "[main]\ntargetdir=/cfg-t\nsourcedir=/cfg-s\nisofile=/cfg.iso\n");
}

TEST(CommandLineRunTest, MissingScriptIsReportedBeforeTheConfiguration) {
  TempDir dir;
  RecordingView view;
  const RunArguments args = ParseRunArguments({"pelvar", "/silent", dir.Path("a.script")});
  const CommandLineResult result = RunCommandLine(args, Location(dir), view);
  EXPECT_EQ(result.outcome, CommandLineOutcome::kScriptMissing);
  EXPECT_EQ(result.message, "\"silent\" file was not found!");
  EXPECT_EQ(ExecutingText(args), "Executing: \"/silent\"");
  EXPECT_EQ(ExecutingText(ParseRunArguments({"pelvar"})), "Executing: \"\"");
}

TEST(CommandLineRunTest, MissingConfigurationEndsBeforeTheRun) {
  TempDir dir;
  const std::string script = dir.Write("a.script", "[process]\necho,1,ran\n");
  RecordingView view;
  const CommandLineResult result =
      RunCommandLine(ParseRunArguments({"pelvar", script}), Location(dir), view);
  EXPECT_EQ(result.outcome, CommandLineOutcome::kConfigMissing);
  EXPECT_EQ(result.message,
            "\"pelvar.ini\" file was not found!\rIf the application name has changed,\r"
            "you may also need to rename the ini file.");
  EXPECT_TRUE(view.lines.empty());
}

TEST(CommandLineRunTest, ErrorIsLoggedAsAFailureLine) {
  TempDir dir;
  dir.Write("pelvar.ini", "[main]\n");
  // Comments and blank lines count as lines of the file; the line is shown
  // as written, blanks and all.
  const std::string script =
      dir.Write("a.script", "[process]\r\n; first\r\necho,1,a\r\n\r\n  echo , 1 \r\n");
  RecordingView view;
  const CommandLineResult result =
      RunCommandLine(ParseRunArguments({"pelvar", script}), Location(dir), view);
  EXPECT_EQ(result.outcome, CommandLineOutcome::kError);
  EXPECT_EQ(result.message, script + ":5: List index out of bounds (2)\r  echo , 1 ");
  EXPECT_EQ(view.Texts(), (std::vector<std::string>{"8|a", "0|List index out of bounds (2)",
                                                    "0|" + script + ":5:   echo , 1 "}));
}

TEST(FailureSummaryTest, CountsAndNamesTheFirstFailedLine) {
  EXPECT_EQ(SummariseFailures({{"ok", LogKind::kSuccess}}).failed, 0u);
  const FailureSummary summary =
      SummariseFailures({{"fine", LogKind::kSuccess},
                         {"Failed to copy", LogKind::kFailure, "no such file", "/s/a.script", 4},
                         {"Failed again", LogKind::kFailure, "denied", "/s/a.script", 5}});
  EXPECT_EQ(summary.failed, 2u);
  EXPECT_EQ(summary.count_text, "2 commands failed");
  EXPECT_EQ(summary.first, "a.script:4: no such file");
  EXPECT_EQ(summary.first_details, "/s/a.script:4: Failed to copy (no such file)");
  // Without a place or reason the line's own text stands.
  const FailureSummary bare = SummariseFailures({{"Run stopped", LogKind::kFailure}});
  EXPECT_EQ(bare.count_text, "1 command failed");
  EXPECT_EQ(bare.first, "Run stopped");
  EXPECT_EQ(bare.first_details, "Run stopped");
}

TEST(BatchArgumentsTest, FolderIsTheFirstArgumentThatIsNoOption) {
  BatchArguments a = ParseBatchArguments({"pelvar", "--batch"});
  EXPECT_EQ(a.folder, "");
  a = ParseBatchArguments({"pelvar", "--batch", "/TargetDir=/t", "More", "/sourcedir=/s", "Other"});
  EXPECT_EQ(a.folder, "More");
  EXPECT_EQ(a.options.target_dir, "/t");
  EXPECT_EQ(a.options.source_dir, "/s");
}

TEST(BatchArgumentsTest, FolderCaptionOrPath) {
  TempDir dir;
  dir.Write("Scripts/a.script", "");
  EXPECT_EQ(ResolveBatchFolder(dir.path(), "scripts"), dir.path() + "/Scripts/");
  EXPECT_EQ(ResolveBatchFolder(dir.path(), "/else/where"), "/else/where");
}

TEST(BatchArgumentsTest, RememberedFolderIsOnlyAFolderOfTheProgram) {
  TempDir dir;
  TempDir elsewhere;
  elsewhere.Write("a.script", "[main]\nselected=true\n[process]\necho,1,ran\n");
  dir.Write("pelvar.ini", "[main]\ntargetdir=" + dir.Path("t") + "\nisofile=" + dir.Path("x.iso") +
                              "\nLastUsedFolder=" + elsewhere.path() + "\n");
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  testing::FakeClock clock;
  const int status = RunHeadlessBatch(ParseBatchArguments({"pelvar", "--batch"}), Location(dir),
                                      clock, out, err, /*terminal=*/false);
  EXPECT_EQ(status, kExitMissingFile);
  EXPECT_EQ(testing::ReadBackStream(out), "");
  EXPECT_EQ(testing::ReadBackStream(err), "\"" + elsewhere.path() + "\" folder was not found!\n");
  std::fclose(out);
  std::fclose(err);
}

}  // namespace
}  // namespace pelvar::app
