// SIGTERM, SIGINT and SIGHUP sent to a real headless run: it stops after the
// current command, removes its temporaries, says so and exits 128 + signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/loopback_http_server.h"
#include "support/test_support.h"

extern char** environ;

namespace pelvar {
namespace {

using testing::TempDir;
namespace fs = std::filesystem;

// The program running headless with its standard output on a pipe.
class RunningProgram {
 public:
  RunningProgram(const TempDir& home, const std::vector<std::string>& args) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    std::vector<std::string> env = {"PELVAR_HOME=" + home.path(), "TMPDIR=" + home.Path("tmp/")};
    fs::create_directories(home.Path("tmp"));
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (entry.rfind("PELVAR_HOME=", 0) != 0 && entry.rfind("TMPDIR=", 0) != 0) {
        env.push_back(entry);
      }
    }
    std::vector<std::string> argv = {PELVAR_PROGRAM_DIR "/pelvar"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp;
    for (std::string& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (::posix_spawn(&pid_, argp[0], &actions, nullptr, argp.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    out_ = fds[0];
  }
  ~RunningProgram() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
  }

  // Reads until the output holds `text` (true) or 20 seconds pass.
  bool WaitFor(const std::string& text) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (output_.find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > end || !ReadSome(200)) return false;
    }
    return true;
  }

  // Sends the signal and waits for the exit; returns the exit status (-1 when
  // killed by a signal).
  int Stop(int signal_number) {
    ::kill(pid_, signal_number);
    return Finish();
  }

  // Waits for the end; returns the exit status as Stop does.
  int Finish() {
    while (ReadSome(20000)) {
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  const std::string& output() const { return output_; }

 private:
  // False at the end of the output.
  bool ReadSome(int timeout_ms) {
    pollfd p{out_, POLLIN, 0};
    if (::poll(&p, 1, timeout_ms) <= 0) return true;
    char buf[4096];
    const ssize_t n = ::read(out_, buf, sizeof buf);
    if (n <= 0) return false;
    output_.append(buf, static_cast<size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  std::string output_;
};

TEST(StopSignalTest, EachSignalStopsAfterTheCurrentCommandWithItsStatus) {
  for (const auto& [signal_number, status] :
       std::vector<std::pair<int, int>>{{SIGTERM, 143}, {SIGINT, 130}, {SIGHUP, 129}}) {
    TempDir home;
    home.Write("pelvar.ini", "[main]\n");
    const std::string script = home.Write(
        "a.script", "[process]\necho,1,started\nwait,1,60\necho,1,never\nfilecreateblank,1," +
                        home.Path("never.txt") + "\n");
    RunningProgram program(home, {script, "/silent"});
    ASSERT_TRUE(program.WaitFor("8\tstarted\n")) << program.output();
    ::usleep(500000);  // into the wait
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(program.Stop(signal_number), status) << "signal " << signal_number;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(program.output(), "8\tstarted\n0\tWaited 0 of 60 seconds: stopped\n0\tRun stopped\n");
    EXPECT_FALSE(home.Exists("never.txt"));
  }
}

// A download that never ends is abandoned; its temporary file goes with it.
TEST(StopSignalTest, AnEndlessDownloadLeavesNothingBehind) {
  testing::LoopbackHttpServer server([](const std::string&) {
    testing::HttpReply reply;
    reply.body = std::string(1 << 20, 'b');  // announced, never sent
    reply.stall = true;
    return reply;
  });
  TempDir home;
  home.Write("pelvar.ini", "[main]\n");
  fs::create_directories(home.Path("dest"));
  const std::string script =
      home.Write("a.script", "[process]\necho,1,started\nwebget,1," + server.Url("/big") + "," +
                                 home.Path("dest/big.bin") + "\n");
  RunningProgram program(home, {script, "/silent"});
  ASSERT_TRUE(program.WaitFor("8\tstarted\n")) << program.output();
  // The transfer has begun once its temporary file is there.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (fs::is_empty(home.Path("dest")) && std::chrono::steady_clock::now() < end) {
    ::usleep(20000);
  }
  EXPECT_EQ(program.Stop(SIGTERM), 143);
  EXPECT_NE(program.output().find("0\tFailed to download file: "), std::string::npos)
      << program.output();
  EXPECT_EQ(program.output().substr(program.output().size() - 14), "0\tRun stopped\n");
  for (const auto& e : fs::directory_iterator(home.Path("dest"))) ADD_FAILURE() << e.path();
}

// A scratch folder whose process was killed is removed by the next run that
// makes one; those of running processes stay.
TEST(StopSignalTest, TheNextRunRemovesScratchFoldersOfKilledRuns) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\n");
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  const std::string orphan = home.Path("tmp/pelvar-" + std::to_string(dead) + "-a1b2c3");
  const std::string alive = home.Path("tmp/pelvar-" + std::to_string(::getpid()) + "-a1b2c3");
  home.Write("tmp/pelvar-" + std::to_string(dead) + "-a1b2c3/big.bin", "left by kill -9");
  home.Write("tmp/pelvar-" + std::to_string(::getpid()) + "-a1b2c3/x", "in use");
  const std::string carrier = home.Write("carrier.script", "");
  // Large enough to be packed in a scratch folder rather than in memory.
  home.Write("f.txt", std::string(size_t{1100} << 10, 'e'));
  RunningProgram embed(home, {"--embed", carrier, "F", home.Path("f.txt")});
  EXPECT_EQ(embed.Finish(), 0);
  EXPECT_EQ(embed.output(), "Embedded " + home.Path("f.txt") + " in F\n");
  EXPECT_FALSE(fs::exists(orphan));
  EXPECT_TRUE(fs::exists(alive));
}

}  // namespace
}  // namespace pelvar
