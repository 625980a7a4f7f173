#include "platform/posix_process_launcher.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "support/test_support.h"

namespace pelvar::platform {
namespace {

using pelvar::testing::TempDir;

// Writes an executable shell script.
std::string WriteProgram(const TempDir& dir, const std::string& name, const std::string& body) {
  const std::string path = dir.Write(name, "#!/bin/sh\n" + body + "\n");
  ::chmod(path.c_str(), 0755);
  return path;
}

ProcessRequest Request(std::string file, std::string parameters = {}) {
  ProcessRequest r;
  r.file = std::move(file);
  r.parameters = std::move(parameters);
  return r;
}

// Waits up to ten seconds for a condition that a background program brings about.
template <typename Condition>
bool Eventually(Condition condition) {
  for (int i = 0; i < 1000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}

// Children of this process that have ended but were not reaped.
int ZombieChildren() {
  int count = 0;
  DIR* proc = ::opendir("/proc");
  while (dirent* e = ::readdir(proc)) {
    std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
    std::string text;
    if (!std::getline(stat, text)) continue;
    const size_t close = text.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    long ppid = 0;
    if (std::sscanf(text.c_str() + close + 1, " %c %ld", &state, &ppid) == 2 &&
        ppid == ::getpid() && state == 'Z') {
      ++count;
    }
  }
  ::closedir(proc);
  return count;
}

TEST(PosixProcessLauncherTest, WaitsAndReportsTheExitStatus) {
  PosixProcessLauncher launcher;
  ProcessOutcome o = launcher.Run(Request("sh", "-c \"exit 7\""), /*wait=*/true);
  EXPECT_TRUE(o.started);
  EXPECT_EQ(o.exit_code, 7);
  o = launcher.Run(Request("true"), true);
  EXPECT_TRUE(o.started);
  EXPECT_EQ(o.exit_code, 0);
  o = launcher.Run(Request("sh", "-c \"kill -9 $$\""), true);
  EXPECT_EQ(o.exit_code, 128 + 9);
}

TEST(PosixProcessLauncherTest, ScriptPathsAndArguments) {
  TempDir dir;
  WriteProgram(dir, "Tools/args.sh", "for a in \"$@\"; do printf '[%s]' \"$a\"; done > \"$0.out\"");
  ProcessRequest r = Request(dir.path() + "\\TOOLS\\Args.sh", "\"a b\" \\\"q\\\" c:\\x\\ \"\"");
  r.verb = "Open";
  const ProcessOutcome o = PosixProcessLauncher().Run(r, true);
  ASSERT_TRUE(o.started) << o.error;
  EXPECT_EQ(dir.Read("Tools/args.sh.out"), "[a b][\"q\"][c:\\x\\][]");
}

TEST(PosixProcessLauncherTest, NothingStarts) {
  TempDir dir;
  PosixProcessLauncher launcher;
  ProcessRequest r = Request("true");
  r.verb = "print";
  ProcessOutcome o = launcher.Run(r, true);
  EXPECT_FALSE(o.started);
  EXPECT_EQ(o.error, "unknown verb \"print\"");
  o = launcher.Run(Request(dir.Path("missing.exe")), true);
  EXPECT_FALSE(o.started);
  EXPECT_EQ(o.error, "No such file or directory");
  o = launcher.Run(Request("pelvar-no-such-program"), true);
  EXPECT_FALSE(o.started);
  o = launcher.Run(Request(""), true);
  EXPECT_FALSE(o.started);
  // An executable file that the system cannot run.
  const std::string odd = dir.Write("odd.exe", "MZ\x90");
  ::chmod(odd.c_str(), 0755);
  o = launcher.Run(Request(odd), true);
  EXPECT_FALSE(o.started);
  EXPECT_EQ(o.error, "Exec format error");
}

TEST(PosixProcessLauncherTest, DocumentsGoToTheOpener) {
  TempDir dir;
  const std::string opener = WriteProgram(dir, "opener", "printf '%s' \"$*\" > \"$0.out\"");
  const std::string doc = dir.Write("Readme.txt", "text");
  ProcessOutcome o =
      PosixProcessLauncher(opener).Run(Request(dir.path() + "/README.TXT", "/x"), true);
  ASSERT_TRUE(o.started) << o.error;
  EXPECT_EQ(dir.Read("opener.out"), doc);
  o = PosixProcessLauncher(dir.Path("no-opener")).Run(Request(doc), true);
  EXPECT_FALSE(o.started);
  EXPECT_EQ(o.error, "no program to open \"" + doc + "\"");
}

TEST(PosixProcessLauncherTest, HiddenProgramsHaveNoTerminal) {
  TempDir dir;
  const std::string out = dir.Path("fd.txt");
  ProcessRequest r =
      Request("sh", "-c \"a=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2); echo $a > " +
                        out + "\"");
  r.show = ShowMode::kHidden;
  ASSERT_TRUE(PosixProcessLauncher().Run(r, true).started);
  EXPECT_EQ(dir.Read("fd.txt"), "/dev/null /dev/null /dev/null\n");
}

TEST(PosixProcessLauncherTest, ProgramsStartWithDefaultSignalHandling) {
  TempDir dir;
  const std::string out = dir.Path("sig.txt");
  struct sigaction old_action;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGUSR1, &ignore, &old_action);
  const ProcessOutcome o = PosixProcessLauncher().Run(
      Request("sh", "-c \"grep SigIgn /proc/$$/status > " + out + "\""), true);
  ::sigaction(SIGUSR1, &old_action, nullptr);
  ASSERT_TRUE(o.started);
  // The classic signals (the C library keeps two real-time signals of its own).
  const std::string mask = dir.Read("sig.txt");
  ASSERT_EQ(mask.rfind("SigIgn:\t", 0), 0u) << mask;
  EXPECT_EQ(std::stoull(mask.substr(8), nullptr, 16) & 0x7fffffffu, 0u) << mask;
}

TEST(PosixProcessLauncherTest, WithoutWaitingReturnsAtOnceAndLeavesNoZombie) {
  TempDir dir;
  const std::string go = dir.Path("go");
  const std::string done = dir.Path("done");
  // The program ends only after the launcher returned and the test let it go.
  const ProcessOutcome o = PosixProcessLauncher().Run(
      Request("sh", "-c \"while [ ! -e " + go + " ]; do sleep 0.01; done; : > " + done + "\""),
      /*wait=*/false);
  ASSERT_TRUE(o.started);
  pelvar::testing::WriteFileText(go, "");
  EXPECT_TRUE(Eventually([&] { return dir.Exists("done"); }));
  EXPECT_TRUE(Eventually([] { return ZombieChildren() == 0; }));
}

TEST(PosixProcessLauncherTest, AStoppedWaitReturnsAndTheProgramGoesOnAndIsReaped) {
  TempDir dir;
  const std::string done = dir.Path("done");
  ProcessRequest r = Request("sh", "-c \"sleep 0.6; : > " + done + "\"");
  const auto start = std::chrono::steady_clock::now();
  r.stop = [start] {
    return std::chrono::steady_clock::now() - start > std::chrono::milliseconds(100);
  };
  const ProcessOutcome o = PosixProcessLauncher().Run(r, true);
  EXPECT_TRUE(o.started);
  EXPECT_TRUE(o.stopped);
  EXPECT_EQ(o.exit_code, -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_FALSE(dir.Exists("done"));
  EXPECT_TRUE(Eventually([&] { return dir.Exists("done"); }));
  EXPECT_TRUE(Eventually([] { return ZombieChildren() == 0; }));
}

TEST(PosixProcessLauncherTest, KeptErrorOutputAndOutputToTheErrorStream) {
  ProcessRequest hidden = Request("sh", "-c \"echo out; echo why >&2; exit 3\"");
  hidden.show = ShowMode::kHidden;
  hidden.keep_error_output = true;
  const ProcessOutcome o = PosixProcessLauncher().Run(hidden, true);
  EXPECT_EQ(o.exit_code, 3);
  EXPECT_EQ(o.error_output, "why\n");
  // A shown program's standard output is this process's standard error.
  TempDir dir;
  const std::string out = dir.Path("fd1");
  const ProcessOutcome shown = PosixProcessLauncher().Run(
      Request("sh", "-c \"readlink /proc/$$/fd/1 /proc/$$/fd/2 > " + out + " 2>&1\""), true);
  ASSERT_TRUE(shown.started);
  const std::string links = dir.Read("fd1");
  const size_t nl = links.find('\n');
  ASSERT_NE(nl, std::string::npos) << links;
  EXPECT_EQ(links.substr(0, nl + 1), links.substr(nl + 1));
}

}  // namespace
}  // namespace pelvar::platform
