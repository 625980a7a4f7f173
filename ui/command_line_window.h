// The small window of a run started with a script on the command line: what
// it executes, a progress bar, and "Process finished!" at the end, with the
// number of failed lines and the first one's place and reason under it (the
// "Show log" button shows the run's log lines). The program ends after the
// run unless /PressKey keeps the window open; its exit status is the one a
// run without a window has (0, 1, 2, 4), or kExitStopped when the window was
// closed during the run.
#pragma once

#include <QWidget>
#include <memory>

#include "app/command_line_run.h"
#include "app/run_arguments.h"
#include "ui/program_state.h"

class QCloseEvent;
class QDialog;
class QLabel;
class QProgressBar;
class QPushButton;
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
  // The close button: ends the program (a running run stops after its
  // current command first, and the program ends then).
  void Terminate();
  // "Show log": a window with the run's log lines and their reasons.
  void ShowRunLog();

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
  void closeEvent(QCloseEvent* event) override;
  // The translated captions of the profile in use ("Show log", the title
  // of the run's log window).
  void ApplyCaptions();
  void OnFinished();
  // Shows the failed lines' number and the first one under the status.
  void ShowFailures();
  int ExitStatus() const;

  ProgramState& state_;
  app::RunArguments args_;
  app::CommandLineResult result_;
  bool started_ = false;
  bool finished_ = false;
  bool quit_after_run_ = false;
  bool stopped_ = false;
  size_t failed_ = 0;
  LogListModel* log_;
  QLabel* status_;
  QLabel* failures_;
  QPushButton* show_log_;
  QDialog* log_dialog_ = nullptr;
  QWidget* frame_ = nullptr;
  QString log_title_ = QStringLiteral("Log window");
  QProgressBar* progress_;
  QToolButton* close_;
  std::unique_ptr<RunBridge> bridge_;
};

}  // namespace pelvar::ui
