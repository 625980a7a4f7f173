#include "ui/run_bridge.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>

#include <chrono>

#include "app/operation_progress.h"
#include "ui/dialogs.h"
#include "ui/log_list_model.h"

namespace pelvar::ui {

// The run view the job writes to; every call comes from the worker thread.
class RunBridge::WorkerView : public RunView {
 public:
  explicit WorkerView(RunBridge& bridge) : bridge_(bridge) {}

  void SetProgressMax(int max) override { bridge_.SetProgress(max, -1); }
  void SetProgressPosition(int position) override { bridge_.SetProgress(-1, position); }
  void SetStatus(std::string_view text) override { bridge_.SetStatus(text); }
  void AddLog(std::string_view text, LogKind kind, LogReveal reveal) override {
    Event event;
    event.type = Event::kLog;
    event.text.assign(text);
    event.kind = kind;
    event.reveal = reveal;
    bridge_.Post(std::move(event));
  }
  void AddLogWithReason(std::string_view text, LogKind kind, LogReveal reveal,
                        const LogReason& reason) override {
    Event event;
    event.type = Event::kLog;
    event.text.assign(text);
    event.kind = kind;
    event.reveal = reveal;
    event.reason.assign(reason.text);
    event.script.assign(reason.script);
    event.line = reason.line;
    bridge_.Post(std::move(event));
  }
  void ShowMessage(MessageKind kind, std::string_view caption, std::string_view text) override {
    RunBridge& bridge = bridge_;
    const QString q_caption = ToQt(caption);
    const QString q_text = ToQt(text);
    bridge_.RunOnWindowThread([&bridge, kind, q_caption, q_text] {
      bridge.dialogs_.Message(bridge.surface_.dialog_parent, kind, q_caption, q_text);
    });
  }
  bool StopRequested() const override { return bridge_.stop_requested_; }
  void ShowOperationProgress(std::string_view operation, uint64_t files, uint64_t bytes,
                             bool finished) override {
    const auto now = std::chrono::steady_clock::now();
    if (finished) {
      if (shown_) bridge_.SetOperation({});
      running_ = false;
      shown_ = false;
      return;
    }
    if (!running_) {
      running_ = true;
      started_ = now;
      return;
    }
    // Shown once the operation takes a while, then a few times a second.
    if (now - started_ < std::chrono::milliseconds(300)) return;
    if (shown_ && now - last_shown_ < std::chrono::milliseconds(100)) return;
    shown_ = true;
    last_shown_ = now;
    bridge_.SetOperation(app::OperationProgressText(operation, files, bytes));
  }

 private:
  RunBridge& bridge_;
  bool running_ = false;
  bool shown_ = false;
  std::chrono::steady_clock::time_point started_{};
  std::chrono::steady_clock::time_point last_shown_{};
};

// The batch's requests; every call comes from the worker thread.
class RunBridge::WorkerHost : public app::BatchHost {
 public:
  explicit WorkerHost(RunBridge& bridge) : bridge_(bridge) {}

  void ShowInformation(std::string_view text) override {
    Show(MessageKind::kInformation, QString::fromLatin1(kProgramTitle), ToQt(text));
  }
  void ShowError(std::string_view text) override {
    Show(MessageKind::kError, QString::fromLatin1(kProgramTitle), ToQt(text));
  }
  void SetProgressPanelVisible(bool visible) override {
    Event event;
    event.type = Event::kPanel;
    event.index = visible ? 1 : 0;
    bridge_.Post(std::move(event));
  }
  void SetRunTitle(std::string_view text) override {
    Event event;
    event.type = Event::kTitle;
    event.text.assign(text);
    bridge_.Post(std::move(event));
  }
  void ClearLog() override { bridge_.Post(Event{Event::kClear, {}, {}, {}, 0}); }
  void SelectLogLine(size_t index) override {
    bridge_.Post(Event{Event::kSelectLine, {}, {}, {}, index});
  }
  void Beep() override { bridge_.Post(Event{Event::kBeep, {}, {}, {}, 0}); }

 private:
  void Show(MessageKind kind, const QString& caption, const QString& text) {
    RunBridge& bridge = bridge_;
    bridge_.RunOnWindowThread([&bridge, kind, caption, text] {
      bridge.dialogs_.Message(bridge.surface_.dialog_parent, kind, caption, text);
    });
  }

  RunBridge& bridge_;
};

RunBridge::RunBridge(RunSurface surface, Dialogs& dialogs, Shell& shell, QObject* parent)
    : QObject(parent), surface_(std::move(surface)), dialogs_(dialogs), shell_(shell) {
  timer_.setInterval(kDrainIntervalMs);
  connect(&timer_, &QTimer::timeout, this, &RunBridge::Drain);
}

RunBridge::~RunBridge() {
  if (!worker_.joinable()) return;
  stop_requested_ = true;
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
  }
  answered_.notify_all();
  worker_.join();
}

bool RunBridge::Start(Job job) {
  if (worker_.joinable()) return false;
  stop_requested_ = false;
  {
    std::lock_guard lock(mutex_);
    cancelled_ = false;
  }
  timer_.start();
  worker_ = std::thread([this, job = std::move(job)] {
    WorkerView view(*this);
    WorkerHost host(*this);
    job(view, host);
    QMetaObject::invokeMethod(this, &RunBridge::OnWorkerDone, Qt::QueuedConnection);
  });
  return true;
}

void RunBridge::OnWorkerDone() {
  if (worker_.joinable()) worker_.join();
  timer_.stop();
  Drain();
  emit Finished();
}

void RunBridge::Post(Event event) {
  std::lock_guard lock(mutex_);
  events_.push_back(std::move(event));
}

void RunBridge::SetProgress(int max, int position) {
  std::lock_guard lock(mutex_);
  if (max >= 0) progress_max_ = max;
  if (position >= 0) progress_position_ = position;
  progress_dirty_ = true;
}

void RunBridge::SetStatus(std::string_view text) {
  std::lock_guard lock(mutex_);
  status_.assign(text);
  status_dirty_ = true;
}

void RunBridge::SetOperation(std::string text) {
  std::lock_guard lock(mutex_);
  operation_ = std::move(text);
  operation_dirty_ = true;
}

void RunBridge::RunOnWindowThread(std::function<void()> fn) {
  auto done = std::make_shared<bool>(false);
  std::unique_lock lock(mutex_);
  if (cancelled_) return;
  QMetaObject::invokeMethod(
      this,
      [this, fn = std::move(fn), done] {
        Drain();
        fn();
        {
          std::lock_guard answered(mutex_);
          *done = true;
        }
        answered_.notify_all();
      },
      Qt::QueuedConnection);
  answered_.wait(lock, [&] { return *done || cancelled_; });
}

void RunBridge::Reveal(int row, LogReveal reveal) {
  if (surface_.log_view == nullptr || surface_.log == nullptr || row < 0) return;
  const QModelIndex index = surface_.log->index(row, 0);
  if (reveal == LogReveal::kSelect) {
    surface_.log_view->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
  if (reveal != LogReveal::kAppend) surface_.log_view->scrollTo(index);
}

void RunBridge::Drain() {
  std::vector<Event> events;
  int progress_max = -1;
  int progress_position = -1;
  bool progress_dirty = false;
  std::string status;
  bool status_dirty = false;
  std::string operation;
  bool operation_dirty = false;
  {
    std::lock_guard lock(mutex_);
    if (operation_dirty_) {
      operation.swap(operation_);
      operation_dirty = true;
      operation_dirty_ = false;
    }
    events.swap(events_);
    if (progress_dirty_) {
      progress_max = progress_max_;
      progress_position = progress_position_;
      progress_dirty = true;
      progress_dirty_ = false;
    }
    if (status_dirty_) {
      status.swap(status_);
      status_dirty = true;
      status_dirty_ = false;
    }
  }

  std::vector<LogLine> pending;
  int reveal_row = -1;
  LogReveal reveal = LogReveal::kAppend;
  auto flush_lines = [&] {
    if (pending.empty()) return;
    if (surface_.log != nullptr) surface_.log->Append(std::move(pending));
    pending.clear();
    Reveal(reveal_row, reveal);
    reveal_row = -1;
  };
  for (Event& event : events) {
    if (event.type == Event::kLog) {
      pending.push_back({std::move(event.text), event.kind, std::move(event.reason),
                         std::move(event.script), event.line});
      if (event.reveal != LogReveal::kAppend) {
        const int base = surface_.log != nullptr ? surface_.log->rowCount() : 0;
        reveal_row = base + static_cast<int>(pending.size()) - 1;
        reveal = event.reveal;
      }
      continue;
    }
    flush_lines();
    switch (event.type) {
      case Event::kClear:
        if (surface_.log != nullptr) surface_.log->Clear();
        break;
      case Event::kSelectLine:
        Reveal(static_cast<int>(event.index), LogReveal::kSelect);
        if (surface_.log_view != nullptr && surface_.log_view->isVisible()) {
          surface_.log_view->setFocus();
        }
        break;
      case Event::kPanel:
        if (surface_.set_panel_visible) surface_.set_panel_visible(event.index != 0);
        break;
      case Event::kTitle:
        if (surface_.set_title) surface_.set_title(ToQt(event.text));
        break;
      case Event::kBeep:
        shell_.Beep();
        break;
      case Event::kLog:
        break;
    }
  }
  flush_lines();
  if (progress_dirty && surface_.progress != nullptr) {
    if (progress_max >= 0) surface_.progress->setMaximum(progress_max);
    if (progress_position >= 0) surface_.progress->setValue(progress_position);
  }
  if (status_dirty) shown_status_ = ToQt(status);
  if (operation_dirty) shown_operation_ = ToQt(operation);
  if ((status_dirty || operation_dirty) && surface_.status != nullptr) {
    // An operation without a status (Make ISO) takes the status's line.
    if (shown_operation_.isEmpty() || shown_status_.isEmpty()) {
      surface_.status->setText(shown_operation_.isEmpty() ? shown_status_ : shown_operation_);
    } else {
      surface_.status->setText(shown_status_ + QLatin1Char('\n') + shown_operation_);
    }
  }
}

}  // namespace pelvar::ui
