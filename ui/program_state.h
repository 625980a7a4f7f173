// What the windows of one program share: where the program lives, its
// configuration file, the run options and the seams to the desktop.
#pragma once

#include "app/batch_run.h"
#include "app/clock.h"
#include "app/program_config.h"
#include "app/program_location.h"

namespace pelvar::ui {

class Dialogs;
class Shell;
}  // namespace pelvar::ui

class QWidget;

namespace pelvar::ui {

struct ProgramState {
  ProgramState(app::ProgramLocation where, Dialogs& d, Shell& s, const app::Clock& c)
      : location(std::move(where)), dialogs(d), shell(s), clock(c) {}

  app::ProgramLocation location;
  // Loaded by the configuration load at the main window's first showing.
  app::ProgramConfig config;
  // The end-of-run options (keys log, beep, buildmsg).
  app::BatchOptions run_options;
  Dialogs& dialogs;
  Shell& shell;
  const app::Clock& clock;
};

// Writes one configuration key; an error (a read-only file) is shown in the
// error box and false returned. Without a configuration file nothing is
// written (and true returned).
bool WriteConfigKey(ProgramState& state, QWidget* parent, const app::ConfigKey& key,
                    const std::string& value);

}  // namespace pelvar::ui
