// The command line of a script run: argument 1 is the script; "/silent",
// "/PressKey", "/TargetDir=", "/SourceDir=" and "/IsoFile=" may stand
// anywhere inside any argument, matched ignoring case; a later path option
// wins.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pelvar::app {

struct RunArguments {
  std::string script;  // argument 1, empty when absent
  bool has_script = false;
  std::optional<std::string> target_dir;
  std::optional<std::string> source_dir;
  std::optional<std::string> iso_file;
  bool silent = false;
  bool press_key = false;
  // Not an option of the script's command line: set for --dry-run, which
  // runs the script on services that change nothing (app/dry_run.h).
  bool dry_run = false;
};

// `args` holds every argument, the program's own path at index 0.
RunArguments ParseRunArguments(const std::vector<std::string>& args);

// A script named by a relative path is named from `working_folder`, so
// that %scriptdir% is the folder it lies in: left empty, "%scriptdir%\x"
// would name "\x", a file at the root of the file system.
void AnchorScriptPath(RunArguments& run, const std::string& working_folder);

}  // namespace pelvar::app
