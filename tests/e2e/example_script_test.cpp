// Runs the bundled example script with the built program over the example
// source tree and checks the target tree its file commands prepare.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::TempDir;

TEST(ExampleScriptTest, PreparesTheTargetTree) {
  TempDir work;
  const std::string program = PELVAR_PROGRAM_DIR;
  const std::string target = work.Path("target");
  const std::string command =
      "'" + program + "/pelvar' '" + program + "/Scripts/example.script' '/SourceDir=" + program +
      "/example-source' '/TargetDir=" + target + "' /silent >'" + work.Path("log.txt") + "' 2>&1";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << work.Read("log.txt");

  const std::string log = work.Read("log.txt");
  EXPECT_NE(log.find("4\tFailed to find and copy: \"" + program +
                     "/example-source\\setup\\missing.txt\"\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(work.Read("target/readme.txt"),
            "Sample source tree\r\nThis file is copied into the target folder.\r\n"
            "Prepared by Pelvar\r\n");
  EXPECT_TRUE(work.Exists("target/docs/guide.txt"));
  EXPECT_FALSE(work.Exists("target/docs/guide.bak"));
  EXPECT_TRUE(work.Exists("target/setup/setup.inf"));
}

}  // namespace
}  // namespace pelvar
