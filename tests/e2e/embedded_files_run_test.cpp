// Embeds files with the program's options, then runs a script that unpacks
// them, as a user would.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::TempDir;

// Exit status and standard output of the program run in `home`.
std::pair<int, std::string> Pelvar(const TempDir& home, const std::string& args) {
  const std::string cmd =
      "PELVAR_HOME='" + home.path() + "' '" PELVAR_PROGRAM_DIR "/pelvar' " + args + " 2>&1";
  std::string out;
  FILE* p = ::popen(cmd.c_str(), "r");
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int st = ::pclose(p);
  return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, out};
}

TEST(EmbeddedFilesRunTest, EmbedThenExtractInAHeadlessRun) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\ntargetdir=" + home.Path("target") + "\n");
  const std::string script =
      home.Write("s.script",
                 "[process]\r\nextractfile,1,Docs,a.txt,%targetdir%\\docs\r\n"
                 "extractallfiles,1,%scriptfile%,Bin,%targetdir%\r\n");
  const std::string a = home.Write("src/a.txt", "alpha\r\n");
  const std::string b = home.Write("src/b.dat", std::string(100000, 'b'));
  EXPECT_EQ(Pelvar(home, "--embed '" + script + "' Docs '" + a + "'").first, 0);
  EXPECT_EQ(Pelvar(home, "--embed '" + script + "' Bin '" + b + "'").first, 0);
  const auto run = Pelvar(home, "'" + script + "' /silent");
  EXPECT_EQ(run.first, 0);
  EXPECT_EQ(run.second,
            "1\tSucessfully extracted file: \"a.txt\" to path: \"" + home.Path("target") +
                "\\docs\"\n" + "1\tSucessfully extracted all internal files from file: \"" +
                script + "\" Section:\"Bin\" Path to extract: \"" + home.Path("target") + "\"\n");
  EXPECT_EQ(home.Read("target/docs/a.txt"), "alpha\r\n");
  EXPECT_EQ(home.Read("target/b.dat"), std::string(100000, 'b'));
}

TEST(EmbeddedFilesRunTest, ExtractAndRunStartsTheEmbeddedProgram) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\n");
  const std::string script =
      home.Write("s.script", "[process]\r\nextractandrun,1,Tools,mark.sh\r\n");
  const std::string tool =
      home.Write("src/mark.sh", "#!/bin/sh\necho ran > '" + home.Path("marker.txt") + "'\n");
  EXPECT_EQ(Pelvar(home, "--embed '" + script + "' Tools '" + tool + "'").first, 0);
  const auto run = Pelvar(home, "'" + script + "' /silent");
  EXPECT_EQ(run.first, 0);
  EXPECT_EQ(run.second, "1\tSucessfully executed: \"Tools mark.sh\n");
  EXPECT_EQ(home.Read("marker.txt"), "ran\n");
}

}  // namespace
}  // namespace pelvar
