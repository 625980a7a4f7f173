// The launcher of a real run: programs are started with posix_spawn, the
// parameter string split by the Windows command-line rules. Verb "open" (or
// an empty verb) runs an executable file directly and hands any other file or
// a folder to the desktop's opener; other verbs have no meaning here and
// start nothing. A hidden start connects the program's standard streams to
// /dev/null (standard error to a pipe when the request keeps it); a normal
// or minimized one shares the run's standard input and error, and writes
// its standard output to the run's standard error, so that the run's own
// output stays the log. Waits watch the process through a pidfd and end
// early when the request's `stop` says so; programs not waited for to the
// end are reaped by one background thread.
#pragma once

#include <string>

#include "platform/process_launcher.h"

namespace pelvar::platform {

class PosixProcessLauncher : public ProcessLauncher {
 public:
  // `opener` opens documents: a program name searched in PATH, or a path.
  explicit PosixProcessLauncher(std::string opener = "xdg-open");

  // A file with a "/" or "\" is a script path; a bare name is searched in
  // PATH, then taken relative to the working folder. A program started
  // without waiting is reaped in the background.
  ProcessOutcome Run(const ProcessRequest& request, bool wait) override;

 private:
  std::string opener_;
};

// The executable file `name` in the folders of PATH; empty when none.
std::string FindProgramInPath(const std::string& name);

}  // namespace pelvar::platform
