// The run of the one script named on the command line, shared by the
// command-line window and the headless (/silent) run: the checks, the
// configuration's paths with the command line's folders over them, the run.
#pragma once

#include <string>
#include <vector>

#include "app/program_location.h"
#include "app/run_arguments.h"
#include "engine/run_view.h"

namespace pelvar::app {

enum class CommandLineOutcome {
  kCompleted,      // the run went through (single commands may have failed)
  kError,          // an error ended it; `message` holds its display text, after
                   // "SCRIPT:LINE: " and followed by CR and the line when a
                   // line raised it
  kScriptMissing,  // argument 1 names no file; `message` says so
  kConfigMissing,  // no configuration file; `message` says so
};

struct CommandLineResult {
  CommandLineOutcome outcome = CommandLineOutcome::kCompleted;
  std::string message;
};

// "Executing: \"" + argument 1 + "\"".
std::string ExecutingText(const RunArguments& args);

// "\"" + file-name part of argument 1 + "\" file was not found!".
std::string ScriptNotFoundText(const RunArguments& args);

// What a window tells of a run's failed lines (kind 0): their number ("3
// commands failed") and the first one: its place and reason ("a.script:4: no
// such file", the script's file name only) when known, else its text.
struct FailureSummary {
  size_t failed = 0;
  std::string count_text;
  std::string first;
  // The first failed line in full: its place, text and reason.
  std::string first_details;
};
FailureSummary SummariseFailures(const std::vector<LogLine>& lines);

// Checks the script and the configuration file, then runs the script's
// "process" section with the configuration's paths, the command line's
// target and source folders replacing theirs. An error that ends the run is
// added to the log as a failure line, followed by one that names its place. Nothing is written to
// the configuration file.
CommandLineResult RunCommandLine(const RunArguments& args, const ProgramLocation& location,
                                 RunView& view);

}  // namespace pelvar::app
