#include "platform/xorriso_iso_image.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <functional>

#include "platform/file_primitives.h"
#include "platform/file_system.h"
#include "platform/posix_process_launcher.h"

extern char** environ;

namespace pelvar::platform {

namespace {

// How often a running program is asked about and the stop looked at.
constexpr int kPollMs = 100;
// An exit status xorriso gives when an event of severity SORRY or above
// happened (a file that could not be read, a name it had to change).
constexpr const char* kSorryExit = "32";

// The settings every run shares: messages of SORRY and above end with a
// failing status, names are UTF-8 whatever the locale, and only the Joliet
// tree is read back (the image has no Rock Ridge).
std::vector<std::string> CommonArguments() {
  return {"-abort_on",      "FAILURE", "-return_with", "SORRY",        kSorryExit,
          "-local_charset", "UTF-8",   "-pacifier",    "interval=0.25"};
}

std::string Hex(int value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out = "0x";
  out += kDigits[(value >> 4) & 15];
  out += kDigits[value & 15];
  return out;
}

// One line of a stream read in pieces.
class LineSplitter {
 public:
  explicit LineSplitter(std::function<void(std::string_view)> on_line)
      : on_line_(std::move(on_line)) {}
  void Add(std::string_view data) {
    pending_.append(data);
    size_t start = 0;
    for (size_t nl; (nl = pending_.find('\n', start)) != std::string::npos; start = nl + 1) {
      on_line_(std::string_view(pending_).substr(start, nl - start));
    }
    pending_.erase(0, start);
  }
  void Finish() {
    if (!pending_.empty()) on_line_(pending_);
    pending_.clear();
  }

 private:
  std::function<void(std::string_view)> on_line_;
  std::string pending_;
};

struct RunResult {
  bool started = false;
  bool stopped = false;
  int exit_code = -1;
  std::string error;  // why it did not start
};

// Runs the program with `args`; its standard output is kept in `output`,
// its standard error handed over line by line. `stop` ends it (SIGKILL).
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     std::string& output, const std::function<void(std::string_view)>& on_error,
                     const std::function<bool()>& stop) {
  RunResult result;
  const std::string path =
      program.find('/') != std::string::npos ? program : FindProgramInPath(program);
  if (path.empty()) {
    result.error = "the program \"" + program + "\" was not found (Debian package xorriso)";
    return result;
  }
  std::vector<std::string> all = {path};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out_pipe[2];
  int err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) {
    result.error = SystemMessage(LastError());
    return result;
  }
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) {
    result.error = SystemMessage(LastError());
    ::close(out_pipe[0]);
    ::close(out_pipe[1]);
    return result;
  }
  UniqueFd out_read(out_pipe[0]);
  UniqueFd err_read(err_pipe[0]);
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawnattr_init(&attr);
  ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  ::posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  sigset_t none;
  sigemptyset(&none);
  ::posix_spawnattr_setsigmask(&attr, &none);
  sigset_t all_signals;
  sigfillset(&all_signals);
  sigdelset(&all_signals, SIGKILL);
  sigdelset(&all_signals, SIGSTOP);
  ::posix_spawnattr_setsigdefault(&attr, &all_signals);
  ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  const int rc = ::posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ);
  ::posix_spawnattr_destroy(&attr);
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  if (rc != 0) {
    result.error = SystemMessage({rc, std::system_category()});
    return result;
  }
  result.started = true;

  LineSplitter errors(on_error);
  bool out_open = true;
  bool err_open = true;
  char buffer[65536];
  while (out_open || err_open) {
    if (!result.stopped && stop && stop()) {
      ::kill(pid, SIGKILL);
      result.stopped = true;
    }
    pollfd fds[2] = {{out_read.get(), POLLIN, 0}, {err_read.get(), POLLIN, 0}};
    if (!out_open) fds[0].fd = -1;
    if (!err_open) fds[1].fd = -1;
    const int ready = ::poll(fds, 2, kPollMs);
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        (i == 0 ? out_open : err_open) = false;
        continue;
      }
      if (i == 0) {
        output.append(buffer, static_cast<size_t>(n));
      } else if (!result.stopped) {
        errors.Add(std::string_view(buffer, static_cast<size_t>(n)));
      }
    }
  }
  if (!result.stopped) errors.Finish();
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.exit_code = 128 + WTERMSIG(status);
  return result;
}

// Removes the shell quoting xorriso puts around a path in its reports:
// '...' pieces, with "'" written as '"'"'.
bool Unquote(std::string_view text, std::string& out) {
  out.clear();
  size_t i = 0;
  while (i < text.size()) {
    const char quote = text[i];
    if (quote != '\'' && quote != '"') return false;
    const size_t end = text.find(quote, i + 1);
    if (end == std::string_view::npos) return false;
    out.append(text.substr(i + 1, end - i - 1));
    i = end + 1;
  }
  return true;
}

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

bool StartsWith(std::string_view text, std::string_view head) {
  return text.substr(0, head.size()) == head;
}

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    const size_t start = i;
    while (i < text.size() && text[i] != ' ') ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

bool ToNumber(std::string_view text, uint64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

}  // namespace

std::vector<std::string> XorrisoWriteArguments(const IsoWriteRequest& request) {
  std::vector<std::string> args = CommonArguments();
  const std::vector<std::string> rest = {
      "-report_about", "UPDATE", "-outdev", "stdio:" + request.output, "-volid", request.label,
      "-joliet", "on", "-rockridge", "off",
      // Level 3: files over 4 GiB in several extents. Joliet names of up to
      // 103 characters (UTF-16, so every Unicode character is kept) in paths
      // of any length; folders deeper than 8 levels; no multi-session table.
      "-compliance",
      "iso_9660_level=3:joliet_long_names:joliet_long_paths:joliet_utf16:deep_paths:"
      "long_paths:no_emul_toc",
      "-map", request.tree, "/",
      // The caller flushes the finished image once; a flush every 16 MiB
      // (xorriso's own default) only slows the writing down.
      "-stdio_sync", "off"};
  args.insert(args.end(), rest.begin(), rest.end());
  bool first = true;
  for (const IsoBootEntry& entry : request.boot) {
    if (!first) args.insert(args.end(), {"-boot_image", "any", "next"});
    first = false;
    if (entry.platform == BootPlatform::kEfi) {
      args.insert(args.end(), {"-boot_image", "any", "efi_path=" + entry.image_path});
      continue;
    }
    args.insert(args.end(), {"-boot_image", "any", "bin_path=" + entry.image_path});
    args.insert(args.end(), {"-boot_image", "any", "platform_id=" + Hex(0)});
    args.insert(args.end(), {"-boot_image", "any", "emul_type=no_emulation"});
    args.insert(args.end(),
                {"-boot_image", "any", "load_size=" + std::to_string(entry.load_sectors * 512)});
  }
  // The catalogue is for the firmware; the trees list the user's files only.
  if (!request.boot.empty()) args.insert(args.end(), {"-boot_image", "any", "cat_hidden=on"});
  args.push_back("-end");
  return args;
}

std::vector<std::string> XorrisoReadArguments(const std::string& image) {
  std::vector<std::string> args = CommonArguments();
  const std::vector<std::string> rest = {"-report_about",
                                         "SORRY",
                                         "-read_fs",
                                         "norock",
                                         "-indev",
                                         "stdio:" + image,
                                         "-pvd_info",
                                         "-report_el_torito",
                                         "plain",
                                         "-find",
                                         "/",
                                         "-exec",
                                         "lsdl",
                                         "--",
                                         "-end"};
  args.insert(args.end(), rest.begin(), rest.end());
  return args;
}

bool ParseXorrisoProgress(std::string_view line, uint64_t& bytes) {
  const size_t at = line.find("Writing:");
  if (at == std::string_view::npos || line.find(": UPDATE :") == std::string_view::npos) {
    return false;
  }
  std::string_view rest = TrimSpaces(line.substr(at + 8));
  size_t digits = 0;
  while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
  if (digits == 0 || digits >= rest.size() || rest[digits] != 's') return false;
  uint64_t sectors = 0;
  if (!ToNumber(rest.substr(0, digits), sectors)) return false;
  bytes = sectors * 2048;
  return true;
}

std::string XorrisoProblem(std::string_view line) {
  for (std::string_view severity : {": SORRY : ", ": FAILURE : ", ": FATAL : ", ": ABORT : "}) {
    const size_t at = line.find(severity);
    if (at != std::string_view::npos) {
      return std::string(TrimSpaces(line.substr(at + severity.size())));
    }
  }
  return {};
}

bool ParseXorrisoReport(std::string_view report, IsoContents& out, std::string& bad_line) {
  out = IsoContents();
  // Boot entries by their number in the catalogue.
  std::vector<IsoBootRecord> boot;
  size_t pos = 0;
  while (pos < report.size()) {
    size_t end = report.find('\n', pos);
    if (end == std::string_view::npos) end = report.size();
    const std::string_view line = report.substr(pos, end - pos);
    pos = end + 1;
    if (StartsWith(line, "Volume Id    :")) {
      out.label = std::string(TrimSpaces(line.substr(14)));
      continue;
    }
    if (StartsWith(line, "El Torito boot img :")) {
      const auto words = Words(line.substr(20));
      // N  Pltf  B  Emul  Ld_seg  Hdpt  Ldsiz  LBA
      uint64_t number = 0;
      uint64_t load = 0;
      if (words.size() < 8 || !ToNumber(words[0], number) || !ToNumber(words[6], load) ||
          number == 0 || number > 64) {
        bad_line = std::string(line);
        return false;
      }
      if (boot.size() < number) boot.resize(number);
      IsoBootRecord& record = boot[number - 1];
      record.platform = words[1] == "UEFI" ? BootPlatform::kEfi : BootPlatform::kBios;
      if (words[1] != "UEFI" && words[1] != "BIOS") {
        bad_line = std::string(line);
        return false;
      }
      record.no_emulation = words[3] == "none";
      record.load_sectors = static_cast<int>(load);
      continue;
    }
    if (StartsWith(line, "El Torito img path :")) {
      std::string_view rest = TrimSpaces(line.substr(20));
      const size_t space = rest.find(' ');
      uint64_t number = 0;
      if (space == std::string_view::npos || !ToNumber(rest.substr(0, space), number) ||
          number == 0 || number > boot.size()) {
        bad_line = std::string(line);
        return false;
      }
      boot[number - 1].image_path = std::string(TrimSpaces(rest.substr(space)));
      continue;
    }
    // An entry of the tree: "-r-xr-xr-x  1 0  0  SIZE Mon D HH:MM 'PATH'".
    if (line.size() > 10 && (line[0] == '-' || line[0] == 'd') &&
        (line[1] == 'r' || line[1] == '-')) {
      const size_t quote = line.find(" '");
      if (quote == std::string_view::npos) continue;
      const auto words = Words(line.substr(0, quote));
      IsoEntry entry;
      std::string path;
      if (words.size() < 5 || !ToNumber(words[4], entry.size) ||
          !Unquote(line.substr(quote + 1), path)) {
        bad_line = std::string(line);
        return false;
      }
      entry.folder = line[0] == 'd';
      if (entry.folder) entry.size = 0;
      if (path == "/") continue;
      entry.path = std::move(path);
      out.entries.push_back(std::move(entry));
    }
  }
  out.boot = std::move(boot);
  return true;
}

namespace {

// The outcome of a run that was not stopped: its first problem, a failing
// exit status, or done.
IsoOutcome Finished(const RunResult& run, const std::string& first_problem) {
  IsoOutcome outcome;
  if (!run.started) {
    outcome.reason = run.error;
  } else if (!first_problem.empty()) {
    outcome.reason = first_problem;
  } else if (run.exit_code != 0) {
    outcome.reason = "xorriso ended with exit status " + std::to_string(run.exit_code);
  } else {
    outcome.done = true;
  }
  return outcome;
}

}  // namespace

IsoOutcome XorrisoIsoImage::Write(const IsoWriteRequest& request) {
  // A tree reached through a link is mapped as the folder it names.
  IsoWriteRequest resolved = request;
  char buffer[PATH_MAX];
  if (::realpath(request.tree.c_str(), buffer) != nullptr) resolved.tree = buffer;
  std::string first_problem;
  std::string output;
  const RunResult run = RunProgram(
      program_, XorrisoWriteArguments(resolved), output,
      [&](std::string_view line) {
        uint64_t bytes = 0;
        if (ParseXorrisoProgress(line, bytes)) {
          if (request.progress) request.progress(bytes);
          return;
        }
        if (first_problem.empty()) first_problem = XorrisoProblem(line);
      },
      request.stop);
  if (run.stopped) {
    IsoOutcome outcome;
    outcome.stopped = true;
    return outcome;
  }
  return Finished(run, first_problem);
}

IsoOutcome XorrisoIsoImage::Read(const std::string& image, IsoContents& out) {
  std::string first_problem;
  std::string report;
  const auto on_error = [&](std::string_view line) {
    if (first_problem.empty()) first_problem = XorrisoProblem(line);
  };
  const RunResult run = RunProgram(program_, XorrisoReadArguments(image), report, on_error, {});
  IsoOutcome outcome = Finished(run, first_problem);
  std::string bad_line;
  if (outcome.done && !ParseXorrisoReport(report, out, bad_line)) {
    outcome.done = false;
    outcome.reason = "the image's report could not be read: " + bad_line;
  }
  return outcome;
}

bool XorrisoIsoImage::Inside(const std::string& path, const std::string& tree) {
  char buffer[PATH_MAX];
  if (::realpath(tree.c_str(), buffer) == nullptr) return false;
  const std::string real_tree = buffer;
  std::string real_path;
  if (::realpath(path.c_str(), buffer) != nullptr) {
    real_path = buffer;
  } else {
    // The file does not exist yet: its folder does.
    const size_t slash = path.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? std::string(".") : (slash == 0 ? "/" : path.substr(0, slash));
    if (::realpath(folder.c_str(), buffer) == nullptr) return false;
    real_path = buffer;
    real_path += (real_path == "/" ? "" : "/") + path.substr(slash + 1);
  }
  if (real_tree == "/") return true;
  return real_path == real_tree || StartsWith(real_path, real_tree + "/");
}

}  // namespace pelvar::platform
