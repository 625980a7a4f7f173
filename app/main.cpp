// pelvar: runs .script files.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/embedded_file_tool.h"
#include "app/headless_run.h"
#include "app/program_location.h"
#include "app/run_arguments.h"

namespace {

constexpr const char* kUsage =
    "Usage: pelvar SCRIPT [/TargetDir=DIR] [/SourceDir=DIR] [/PressKey] /silent\n"
    "       pelvar --help | --version\n"
    "\n"
    "Runs the commands of the script's [process] section. The target folder,\n"
    "source folder and ISO file come from section [main] of pelvar.ini in the\n"
    "program folder (the executable's folder, or $PELVAR_HOME); /TargetDir= and\n"
    "/SourceDir= override them for this run. Options are matched ignoring case.\n"
    "\n"
    "With /silent no window is shown: each log line is printed as it is written,\n"
    "as \"<kind><TAB><text>\" when the output is not a terminal.\n"
    "\n"
    "Exit status: 0 the run completed (single commands may have failed),\n"
    "1 an error ended the run, 2 the script or the configuration file is missing.\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  if (argc == 2 && (args[1] == "--help" || args[1] == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && args[1] == "--version") {
    std::printf("pelvar %s\n", PELVAR_VERSION);
    return 0;
  }
  if (auto status = pelvar::app::RunEmbeddedFileTool(args, stdout, stderr)) return *status;
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const pelvar::app::ProgramLocation location = pelvar::app::LocateProgram(argv[0]);
  const pelvar::app::RunArguments run = pelvar::app::ParseRunArguments(args);
  return pelvar::app::RunHeadless(run, location, stdout, stderr, ::isatty(STDOUT_FILENO) == 1);
}
