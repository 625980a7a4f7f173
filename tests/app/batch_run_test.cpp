#include "app/batch_run.h"

#include <gtest/gtest.h>

#include "app/app_test_support.h"
#include "commands/builtin_commands.h"
#include "support/test_support.h"

namespace pelvar::app {
namespace {

using std::chrono::milliseconds;
using testing::FakeClock;
using testing::RecordingHost;
using testing::RecordingView;
using testing::TempDir;

class BatchRunTest : public ::testing::Test {
 protected:
  BatchRunTest() {
    services_.folders = &folders_;
    clock_.readings = {milliseconds(1'000), milliseconds(6'000)};
    request_.paths = {dir_.Path("target"), dir_.Path("source"), dir_.Path("out.iso")};
    request_.program_folder = dir_.path();
  }

  void AddScript(const std::string& title, const std::string& name, const std::string& process,
                 bool checked = true) {
    const std::string path = dir_.Write("Scripts/" + name, "[process]\n" + process);
    ++request_.entry_count;
    if (checked) request_.scripts.push_back({title, path});
  }

  BatchOutcome Run() {
    BatchRun batch(view_, host_, clock_, commands::BuiltinCommands(), services_);
    const BatchOutcome outcome = batch.Run(request_);
    log_ = batch.log();
    return outcome;
  }

  TempDir dir_;
  platform::FixedSystemFolders folders_;
  platform::Services services_;
  FakeClock clock_;
  RecordingView view_;
  RecordingHost host_;
  BatchRequest request_;
  std::vector<LogLine> log_;
};

TEST_F(BatchRunTest, WritesItsLinesAroundEachScriptInOrder) {
  AddScript("One", "one.script", "echo,1,a\n");
  AddScript("Skipped", "skipped.script", "echo,1,never\n", /*checked=*/false);
  AddScript("Two", "two.script", "echo,1,b\n");
  request_.options = {/*write_log_file=*/true, /*beep=*/true, /*show_message=*/true};
  EXPECT_EQ(Run(), BatchOutcome::kCompleted);
  const std::string log_path = dir_.path() + "/log.txt";
  const std::vector<std::string> expected = {
      "2|Starting to process the following scripts: ",
      "6|One",
      "6|Two",
      "7|",
      "7|",
      "7|",
      "6|Processing script: One",
      "8|a",
      "2|Finished processing script: One",
      "7|",
      "7|",
      "6|Processing script: Two",
      "8|b",
      "2|Finished processing script: Two",
      "7|",
      "2|Log file created as \"" + log_path + "\"",
      "8|Processing time: 5 seconds and ",
      "2|2 scripts have been processed!",
      "7|",
  };
  EXPECT_EQ(view_.Texts(), expected);
  EXPECT_EQ(host_.calls,
            (std::vector<std::string>{"panel:on", "clear", "title:One (one.script)",
                                      "title:Two (two.script)", "select:17", "panel:off", "beep",
                                      "info:\rProcess finished!"}));
  // The log file holds the list as it stood: no log-file line, time or count.
  EXPECT_EQ(dir_.Read("log.txt"),
            "Starting to process the following scripts: \r\nOne\r\nTwo\r\n\r\n\r\n\r\n"
            "Processing script: One\r\na\r\nFinished processing script: One\r\n\r\n\r\n"
            "Processing script: Two\r\nb\r\nFinished processing script: Two\r\n\r\n");
  EXPECT_EQ(log_.size(), expected.size());
}

TEST_F(BatchRunTest, RevealsLinesAsTheRunWritesThem) {
  AddScript("One", "one.script", "echo,1,a\n");
  Run();
  const std::vector<LogReveal> expected = {
      LogReveal::kAppend, LogReveal::kAppend, LogReveal::kAppend,  // start, list, spacer
      LogReveal::kSelect, LogReveal::kSelect,                      // two spacers
      LogReveal::kAppend,                                          // processing
      LogReveal::kSelect,                                          // echo
      LogReveal::kScroll,                                          // finished
      LogReveal::kAppend,                                          // spacer
      LogReveal::kSelect, LogReveal::kSelect, LogReveal::kSelect,  // time, count, spacer
  };
  EXPECT_EQ(view_.reveals, expected);
}

TEST_F(BatchRunTest, OneScriptWithoutOptions) {
  AddScript("Only", "only.script", "echo,1,a\n");
  clock_.readings = {milliseconds(0), milliseconds(61'001)};
  EXPECT_EQ(Run(), BatchOutcome::kCompleted);
  const std::vector<std::string> texts = view_.Texts();
  ASSERT_GE(texts.size(), 3u);
  EXPECT_EQ(texts[texts.size() - 3], "8|Processing time: 1 minute, 1 second and 1 milisecond");
  EXPECT_EQ(texts[texts.size() - 2], "2|Script has been sucessfully processed!");
  EXPECT_FALSE(dir_.Exists("log.txt"));
  EXPECT_EQ(host_.calls.back(), "panel:off");
}

TEST_F(BatchRunTest, FailedLinesAreCountedInTheClosingLineAndMessage) {
  AddScript("One", "one.script", "filedelete,1,%targetdir%\\none\necho,1,a\n");
  request_.options.show_message = true;
  EXPECT_EQ(Run(), BatchOutcome::kCompleted);
  std::vector<std::string> texts = view_.Texts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[texts.size() - 2], "0|Script has been processed: 1 command failed");
  EXPECT_EQ(host_.calls.back(), "info:\rProcess finished!\r1 command failed");

  // Several scripts: their count, then the failed lines of all of them.
  AddScript("Two", "two.script", "filedelete,1,%targetdir%\\a\nfiledelete,1,%targetdir%\\b\n");
  view_.lines.clear();
  clock_.readings = {milliseconds(0), milliseconds(1)};
  Run();
  texts = view_.Texts();
  EXPECT_EQ(texts[texts.size() - 2], "0|2 scripts have been processed: 3 commands failed");
}

TEST(BatchClosingTextTest, KeepsTheSuccessTextsWithoutFailures) {
  EXPECT_EQ(BatchClosingText(1, 0), "Script has been sucessfully processed!");
  EXPECT_EQ(BatchClosingText(3, 0), "3 scripts have been processed!");
  EXPECT_EQ(BatchClosingText(1, 2), "Script has been processed: 2 commands failed");
  EXPECT_EQ(FinishedMessage(0), "\rProcess finished!");
  EXPECT_EQ(FailedLineCount({{"a", LogKind::kFailure},
                             {"b", LogKind::kSkipped},
                             {"c", LogKind::kMissing},
                             {"d", LogKind::kFailure}}),
            2u);
}

TEST_F(BatchRunTest, ADryRunSaysSoFirstAndLast) {
  AddScript("One", "one.script", "echo,1,a\n");
  request_.dry_run = true;
  Run();
  const std::vector<std::string> texts = view_.Texts();
  ASSERT_GE(texts.size(), 3u);
  EXPECT_EQ(texts.front(), "8|Dry run: nothing will be changed");
  EXPECT_EQ(texts[texts.size() - 3], "2|Script has been sucessfully processed!");
  EXPECT_EQ(texts[texts.size() - 2], "8|Dry run finished: nothing was changed");
}

TEST_F(BatchRunTest, ChecksPathsAndScriptsBeforeStarting) {
  AddScript("One", "one.script", "echo,1,a\n");
  request_.paths.iso_file = "";
  EXPECT_EQ(Run(), BatchOutcome::kNotStarted);
  request_.paths.iso_file = "no-folder-part.iso";
  EXPECT_EQ(Run(), BatchOutcome::kNotStarted);
  request_.paths.iso_file = dir_.Path("missing-folder/x.iso");
  EXPECT_EQ(Run(), BatchOutcome::kNotStarted);
  request_.paths.iso_file = dir_.Path("out.iso");  // the file need not exist
  request_.paths.target_dir = dir_.Path("missing-parent/target");
  EXPECT_EQ(Run(), BatchOutcome::kNotStarted);
  request_.paths.target_dir = dir_.Path("new-target");  // its parent exists
  request_.entry_count = 0;
  EXPECT_EQ(Run(), BatchOutcome::kNotStarted);
  EXPECT_EQ(host_.calls,
            (std::vector<std::string>{
                "info:Invalid ISO filename or ISO filename path.\rPlease select a valid path "
                "before continuing.",
                "info:Invalid ISO filename or ISO filename path.\rPlease select a valid path "
                "before continuing.",
                "info:Invalid ISO filename or ISO filename path.\rPlease select a valid path "
                "before continuing.",
                "info:Invalid Target directory path.\rPlease select a valid path before "
                "continuing.",
                "info:No scripts available to process.\rPlease add scripts to the \"Scripts\" "
                "directory before continuing."}));
  EXPECT_TRUE(view_.lines.empty());
}

TEST_F(BatchRunTest, NothingCheckedEmptiesTheLogAgain) {
  AddScript("One", "one.script", "echo,1,a\n", /*checked=*/false);
  EXPECT_EQ(Run(), BatchOutcome::kNotStarted);
  EXPECT_EQ(host_.calls, (std::vector<std::string>{
                             "panel:on", "clear", "panel:off",
                             "info:No scripts available to process.\rPlease select at least "
                             "one file to process before continuing..",
                             "clear"}));
  EXPECT_TRUE(log_.empty());
}

TEST_F(BatchRunTest, ErrorEndsTheBatchWithoutClosingSteps) {
  AddScript("Bad", "bad.script", "echo,1,before\necho,1\necho,1,after\n");
  AddScript("Never", "never.script", "echo,1,never\n");
  request_.options = {true, true, true};
  EXPECT_EQ(Run(), BatchOutcome::kError);
  const std::vector<std::string> texts = view_.Texts();
  const std::string path = request_.scripts[0].path;
  EXPECT_EQ(texts.back(), "0|" + path + ":3: echo,1");
  EXPECT_EQ(texts[texts.size() - 2], "0|List index out of bounds (2)");
  EXPECT_EQ(texts[texts.size() - 3], "8|before");
  EXPECT_EQ(host_.calls.back(), "error:" + path + ":3: List index out of bounds (2)\recho,1");
  EXPECT_EQ(host_.calls[host_.calls.size() - 2], "panel:off");
  EXPECT_FALSE(dir_.Exists("log.txt"));
}

TEST_F(BatchRunTest, StopEndsAfterTheCurrentCommandAndCompletesTheClosingSteps) {
  AddScript("Long", "long.script", "echo,1,1\necho,1,2\necho,1,3\necho,1,4\n");
  AddScript("Next", "next.script", "echo,1,next\n");
  request_.options.write_log_file = true;
  view_.stop_after = 3;  // the reset to 0, lines 1 and 2: stop while line 2 runs
  EXPECT_EQ(Run(), BatchOutcome::kStopped);
  const std::vector<std::string> texts = view_.Texts();
  // A stopped run is never called processed.
  const std::vector<std::string> tail(texts.end() - 7, texts.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"8|1", "8|2", "0|Run stopped by the user", "7|",
                                            "2|Log file created as \"" + dir_.path() + "/log.txt\"",
                                            "8|Processing time: 5 seconds and ", "7|"}));
  EXPECT_NE(dir_.Read("log.txt").find("Run stopped by the user\r\n\r\n"), std::string::npos);
}

TEST_F(BatchRunTest, TheStopLineIsNoFailedCommandInTheMessage) {
  AddScript("Long", "long.script", "filedelete,1,%targetdir%\\none\necho,1,2\necho,1,3\n");
  request_.options.show_message = true;
  view_.stop_after = 3;
  EXPECT_EQ(Run(), BatchOutcome::kStopped);
  EXPECT_EQ(host_.calls.back(), "info:\rProcess finished!\r1 command failed");
}

TEST_F(BatchRunTest, UnwritableLogFileEndsTheBatchWithTheError) {
  AddScript("One", "one.script", "echo,1,a\n");
  request_.options.write_log_file = true;
  request_.program_folder = dir_.Path("no/such/folder");
  EXPECT_EQ(Run(), BatchOutcome::kError);
  const std::string& last = view_.lines.back().text;
  EXPECT_EQ(last.rfind("Cannot create file \"" + dir_.path() + "/no/such/folder/log.txt\". ", 0),
            0u)
      << last;
  EXPECT_EQ(view_.lines.back().kind, LogKind::kFailure);
}

}  // namespace
}  // namespace pelvar::app
