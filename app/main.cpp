// pelvar: runs .script files.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/clock.h"
#include "app/desktop_launcher.h"
#include "app/embedded_file_tool.h"
#include "app/headless_batch.h"
#include "app/headless_check.h"
#include "app/headless_make_iso.h"
#include "app/headless_run.h"
#include "app/program_location.h"
#include "app/run_arguments.h"
#include "app/stop_signals.h"
#include "platform/system_folders.h"

namespace {

constexpr const char* kUsage =
    "Usage: pelvar                     show the main window (script catalogue)\n"
    "       pelvar SCRIPT [/TargetDir=DIR] [/SourceDir=DIR] [/IsoFile=FILE] [/PressKey] "
    "[/silent]\n"
    "       pelvar --batch [FOLDER] [/TargetDir=DIR] [/SourceDir=DIR] [/IsoFile=FILE]\n"
    "       pelvar --check SCRIPT|FOLDER... [/TargetDir=DIR] [/SourceDir=DIR] [/IsoFile=FILE]\n"
    "       pelvar --dry-run SCRIPT [/TargetDir=DIR] [/SourceDir=DIR] [/IsoFile=FILE]\n"
    "       pelvar --make-iso [/TargetDir=DIR] [/IsoFile=FILE] [/Label=NAME]\n"
    "       pelvar --embed SCRIPT FOLDER FILE...\n"
    "       pelvar --list-embedded SCRIPT\n"
    "       pelvar --extract-embedded SCRIPT FOLDER FILE DIR\n"
    "       pelvar --help | --version\n"
    "\n"
    "SCRIPT: runs the commands of the script's [process] section in a small\n"
    "window (with /silent: without a window). The target folder, source folder\n"
    "and ISO file come from section [main] of pelvar.ini in the program folder\n"
    "($PELVAR_HOME, else the executable's folder when it holds pelvar.ini, else\n"
    "$XDG_CONFIG_HOME/pelvar for an installed program); /TargetDir=,\n"
    "/SourceDir= and /IsoFile= override them for this run. Options are matched\n"
    "ignoring case.\n"
    "\n"
    "--batch: runs the checked scripts of a script folder of the program folder\n"
    "(a folder name such as Scripts, or a path; default: LastUsedFolder) as the\n"
    "main window's Start button does, without a window.\n"
    "\n"
    "--check reads scripts as a run would and reports, without changing\n"
    "anything, as \"SCRIPT:LINE: error|warning: MESSAGE\" and a summary: an error\n"
    "for every line certain to end a run, a warning for lines that do nothing\n"
    "or may end a run depending on the files. A FOLDER checks every script in\n"
    "it. Exit status 0 when nothing was found, 1 otherwise (a named script that\n"
    "does not exist is a finding), 2 when nothing is named.\n"
    "\n"
    "--dry-run runs the script without a window on the real files, registry\n"
    "store and hive files but changes nothing: programs are not started and\n"
    "nothing is downloaded. After each log line it prints, indented, what the\n"
    "command would have changed: \"+ create PATH (N bytes)\", \"~ replace\",\n"
    "\"- delete\", \"+ folder\", \"- folder\", INI keys and registry values as\n"
    "\"OLD -> NEW\", and \"! would start ...\" or \"! would download ...\".\n"
    "Later lines see the changes of earlier ones. Exit status as for a run;\n"
    "2 when no script is named.\n"
    "\n"
    "--make-iso writes the ISO 9660 image (Joliet names, level 3) of the target\n"
    "folder to the ISO file with xorriso: BIOS boot from boot\\etfsboot.com and\n"
    "UEFI boot from efi\\microsoft\\boot\\efisys.bin when the folder holds them\n"
    "(any letter case). The image is read back and compared with the folder\n"
    "before it replaces the ISO file. Exit status 0 when it was made, 3 when it\n"
    "was refused before anything was written, 4 when it failed.\n"
    "\n"
    "--embed stores files inside a script (in FOLDER of its embedded files),\n"
    "--list-embedded lists them, --extract-embedded writes FILE into the folder\n"
    "DIR (made when missing) as DIR/FILE, replacing a file of that name there.\n"
    "Exit status 0 when done, 1 when a file is not embedded or cannot be\n"
    "written, 2 when the arguments are wrong or the script does not exist.\n"
    "\n"
    "Without a window each log line is printed as it is written, as\n"
    "\"<kind><TAB><text>\" when the output is not a terminal.\n"
    "\n"
    "An error that ends a run is printed on stderr as \"SCRIPT:LINE: TEXT\",\n"
    "followed by the line as written in the script.\n"
    "\n"
    "Exit status: 0 the run completed without a failure line, 1 an error ended\n"
    "the run, 2 the script, folder or configuration file is missing, or no\n"
    "script is named (--check, --dry-run), 3 (--batch)\n"
    "a path check failed or no script is checked, 4 the run completed and some\n"
    "commands failed (their count is printed on stderr), 128 + the signal's\n"
    "number (130, 143, 129) when SIGINT, SIGTERM or SIGHUP stopped the run\n"
    "after its current command.\n";

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
  // SIGTERM, SIGINT and SIGHUP stop a run after its current command.
  pelvar::app::InstallStopSignals();
  if (auto status = pelvar::app::RunEmbeddedFileTool(args, stdout, stderr)) {
    if (pelvar::app::StopSignal() != 0) {
      std::fprintf(stderr, "%s\n", pelvar::app::kSignalStoppedText);
      return pelvar::app::StopSignalExitStatus();
    }
    return *status;
  }
  const bool terminal = ::isatty(STDOUT_FILENO) == 1;
  if (argc >= 2 && args[1] == "--check") {
    return pelvar::app::RunCheck(args, pelvar::app::LocateProgram(argv[0]), stdout, stderr);
  }
  if (argc >= 2 && args[1] == "--dry-run") {
    std::vector<std::string> rest = args;
    rest.erase(rest.begin() + 1);
    pelvar::app::RunArguments run = pelvar::app::ParseRunArguments(rest);
    pelvar::app::AnchorScriptPath(run, pelvar::platform::WorkingFolder());
    if (!run.has_script) {
      std::fputs("pelvar --dry-run: name a script\n", stderr);
      return 2;
    }
    run.dry_run = true;
    run.silent = true;
    return pelvar::app::RunHeadless(run, pelvar::app::LocateProgram(argv[0]), stdout, stderr,
                                    terminal);
  }
  if (argc >= 2 && args[1] == "--make-iso") {
    return pelvar::app::RunHeadlessMakeIso(pelvar::app::ParseMakeIsoArguments(args),
                                           pelvar::app::LocateProgram(argv[0]), stdout, stderr,
                                           terminal);
  }
  if (argc >= 2 && args[1] == "--batch") {
    const pelvar::app::SteadyClock clock;
    return pelvar::app::RunHeadlessBatch(pelvar::app::ParseBatchArguments(args),
                                         pelvar::app::LocateProgram(argv[0]), clock, stdout, stderr,
                                         terminal);
  }
  if (argc < 2) {
    return pelvar::app::RunDesktop(argc, argv, pelvar::app::LocateProgram(argv[0]), std::nullopt,
                                   stderr);
  }
  const pelvar::app::ProgramLocation location = pelvar::app::LocateProgram(argv[0]);
  pelvar::app::RunArguments run = pelvar::app::ParseRunArguments(args);
  pelvar::app::AnchorScriptPath(run, pelvar::platform::WorkingFolder());
  if (!run.silent && pelvar::app::DisplayAvailable()) {
    return pelvar::app::RunDesktop(argc, argv, location, run, stderr);
  }
  return pelvar::app::RunHeadless(run, location, stdout, stderr, terminal);
}
