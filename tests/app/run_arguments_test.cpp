#include "app/run_arguments.h"

#include <gtest/gtest.h>

namespace pelvar::app {
namespace {

TEST(RunArgumentsTest, OptionsAnywhereIgnoringCaseLaterWins) {
  const RunArguments a =
      ParseRunArguments({"pelvar", "my script.script", "/targetdir=C:\\one", "x/TARGETDIR=C:\\two",
                         "/SourceDir=S", "--/presskey--", "/SILENT"});
  EXPECT_EQ(a.script, "my script.script");
  EXPECT_EQ(a.target_dir, "xC:\\two");
  EXPECT_EQ(a.source_dir, "S");
  EXPECT_TRUE(a.press_key);
  EXPECT_TRUE(a.silent);
}

TEST(RunArgumentsTest, ARelativeScriptPathIsNamedFromTheWorkingFolder) {
  RunArguments a = ParseRunArguments({"pelvar", "build.script"});
  AnchorScriptPath(a, "/home/me");
  EXPECT_EQ(a.script, "/home/me/build.script");
  RunArguments b = ParseRunArguments({"pelvar", "sub\\build.script"});
  AnchorScriptPath(b, "/");
  EXPECT_EQ(b.script, "/sub\\build.script");
  for (const char* kept : {"/abs/x.script", "\\abs\\x.script", ""}) {
    RunArguments c = ParseRunArguments({"pelvar", kept});
    AnchorScriptPath(c, "/home/me");
    EXPECT_EQ(c.script, kept);
  }
}

TEST(RunArgumentsTest, ScriptIsAlwaysArgumentOne) {
  const RunArguments a = ParseRunArguments({"pelvar", "/silent", "build.script"});
  EXPECT_EQ(a.script, "/silent");
  EXPECT_TRUE(a.silent);
  EXPECT_FALSE(a.target_dir.has_value());
  const RunArguments none = ParseRunArguments({"pelvar"});
  EXPECT_FALSE(none.has_script);
  EXPECT_FALSE(none.silent);
}

TEST(RunArgumentsTest, EveryOccurrenceOfTheOptionIsRemoved) {
  const RunArguments a = ParseRunArguments({"pelvar", "s", "/TargetDir=/a/TargetDir=b"});
  EXPECT_EQ(a.target_dir, "/ab");
}

}  // namespace
}  // namespace pelvar::app
