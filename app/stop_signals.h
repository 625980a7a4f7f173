// Stopping a run from outside: SIGTERM, SIGINT and SIGHUP ask the run to stop
// after the command that is running (a wait or a download ends at once), so
// that its temporary files are removed as on any other end; the windows end
// the program then. A second such signal ends the program at once.
#pragma once

namespace pelvar::app {

// Installs the handlers (once; later calls do nothing).
void InstallStopSignals();

// The signal that asked the run to stop; 0 when none has.
int StopSignal();

// The exit status of a run ended by that signal: 128 + its number (130 for
// SIGINT, 143 for SIGTERM, 129 for SIGHUP).
int StopSignalExitStatus();

// The log line of a run that a signal stopped.
inline constexpr const char* kSignalStoppedText = "Run stopped";

}  // namespace pelvar::app
