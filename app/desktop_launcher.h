// The entry into the desktop program. The windows live in a module of their
// own (pelvar-desktop.so), loaded only when a window is to be shown, so that
// headless runs start without loading the toolkit.
#pragma once

#include <cstdio>
#include <optional>

#include "app/program_location.h"
#include "app/run_arguments.h"

namespace pelvar::app {

// Name of the exported entry of the module:
// int pelvar_run_desktop(int argc, char** argv, const ProgramLocation*,
//                        const RunArguments* /* null: the main window */)
inline constexpr const char* kDesktopEntry = "pelvar_run_desktop";
using DesktopEntry = int (*)(int, char**, const ProgramLocation*, const RunArguments*);

// True when a display is there to show windows on ($DISPLAY,
// $WAYLAND_DISPLAY or an explicit $QT_QPA_PLATFORM).
bool DisplayAvailable();

// Loads the module (beside the executable, else in the installed module
// folder, found relative to the executable or where it was installed) and runs the desktop program:
// without `args` the main window, with them the command-line run window. When the module cannot be
// loaded, says so on `err` and returns 2.
int RunDesktop(int argc, char** argv, const ProgramLocation& location,
               const std::optional<RunArguments>& args, std::FILE* err);

}  // namespace pelvar::app
