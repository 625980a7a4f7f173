#include "app/console_run_view.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/test_support.h"

namespace pelvar::app {
namespace {

TEST(ConsoleRunViewTest, PipeFormIsKindTabText) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  {
    ConsoleRunView view(out, err, /*terminal=*/false, /*keep_lines=*/true);
    view.SetStatus("status is not printed into a pipe");
    view.AddLog("Sucessfully copied", LogKind::kSuccess, LogReveal::kSelect);
    view.AddLog("", LogKind::kSpacer, LogReveal::kAppend);
    view.ShowMessage(MessageKind::kWarning, "Warning", "Done,\rall copied");
    ASSERT_EQ(view.lines().size(), 2u);
  }
  EXPECT_EQ(testing::ReadBackStream(out), "1\tSucessfully copied\n7\t\n");
  EXPECT_EQ(testing::ReadBackStream(err), "Warning: Done,\nall copied\n");
  std::fclose(out);
  std::fclose(err);
}

// A file name cannot forge a log line: control characters in a text are
// escaped in both forms, and the kept lines hold the text unchanged.
TEST(ConsoleRunViewTest, ControlCharactersAreEscaped) {
  const std::string forged = "copied \"a\n0\tFORGED LINE.txt\"\r\x1b[2J\x7f\\n\xc3\xa9";
  for (const bool terminal : {false, true}) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    {
      ConsoleRunView view(out, err, terminal, /*keep_lines=*/true);
      view.AddLog(forged, LogKind::kSuccess, LogReveal::kSelect);
      ASSERT_EQ(view.lines().size(), 1u);
      EXPECT_EQ(view.lines()[0].text, forged);
    }
    const std::string printed = testing::ReadBackStream(out);
    const std::string escaped = "copied \"a\\n0\\tFORGED LINE.txt\"\\r\\x1B[2J\\x7F\\n\xc3\xa9\n";
    if (terminal) {
      EXPECT_NE(printed.find(escaped), std::string::npos) << printed;
    } else {
      EXPECT_EQ(printed, "1\t" + escaped);
    }
    std::fclose(out);
    std::fclose(err);
  }
}

}  // namespace
}  // namespace pelvar::app
