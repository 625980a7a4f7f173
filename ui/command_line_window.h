// The small window of a run started with a script on the command line: what
// it executes, a progress bar, and "Process finished!" at the end. The
// program ends after the run unless /PressKey keeps the window open.
#pragma once

#include <QWidget>
#include <memory>

#include "app/command_line_run.h"
#include "app/run_arguments.h"
#include "ui/program_state.h"

class QLabel;
class QProgressBar;
class QToolButton;

namespace pelvar::ui {

class LogListModel;
class RunBridge;

class CommandLineWindow : public QWidget {
  Q_OBJECT

 public:
  explicit CommandLineWindow(ProgramState& state);
  ~CommandLineWindow() override;

  // Shows the window and runs argument 1 on a worker thread (once).
  void Run(const app::RunArguments& args);
  // The close button: ends the program (after the current command when a
  // run is going on).
  void Terminate();

  bool running() const;
  // The outcome of the run, once finished.
  const app::CommandLineResult& result() const { return result_; }
  // The hidden log list of the run.
  LogListModel& log() { return *log_; }

 signals:
  // The program should end with this exit status.
  void QuitRequested(int status);
  // The run has ended (whatever its outcome).
  void RunFinished();

 private:
  void OnFinished();
  int ExitStatus() const;

  ProgramState& state_;
  app::RunArguments args_;
  app::CommandLineResult result_;
  bool started_ = false;
  bool finished_ = false;
  bool quit_after_run_ = false;
  LogListModel* log_;
  QLabel* status_;
  QProgressBar* progress_;
  QToolButton* close_;
  std::unique_ptr<RunBridge> bridge_;
};

}  // namespace pelvar::ui
