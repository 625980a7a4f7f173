// Runs a script job on a worker thread and shows what it reports on the
// window's thread: log lines in batches (a few dozen times a second, never
// one repaint per line), the latest progress and status, and the batch's
// requests in the order they were made. Dialogs that the job asks for are
// shown on the window's thread while the job waits.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/batch_run.h"
#include "engine/run_view.h"

class QAbstractItemView;
class QLabel;
class QProgressBar;
class QWidget;

namespace pelvar::ui {

class Dialogs;
class LogListModel;
class Shell;

// Where a run's output lands; every member may be left empty.
struct RunSurface {
  LogListModel* log = nullptr;
  QAbstractItemView* log_view = nullptr;
  QProgressBar* progress = nullptr;
  QLabel* status = nullptr;
  QWidget* dialog_parent = nullptr;
  std::function<void(bool)> set_panel_visible;
  std::function<void(const QString&)> set_title;
};

class RunBridge : public QObject {
  Q_OBJECT

 public:
  // A job runs on the worker thread with a view and a host that report here.
  using Job = std::function<void(RunView& view, app::BatchHost& host)>;

  RunBridge(RunSurface surface, Dialogs& dialogs, Shell& shell, QObject* parent = nullptr);
  // Stops a running job after its current command and waits for it.
  ~RunBridge() override;

  // Starts a job; false while another one runs.
  bool Start(Job job);
  bool running() const { return worker_.joinable(); }
  // Asks the job to stop after its current command.
  void RequestStop() { stop_requested_ = true; }
  bool stop_requested() const { return stop_requested_; }
  // Shows everything reported so far (window thread).
  void Drain();

  // How often the window takes the reported lines while a job runs.
  static constexpr int kDrainIntervalMs = 40;

 signals:
  // The job has returned and everything it reported is shown.
  void Finished();

 private:
  class WorkerView;
  class WorkerHost;
  struct Event {
    enum Type { kLog, kClear, kSelectLine, kPanel, kTitle, kBeep };
    Type type = kLog;
    std::string text;
    LogKind kind = LogKind::kFailure;
    LogReveal reveal = LogReveal::kAppend;
    size_t index = 0;
    std::string reason = {};
    std::string script = {};
    size_t line = 0;
  };

  void Post(Event event);
  void SetProgress(int max, int position);
  void SetStatus(std::string_view text);
  // The progress line of a long operation; empty once it has ended.
  void SetOperation(std::string text);
  // Runs `fn` on the window's thread after a Drain and waits for it.
  void RunOnWindowThread(std::function<void()> fn);
  void OnWorkerDone();
  void Reveal(int row, LogReveal reveal);

  RunSurface surface_;
  Dialogs& dialogs_;
  Shell& shell_;
  QTimer timer_;
  std::thread worker_;
  std::atomic<bool> stop_requested_{false};

  std::mutex mutex_;
  std::condition_variable answered_;
  bool cancelled_ = false;
  std::vector<Event> events_;
  int progress_max_ = -1;
  int progress_position_ = -1;
  bool progress_dirty_ = false;
  std::string status_;
  bool status_dirty_ = false;
  std::string operation_;
  bool operation_dirty_ = false;
  // What the status label shows: the status, and under it the operation.
  QString shown_status_;
  QString shown_operation_;
};

}  // namespace pelvar::ui
