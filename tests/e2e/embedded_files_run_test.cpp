// Embeds files with the program's options, then runs a script that unpacks
// them, as a user would.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

bool IsLink(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A link in the destination with the name of an embedded file (here one
// that a folder copy brought from the source tree) gives way to the
// extracted file: nothing is written where it points.
TEST(EmbeddedFilesRunTest, ExtractionReplacesALinkInsteadOfWritingThroughIt) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\ntargetdir=" + home.Path("target") +
                               "\nsourcedir=" + home.Path("source") + "\n");
  const std::string outside = home.Write("outside/system.cfg", "the machine's own file\n");
  home.Write("source/readme.txt", "r");
  ASSERT_EQ(::symlink(outside.c_str(), home.Path("source/a.txt").c_str()), 0);
  ASSERT_EQ(::symlink(outside.c_str(), home.Path("source/b.dat").c_str()), 0);
  ASSERT_EQ(::symlink("../outside", home.Path("source/c.txt").c_str()), 0);
  ASSERT_EQ(::symlink("/nonexistent/pelvar-test", home.Path("source/d.txt").c_str()), 0);
  ASSERT_EQ(::symlink(outside.c_str(), home.Path("source/e.txt").c_str()), 0);
  const std::string script =
      home.Write("s.script",
                 "[process]\r\ndircopy,1,%sourcedir%,%targetdir%\r\n"
                 "extractfile,1,Docs,a.txt,%targetdir%\r\n"
                 "extractallfiles,1,%scriptfile%,Bin,%targetdir%\r\n"
                 "extractallfilesifnotexist,1,%scriptfile%,Keep,%targetdir%\r\n");
  const std::string a = home.Write("src/a.txt", "alpha\r\n");
  const std::string b = home.Write("src/b.dat", std::string(100000, 'b'));
  const std::string c = home.Write("src/c.txt", "gamma");
  const std::string d = home.Write("src/d.txt", "delta");
  const std::string e = home.Write("src/e.txt", "epsilon");
  EXPECT_EQ(Pelvar(home, "--embed '" + script + "' Docs '" + a + "'").first, 0);
  for (const std::string& file : {b, c, d}) {
    EXPECT_EQ(Pelvar(home, "--embed '" + script + "' Bin '" + file + "'").first, 0);
  }
  EXPECT_EQ(Pelvar(home, "--embed '" + script + "' Keep '" + e + "'").first, 0);
  const auto run = Pelvar(home, "'" + script + "' /silent");
  EXPECT_EQ(run.first, 0) << run.second;
  EXPECT_EQ(run.second.find("0\t"), std::string::npos) << run.second;
  ASSERT_TRUE(IsLink(home.Path("target/e.txt")));  // copied as a link

  EXPECT_EQ(home.Read("outside/system.cfg"), "the machine's own file\n");
  EXPECT_FALSE(home.Exists("outside/c.txt"));
  for (const char* name : {"a.txt", "b.dat", "c.txt", "d.txt"}) {
    EXPECT_TRUE(IsRegularFile(home.Path(std::string("target/") + name))) << name;
  }
  EXPECT_EQ(home.Read("target/a.txt"), "alpha\r\n");
  EXPECT_TRUE(home.Read("target/b.dat") == std::string(100000, 'b'));
  EXPECT_EQ(home.Read("target/c.txt"), "gamma");
  EXPECT_EQ(home.Read("target/d.txt"), "delta");
  // The source tree keeps its links.
  EXPECT_TRUE(IsLink(home.Path("source/a.txt")));
  // "If not exist": the link is there, so the file is passed over, and
  // still nothing is written through it.
  EXPECT_TRUE(IsLink(home.Path("target/e.txt")));
}

}  // namespace
}  // namespace pelvar
