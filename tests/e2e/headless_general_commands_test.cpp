// The general commands in a headless run of the built program: the log and
// a started program share the output in order, and messages go to stderr.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::TempDir;

TEST(HeadlessGeneralCommandsTest, ProgramOutputAndMessagesGoToStderr) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\n");
  const std::string script = home.Write("a.script",
                                        "[process]\n"
                                        "echo,1,before\n"
                                        "shellexecute,1,open,sh,\"-c #$qecho from program#$q\"\n"
                                        "message,1,\"Done#$c ok\",warning\n"
                                        "beep,1,ok\n"
                                        "wait,1,0\n");
  const std::string cmd = "DISPLAY= WAYLAND_DISPLAY= PELVAR_HOME='" + home.path() + "' '" +
                          PELVAR_PROGRAM_DIR "/pelvar' '" + script + "' /silent >'" +
                          home.Path("out.txt") + "' 2>'" + home.Path("err.txt") + "'";
  const int status = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(home.Read("out.txt"),
            "8\tbefore\n"
            "1\tSuccessfully executed and waited for command: \"open\" using: \"sh\" with "
            "parameters: \"-c \"echo from program\"\"\n"
            "1\tMessage: \"Done#$c ok\n"
            "1\t\"ok\" beep!\n"
            "1\tWaiting 0 seconds\n");
  EXPECT_EQ(home.Read("err.txt"), "from program\nWarning: Done, ok\n");
}

}  // namespace
}  // namespace pelvar
