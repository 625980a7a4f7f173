// The windows of the desktop program, created once in a fixed order and
// living until the program ends; the modes only show and hide them.
#pragma once

#include <QObject>
#include <memory>

#include "app/run_arguments.h"
#include "ui/program_state.h"

namespace pelvar::ui {

class CommandLineWindow;
class LogWindow;
class MainWindow;
class PathsWindow;
class ScriptEditorWindow;
class SettingsWindow;
class TrayIcon;
class UpdateWindow;

class DesktopWindows : public QObject {
  Q_OBJECT

 public:
  DesktopWindows(app::ProgramLocation location, Dialogs& dialogs, Shell& shell,
                 const app::Clock& clock);
  ~DesktopWindows() override;

  // Window mode: shows the main window (its first showing loads the
  // configuration).
  void ShowMain();
  // Command-line mode: the command-line window runs argument 1.
  void RunCommandLine(const app::RunArguments& args);

  ProgramState& state() { return state_; }
  MainWindow& main_window() { return *main_; }
  CommandLineWindow& command_line_window() { return *command_line_; }
  PathsWindow& paths_window() { return *paths_; }
  ScriptEditorWindow& script_editor() { return *editor_; }
  LogWindow& log_window() { return *log_; }
  SettingsWindow& settings_window() { return *settings_; }
  TrayIcon& tray_icon() { return *tray_; }
  UpdateWindow& update_window() { return *update_; }

 signals:
  // The program should end with this exit status.
  void QuitRequested(int status);

 private:
  ProgramState state_;
  // Destroyed in reverse: the main window (and its run) goes first.
  std::unique_ptr<LogWindow> log_;
  std::unique_ptr<ScriptEditorWindow> editor_;
  std::unique_ptr<CommandLineWindow> command_line_;
  std::unique_ptr<MainWindow> main_;
  PathsWindow* paths_ = nullptr;        // owned by the main window
  SettingsWindow* settings_ = nullptr;  // owned by the main window
  TrayIcon* tray_ = nullptr;            // owned by the main window
  UpdateWindow* update_ = nullptr;      // owned by the main window
};

}  // namespace pelvar::ui
