#include "platform/posix_process_launcher.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
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

// Standard streams to /dev/null, default signal handling, no blocked signals.
class SpawnSettings {
 public:
  explicit SpawnSettings(bool hidden) {
    ::posix_spawn_file_actions_init(&actions_);
    ::posix_spawnattr_init(&attr_);
    if (hidden) {
      ::posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
      ::posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0);
      ::posix_spawn_file_actions_addopen(&actions_, 2, "/dev/null", O_WRONLY, 0);
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

int WaitForExit(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
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

  const SpawnSettings settings(request.show == ShowMode::kHidden);
  pid_t pid = 0;
  const int rc =
      ::posix_spawn(&pid, argv[0], settings.actions(), settings.attr(), argv.data(), environ);
  if (rc != 0) return Failure(SystemMessage({rc, std::system_category()}));

  ProcessOutcome outcome;
  outcome.started = true;
  if (wait) {
    outcome.exit_code = WaitForExit(pid);
  } else {
    std::thread([pid] { WaitForExit(pid); }).detach();
  }
  return outcome;
}

}  // namespace pelvar::platform
