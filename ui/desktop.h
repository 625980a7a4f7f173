// The desktop program: the windows of one process, created once, and the
// choice between the main window and the command-line run window. This
// header stays free of Qt so that the program's entry point can include it.
#pragma once

#include <optional>

#include "app/program_location.h"
#include "app/run_arguments.h"

namespace pelvar::ui {

// Runs the desktop program: without `args` the main window, with them the
// command-line run window. Returns the program's exit status.
int RunDesktop(int argc, char** argv, const app::ProgramLocation& location,
               const std::optional<app::RunArguments>& args);

}  // namespace pelvar::ui
