// The desktop program as a loadable module: its one exported entry.
#include "app/desktop_launcher.h"
#include "ui/desktop.h"

extern "C" __attribute__((visibility("default"))) int pelvar_run_desktop(
    int argc, char** argv, const pelvar::app::ProgramLocation* location,
    const pelvar::app::RunArguments* args) {
  std::optional<pelvar::app::RunArguments> run;
  if (args != nullptr) run = *args;
  return pelvar::ui::RunDesktop(argc, argv, *location, run);
}
