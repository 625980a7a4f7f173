#include "ui/desktop_windows.h"

#include "ui/command_line_window.h"
#include "ui/log_window.h"
#include "ui/main_window.h"
#include "ui/paths_window.h"
#include "ui/script_editor_window.h"

namespace pelvar::ui {

DesktopWindows::DesktopWindows(app::ProgramLocation location, Dialogs& dialogs, Shell& shell,
                               const app::Clock& clock)
    : state_(std::move(location), dialogs, shell, clock) {
  main_ = std::make_unique<MainWindow>(state_);
  command_line_ = std::make_unique<CommandLineWindow>(state_);
  paths_ = new PathsWindow(state_, main_.get());
  editor_ = std::make_unique<ScriptEditorWindow>(state_);
  log_ = std::make_unique<LogWindow>(state_);
  main_->SetCompanions(*paths_, *log_);
  main_->SetEditor(*editor_);
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
}

void DesktopWindows::RunCommandLine(const app::RunArguments& args) {
  command_line_->Run(args);
}

}  // namespace pelvar::ui
