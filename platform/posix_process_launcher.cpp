#include "platform/posix_process_launcher.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/file_system.h"
#include "platform/windows_command_line.h"

extern char** environ;

namespace pelvar::platform {

namespace {

bool IsOpenVerb(const std::string& verb) {
  return verb.empty() || ::strcasecmp(verb.c_str(), "open") == 0;
}

bool IsExecutableFile(const std::string& host) {
  struct stat st;
  return ::stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(host.c_str(), X_OK) == 0;
}

// Host path of the file a request names.
std::string ResolveFile(const std::string& file) {
  if (file.find_first_of("/\\") == std::string::npos) {
    std::string found = FindProgramInPath(file);
    if (!found.empty()) return found;
  }
  return HostPath(file);
}

// Standard streams (see the header), default signal handling, no blocked
// signals. `error_pipe` >= 0: the write end that becomes standard error.
class SpawnSettings {
 public:
  SpawnSettings(bool hidden, int error_pipe) {
    ::posix_spawn_file_actions_init(&actions_);
    ::posix_spawnattr_init(&attr_);
    if (hidden) {
      ::posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
      ::posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0);
      if (error_pipe >= 0) {
        ::posix_spawn_file_actions_adddup2(&actions_, error_pipe, 2);
      } else {
        ::posix_spawn_file_actions_addopen(&actions_, 2, "/dev/null", O_WRONLY, 0);
      }
    } else {
      ::posix_spawn_file_actions_adddup2(&actions_, 2, 1);
    }
    sigset_t none;
    sigemptyset(&none);
    ::posix_spawnattr_setsigmask(&attr_, &none);
    // Dispositions this process ignores (SIGPIPE, ...) would otherwise carry
    // over into the program.
    sigset_t all;
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    ::posix_spawnattr_setsigdefault(&attr_, &all);
    ::posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  ~SpawnSettings() {
    ::posix_spawnattr_destroy(&attr_);
    ::posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSettings(const SpawnSettings&) = delete;
  SpawnSettings& operator=(const SpawnSettings&) = delete;

  const posix_spawn_file_actions_t* actions() const { return &actions_; }
  const posix_spawnattr_t* attr() const { return &attr_; }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attr_;
};

// How often a wait asks whether to stop.
constexpr int kStopPollMs = 100;
// The most of a program's standard error that is kept.
constexpr size_t kMaxErrorOutput = 4096;

int ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// Reaps, if it has ended, without blocking; -2 while it runs.
int TryReap(pid_t pid) {
  int status = 0;
  pid_t r;
  do {
    r = ::waitpid(pid, &status, WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == 0) return -2;
  return r < 0 ? -1 : ExitCodeOf(status);
}

// The one thread that reaps the programs nobody waits for any more: it
// sleeps until one of them ends (pidfds in poll) or a new one is handed over.
class Reaper {
 public:
  static Reaper& Instance() {
    static Reaper* reaper = new Reaper();  // lives as long as the process
    return *reaper;
  }

  void Adopt(pid_t pid, int pidfd) {
    {
      std::lock_guard lock(mutex_);
      children_.push_back({pid, pidfd});
      if (!thread_started_) {
        thread_started_ = true;
        std::thread([this] { Loop(); }).detach();
      }
    }
    const uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
  }

 private:
  struct Child {
    pid_t pid;
    int pidfd;  // -1 without pidfd support: looked at every poll interval
  };

  Reaper() : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

  void Loop() {
    for (;;) {
      std::vector<pollfd> fds{{wake_, POLLIN, 0}};
      bool polling = false;
      {
        std::lock_guard lock(mutex_);
        for (const Child& c : children_) {
          if (c.pidfd >= 0) {
            fds.push_back({c.pidfd, POLLIN, 0});
          } else {
            polling = true;
          }
        }
      }
      (void)::poll(fds.data(), fds.size(), polling ? kStopPollMs : -1);
      uint64_t count = 0;
      (void)!::read(wake_, &count, sizeof count);
      std::lock_guard lock(mutex_);
      children_.erase(std::remove_if(children_.begin(), children_.end(),
                                     [](const Child& c) {
                                       if (TryReap(c.pid) == -2) return false;
                                       if (c.pidfd >= 0) ::close(c.pidfd);
                                       return true;
                                     }),
                      children_.end());
    }
  }

  int wake_;
  std::mutex mutex_;
  std::vector<Child> children_;
  bool thread_started_ = false;
};

// Waits for the program, reading its standard error from `error_fd` (when
// >= 0) into `error_output`, until it ends or `stop` says so. Returns its
// exit code, or -2 when stopped (the program is then handed to the reaper).
int WaitForProgram(pid_t pid, const std::function<bool()>& stop, int error_fd,
                   std::string& error_output) {
  int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  for (;;) {
    std::vector<pollfd> fds;
    if (pidfd >= 0) fds.push_back({pidfd, POLLIN, 0});
    if (error_fd >= 0) fds.push_back({error_fd, POLLIN, 0});
    const bool forever = !stop && pidfd >= 0;
    const int ready = ::poll(fds.data(), fds.size(), forever ? -1 : kStopPollMs);
    if (ready > 0 && error_fd >= 0 && fds.back().revents != 0) {
      char buf[1024];
      const ssize_t n = ::read(error_fd, buf, sizeof buf);
      if (n > 0) {
        error_output.append(
            buf, std::min(static_cast<size_t>(n),
                          kMaxErrorOutput - std::min(kMaxErrorOutput, error_output.size())));
      } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        error_fd = -1;  // the program closed it
      }
    }
    const int code = TryReap(pid);
    if (code != -2) {
      if (pidfd >= 0) ::close(pidfd);
      char buf[1024];
      ssize_t n;
      while (error_fd >= 0 && error_output.size() < kMaxErrorOutput &&
             (n = ::read(error_fd, buf, sizeof buf)) > 0) {
        error_output.append(
            buf, std::min(static_cast<size_t>(n), kMaxErrorOutput - error_output.size()));
      }
      return code;
    }
    if (stop && stop()) {
      Reaper::Instance().Adopt(pid, pidfd);
      return -2;
    }
  }
}

ProcessOutcome Failure(std::string error) {
  ProcessOutcome outcome;
  outcome.error = std::move(error);
  return outcome;
}

}  // namespace

std::string FindProgramInPath(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos) return {};
  const char* env = std::getenv("PATH");
  const std::string path = env != nullptr ? env : "/usr/local/bin:/usr/bin:/bin";
  size_t pos = 0;
  for (;;) {
    const size_t end = std::min(path.find(':', pos), path.size());
    std::string candidate = end > pos ? path.substr(pos, end - pos) : std::string(".");
    candidate.append("/").append(name);
    if (IsExecutableFile(candidate)) return candidate;
    if (end == path.size()) return {};
    pos = end + 1;
  }
}

PosixProcessLauncher::PosixProcessLauncher(std::string opener) : opener_(std::move(opener)) {}

ProcessOutcome PosixProcessLauncher::Run(const ProcessRequest& request, bool wait) {
  if (!IsOpenVerb(request.verb)) return Failure("unknown verb \"" + request.verb + "\"");
  if (request.file.empty()) return Failure("no file given");
  const std::string host = ResolveFile(request.file);
  struct stat st;
  if (::stat(host.c_str(), &st) != 0)
    return Failure(SystemMessage({errno, std::system_category()}));

  std::vector<std::string> args;
  if (IsExecutableFile(host)) {
    args.push_back(host);
    for (std::string& a : SplitWindowsCommandLine(request.parameters)) args.push_back(std::move(a));
  } else {
    const std::string opener =
        opener_.find('/') != std::string::npos ? opener_ : FindProgramInPath(opener_);
    if (opener.empty() || !IsExecutableFile(opener)) {
      return Failure("no program to open \"" + request.file + "\"");
    }
    args = {opener, host};
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const bool hidden = request.show == ShowMode::kHidden;
  int error_pipe[2] = {-1, -1};
  if (wait && hidden && request.keep_error_output) {
    if (::pipe2(error_pipe, O_CLOEXEC) != 0) {
      error_pipe[0] = error_pipe[1] = -1;
    } else {
      ::fcntl(error_pipe[0], F_SETFL, O_NONBLOCK);
    }
  }
  pid_t pid = 0;
  int rc = 0;
  {
    const SpawnSettings settings(hidden, error_pipe[1]);
    rc = ::posix_spawn(&pid, argv[0], settings.actions(), settings.attr(), argv.data(), environ);
  }
  if (error_pipe[1] >= 0) ::close(error_pipe[1]);
  if (rc != 0) {
    if (error_pipe[0] >= 0) ::close(error_pipe[0]);
    return Failure(SystemMessage({rc, std::system_category()}));
  }

  ProcessOutcome outcome;
  outcome.started = true;
  if (wait) {
    const int code = WaitForProgram(pid, request.stop, error_pipe[0], outcome.error_output);
    outcome.stopped = code == -2;
    outcome.exit_code = outcome.stopped ? -1 : code;
  } else {
    Reaper::Instance().Adopt(pid, static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
  }
  if (error_pipe[0] >= 0) ::close(error_pipe[0]);
  return outcome;
}

}  // namespace pelvar::platform
