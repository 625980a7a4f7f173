#include "platform/windows_command_line.h"

#include <gtest/gtest.h>

namespace pelvar::platform {
namespace {

using Args = std::vector<std::string>;

TEST(SplitWindowsCommandLineTest, BlanksSeparateAndQuotesGroup) {
  EXPECT_EQ(SplitWindowsCommandLine(""), Args{});
  EXPECT_EQ(SplitWindowsCommandLine(" \t "), Args{});
  EXPECT_EQ(SplitWindowsCommandLine("  /q \t/norestart  "), (Args{"/q", "/norestart"}));
  EXPECT_EQ(SplitWindowsCommandLine("\"C:\\Program Files\\x\" /s"),
            (Args{"C:\\Program Files\\x", "/s"}));
  EXPECT_EQ(SplitWindowsCommandLine("a\"b c\"d e"), (Args{"ab cd", "e"}));
  EXPECT_EQ(SplitWindowsCommandLine("\"\" x \"\""), (Args{"", "x", ""}));
  EXPECT_EQ(SplitWindowsCommandLine("\"open ended"), (Args{"open ended"}));
  EXPECT_EQ(SplitWindowsCommandLine("\"say \"\"hi\"\"\""), (Args{"say \"hi\""}));
}

TEST(SplitWindowsCommandLineTest, BackslashesCountOnlyBeforeQuotes) {
  EXPECT_EQ(SplitWindowsCommandLine("C:\\dir\\ \\\\server\\share\\"),
            (Args{"C:\\dir\\", "\\\\server\\share\\"}));
  EXPECT_EQ(SplitWindowsCommandLine("\\\"q\\\""), (Args{"\"q\""}));
  EXPECT_EQ(SplitWindowsCommandLine("\"a\\\\\" b"), (Args{"a\\", "b"}));
  EXPECT_EQ(SplitWindowsCommandLine("a\\\\\\\"b"), (Args{"a\\\"b"}));
  EXPECT_EQ(SplitWindowsCommandLine("\\\\\\\\\"x y\""), (Args{"\\\\x y"}));
}

TEST(QuoteWindowsArgumentTest, EveryArgumentComesBackWhole) {
  EXPECT_EQ(QuoteWindowsArgument("plain\\path"), "plain\\path");
  EXPECT_EQ(QuoteWindowsArgument("/tmp/a b/system"), "\"/tmp/a b/system\"");
  for (const std::string arg : {"", "a b", "end\\", "end \\\\", "say \"hi\"", "\\\"", "tab\there",
                                "C:\\Documents and Settings\\x", "\"", "a\\\\\"b c"}) {
    EXPECT_EQ(SplitWindowsCommandLine("x " + QuoteWindowsArgument(arg) + " y"),
              (Args{"x", arg, "y"}))
        << arg;
  }
}

}  // namespace
}  // namespace pelvar::platform
