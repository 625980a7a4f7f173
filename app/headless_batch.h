// The batch run without windows (pelvar --batch [FOLDER]): the checked
// scripts of a script folder run as the main window's "Start" runs them,
// with the log printed as the headless run prints it.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "app/clock.h"
#include "app/program_location.h"
#include "app/run_arguments.h"

namespace pelvar::app {

struct BatchArguments {
  // A caption of the folder list or a folder path; empty: LastUsedFolder.
  std::string folder;
  RunArguments options;  // /TargetDir= and /SourceDir= apply to this run only
};

// `args` is the whole command line; args[1] is "--batch".
BatchArguments ParseBatchArguments(const std::vector<std::string>& args);

// The folder a batch argument names: the program folder's script folder of
// that caption when it exists, else the path itself.
std::string ResolveBatchFolder(const std::string& program_folder, const std::string& folder);

// Runs the batch. Exit statuses as RunHeadless, and kExitNotStarted when a
// check failed or nothing is checked.
int RunHeadlessBatch(const BatchArguments& args, const ProgramLocation& location,
                     const Clock& clock, std::FILE* out, std::FILE* err, bool terminal);

}  // namespace pelvar::app
