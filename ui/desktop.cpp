#include "ui/desktop.h"

#include "app/desktop_launcher.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/clock.h"
#include "app/stop_signals.h"
#include "ui/desktop_windows.h"
#include "ui/dialogs.h"
#include "ui/icons.h"

namespace pelvar::ui {

int RunDesktop(int argc, char** argv, const app::ProgramLocation& location,
               const std::optional<app::RunArguments>& args) {
  if (!app::DisplayAvailable()) {
    std::fputs(
        "pelvar: no display to show the main window on.\n"
        "Run a script with /silent, or the checked scripts with --batch (see pelvar --help).\n",
        stderr);
    return 2;
  }
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("pelvar"));
  QGuiApplication::setDesktopFileName(QStringLiteral("pelvar"));
  QApplication::setWindowIcon(ProgramIcon());
  QApplication::setQuitOnLastWindowClosed(false);

  QtDialogs dialogs;
  QtShell shell;
  const app::SteadyClock clock;
  DesktopWindows windows(location, dialogs, shell, clock);
  // Queued: a request made before the event loop runs still ends it.
  QObject::connect(
      &windows, &DesktopWindows::QuitRequested, &application,
      [](int status) { QCoreApplication::exit(status); }, Qt::QueuedConnection);
  // SIGTERM, SIGINT and SIGHUP end the program as closing it would, after
  // the running command: leaving the event loop destroys the windows, whose
  // run stops and removes its temporaries. (This module has its own copy of
  // the handlers' state, so they are installed from here.)
  app::InstallStopSignals();
  QTimer signal_poll;
  signal_poll.setInterval(200);
  QObject::connect(&signal_poll, &QTimer::timeout, &application, [] {
    if (app::StopSignal() != 0) QCoreApplication::exit(app::StopSignalExitStatus());
  });
  signal_poll.start();
  if (args) {
    windows.RunCommandLine(*args);
  } else {
    windows.ShowMain();
  }
  return QApplication::exec();
}

}  // namespace pelvar::ui
