#include "app/console_run_view.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace pelvar::app {
namespace {

// Reads back what was written to a temporary stream.
std::string Contents(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string out;
  char buf[256];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  return out;
}

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
  EXPECT_EQ(Contents(out), "1\tSucessfully copied\n7\t\n");
  EXPECT_EQ(Contents(err), "Warning: Done,\nall copied\n");
  std::fclose(out);
  std::fclose(err);
}

}  // namespace
}  // namespace pelvar::app
