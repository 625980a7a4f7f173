// Starting programs and opening documents: the stand-in for the shell's
// "execute" service. A request names a verb, a file (a script path or a bare
// program name searched in PATH) and a parameter string in the Windows
// command-line convention, which the launcher splits into arguments.
#pragma once

#include <functional>
#include <string>

namespace pelvar::platform {

enum class ShowMode { kNormal, kMinimized, kHidden };

struct ProcessRequest {
  std::string verb = "open";  // as the script gives it
  std::string file;           // script path or bare program name
  std::string parameters;     // Windows command-line text
  ShowMode show = ShowMode::kNormal;
  // Asked while the program is waited for (a few times a second); once it
  // returns true the wait ends and the program goes on running.
  std::function<bool()> stop;
  // A hidden program's standard error is kept (up to a few KiB) in
  // ProcessOutcome::error_output instead of being discarded.
  bool keep_error_output = false;
};

struct ProcessOutcome {
  bool started = false;      // false: nothing could be started
  int exit_code = -1;        // when waited for: the exit status (128 + signal if killed)
  std::string error;         // why nothing started
  bool stopped = false;      // the wait was ended by `stop`; exit_code is -1
  std::string error_output;  // see ProcessRequest::keep_error_output
};

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  // Starts the program; with `wait` returns when it has ended or the
  // request's `stop` asked to stop waiting, otherwise at once (the launcher
  // reaps it; no zombie is left).
  virtual ProcessOutcome Run(const ProcessRequest& request, bool wait) = 0;
};

}  // namespace pelvar::platform
