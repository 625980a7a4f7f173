#include "ui/desktop_windows.h"

#include "ui/command_line_window.h"
#include "ui/log_window.h"
#include "ui/main_window.h"
#include "ui/paths_window.h"
#include "ui/script_editor_window.h"
#include "ui/settings_window.h"
#include "ui/tray_icon.h"
#include "ui/update_window.h"

namespace pelvar::ui {

DesktopWindows::DesktopWindows(app::ProgramLocation location, Dialogs& dialogs, Shell& shell,
                               const app::Clock& clock)
    : state_(std::move(location), dialogs, shell, clock) {
  main_ = std::make_unique<MainWindow>(state_);
  settings_ = new SettingsWindow(state_, main_.get());
  command_line_ = std::make_unique<CommandLineWindow>(state_);
  MainWindow* main = main_.get();
  update_ = new UpdateWindow(
      state_, main, [main] { return main->ChosenFolderPath(); },
      [main] { main->ListChosenFolder(); });
  paths_ = new PathsWindow(state_, main_.get());
  editor_ = std::make_unique<ScriptEditorWindow>(state_);
  log_ = std::make_unique<LogWindow>(state_);
  main_->SetCompanions(*paths_, *log_);
  main_->SetEditor(*editor_);
  main_->SetSettingsWindow(*settings_);
  main_->SetUpdateWindow(*update_);
  tray_ = new TrayIcon(state_, *main_);
  connect(main_.get(), &MainWindow::QuitRequested, this, &DesktopWindows::QuitRequested);
  connect(command_line_.get(), &CommandLineWindow::QuitRequested, this,
          &DesktopWindows::QuitRequested);
}

DesktopWindows::~DesktopWindows() {
  main_.reset();
  command_line_.reset();
  editor_.reset();
  log_.reset();
}

void DesktopWindows::ShowMain() {
  main_->show();
  if (main_->configuration_loaded()) tray_->Start();
}

void DesktopWindows::RunCommandLine(const app::RunArguments& args) {
  command_line_->Run(args);
}

}  // namespace pelvar::ui
