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

}  // namespace
}  // namespace pelvar::app
