// A script run without windows: the log goes to `out` as it is written.
#pragma once

#include <cstdio>
#include <string>

#include "app/program_location.h"
#include "app/run_arguments.h"

namespace pelvar::app {

// Exit statuses of a headless run.
inline constexpr int kExitCompleted = 0;
inline constexpr int kExitError = 1;
inline constexpr int kExitMissingFile = 2;
// Only --batch: a path check failed or no script was checked.
inline constexpr int kExitNotStarted = 3;
// The run completed, and at least one failure line was logged.
inline constexpr int kExitCompletedWithFailures = 4;
// The command-line window was closed during the run, which stopped it after
// its current command.
inline constexpr int kExitStopped = 5;

// The status of a run that went to its end: kExitCompleted, or
// kExitCompletedWithFailures after printing how many failure lines were
// logged ("Failures logged: N") on `err`.
int CompletedStatus(size_t failures, std::FILE* err);

// Prints a message on its own line, CR shown as a line break.
void PrintConsoleMessage(std::FILE* err, std::string text);

// Runs the script the arguments name. Returns kExitCompleted when the run
// completed without a failure line, kExitCompletedWithFailures when it
// completed with some, kExitError when an error ended it, kExitMissingFile
// when the script or the configuration file is missing.
int RunHeadless(const RunArguments& args, const ProgramLocation& location, std::FILE* out,
                std::FILE* err, bool terminal);

}  // namespace pelvar::app
