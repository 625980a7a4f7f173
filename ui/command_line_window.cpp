#include "ui/command_line_window.h"

#include <QCloseEvent>
#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/headless_run.h"
#include "app/language_profiles.h"
#include "ui/captions.h"
#include "ui/dialogs.h"
#include "ui/icons.h"
#include "ui/log_list_model.h"
#include "ui/log_view_tools.h"
#include "ui/run_bridge.h"

namespace pelvar::ui {

namespace {

// The window's size, and its height while it shows failed lines.
constexpr int kWidth = 302;
constexpr int kHeight = 154;
constexpr int kHeightWithFailures = 214;

}  // namespace

CommandLineWindow::CommandLineWindow(ProgramState& state)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      state_(state),
      log_(new LogListModel(/*with_icons=*/false, this)),
      status_(new QLabel(this)),
      failures_(new QLabel(this)),
      show_log_(new QPushButton(QStringLiteral("Show log"), this)),
      progress_(new QProgressBar(this)),
      close_(new QToolButton(this)) {
  setObjectName(QStringLiteral("commandLineWindow"));
  setWindowTitle(QString::fromLatin1(kProgramTitle));
  setWindowIcon(ProgramIcon());
  setFixedSize(kWidth, kHeight);

  // Without a title bar the window needs an edge of its own, dark enough to
  // be seen on a light desktop.
  auto* frame = new QFrame(this);
  frame->setObjectName(QStringLiteral("commandLineFrame"));
  frame->setStyleSheet(
      QStringLiteral("QFrame#commandLineFrame { border: 1px solid palette(shadow); }"));
  frame->setGeometry(rect());
  frame->lower();
  frame_ = frame;

  auto* icon = new QLabel(this);
  icon->setPixmap(ProgramIcon().pixmap(32, 32));
  status_->setObjectName(QStringLiteral("statusLabel"));
  status_->setAlignment(Qt::AlignCenter);
  status_->setWordWrap(true);
  failures_->setObjectName(QStringLiteral("failureLabel"));
  failures_->setAlignment(Qt::AlignCenter);
  failures_->setWordWrap(true);
  failures_->setTextFormat(Qt::PlainText);
  failures_->hide();
  show_log_->setObjectName(QStringLiteral("showLogButton"));
  show_log_->hide();
  connect(show_log_, &QPushButton::clicked, this, &CommandLineWindow::ShowRunLog);
  progress_->setObjectName(QStringLiteral("progressBar"));
  progress_->setTextVisible(false);
  close_->setObjectName(QStringLiteral("closeButton"));
  close_->setAutoRaise(true);
  close_->setToolTip(QStringLiteral("Close edit window"));
  close_->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
  connect(close_, &QToolButton::clicked, this, &CommandLineWindow::Terminate);

  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(8, 6, 6, 10);
  layout->addWidget(icon, 0, 0, Qt::AlignTop | Qt::AlignLeft);
  layout->addWidget(close_, 0, 2, Qt::AlignTop | Qt::AlignRight);
  layout->addWidget(status_, 1, 0, 1, 3);
  layout->addWidget(failures_, 2, 0, 1, 3);
  layout->addWidget(show_log_, 3, 0, 1, 3, Qt::AlignHCenter);
  layout->addWidget(progress_, 4, 0, 1, 3);
  layout->setRowStretch(1, 1);
  layout->setColumnStretch(1, 1);

  RunSurface surface;
  surface.log = log_;
  surface.progress = progress_;
  surface.status = status_;
  surface.dialog_parent = this;
  bridge_ = std::make_unique<RunBridge>(std::move(surface), state_.dialogs, state_.shell);
  connect(bridge_.get(), &RunBridge::Finished, this, &CommandLineWindow::OnFinished);
}

CommandLineWindow::~CommandLineWindow() = default;

bool CommandLineWindow::running() const {
  return bridge_->running();
}

void CommandLineWindow::Run(const app::RunArguments& args) {
  if (started_) return;
  started_ = true;
  args_ = args;
  ApplyCaptions();
  status_->setText(ToQt(app::ExecutingText(args_)));
  if (QScreen* screen = this->screen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
  show();
  raise();
  const app::ProgramLocation location = state_.location;
  app::CommandLineResult* result = &result_;
  bridge_->Start([args, location, result](RunView& view, app::BatchHost&) {
    *result = app::RunCommandLine(args, location, view);
  });
}

void CommandLineWindow::ApplyCaptions() {
  app::Captions captions = app::Translate({});
  try {
    captions = app::Translate(app::LoadLanguageProfiles(state_.location.config_path).rows);
  } catch (const std::exception&) {
    // An unreadable file: the built-in texts; the run reports the file.
  }
  show_log_->setText(CaptionText(captions, "ShowLog"));
  log_title_ = CaptionText(captions, "LogWindow");
}

void CommandLineWindow::OnFinished() {
  finished_ = true;
  stopped_ = bridge_->stop_requested();
  switch (result_.outcome) {
    case app::CommandLineOutcome::kCompleted:
      if (stopped_) {
        log_->Append({{app::kStoppedText, LogKind::kFailure}});
        status_->setText(QString::fromLatin1(app::kStoppedText));
      } else {
        status_->setText(QStringLiteral("Process finished!"));
      }
      ShowFailures();
      if (!args_.press_key || quit_after_run_) emit QuitRequested(ExitStatus());
      break;
    case app::CommandLineOutcome::kError:
      state_.dialogs.Message(this, MessageKind::kError, QString::fromLatin1(kProgramTitle),
                             ToQt(result_.message));
      if (quit_after_run_) emit QuitRequested(ExitStatus());
      break;
    case app::CommandLineOutcome::kScriptMissing:
      // Says so instead of what it was asked to execute; without /PressKey
      // the program ends at once.
      status_->setText(ToQt(result_.message));
      if (!args_.press_key || quit_after_run_) emit QuitRequested(ExitStatus());
      break;
    case app::CommandLineOutcome::kConfigMissing:
      state_.dialogs.Message(this, MessageKind::kError, QString::fromLatin1(kProgramTitle),
                             ToQt(result_.message));
      emit QuitRequested(ExitStatus());
      break;
  }
  emit RunFinished();
}

void CommandLineWindow::ShowFailures() {
  const app::FailureSummary summary = app::SummariseFailures(log_->lines());
  failed_ = summary.failed;
  if (summary.failed == 0) return;
  // The first failed line on one line of its own; the tool tip has it all.
  const QString first =
      failures_->fontMetrics().elidedText(ToQt(summary.first), Qt::ElideMiddle, kWidth - 24);
  failures_->setText(ToQt(summary.count_text) + QLatin1Char('\n') + first);
  failures_->setToolTip(ToQt(summary.first_details));
  failures_->show();
  show_log_->show();
  const QPoint centre = geometry().center();
  setFixedSize(kWidth, kHeightWithFailures);
  frame_->setGeometry(rect());
  move(centre - rect().center());
}

void CommandLineWindow::ShowRunLog() {
  if (log_dialog_ == nullptr) {
    log_dialog_ = new QDialog(this);
    log_dialog_->setObjectName(QStringLiteral("runLogDialog"));
    log_dialog_->setWindowTitle(log_title_);
    auto* list = new QTreeView(log_dialog_);
    list->setObjectName(QStringLiteral("runLogList"));
    list->setModel(log_);
    list->setUniformRowHeights(true);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setAllColumnsShowFocus(true);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    new LogViewTools(*list);
    auto* layout = new QVBoxLayout(log_dialog_);
    layout->addWidget(list);
    log_dialog_->resize(600, 400);
  }
  log_dialog_->show();
  log_dialog_->raise();
  // The first failed line is the one to look at.
  auto* list = log_dialog_->findChild<QTreeView*>(QStringLiteral("runLogList"));
  const std::vector<LogLine>& lines = log_->lines();
  for (size_t row = 0; row < lines.size(); ++row) {
    if (lines[row].kind != LogKind::kFailure) continue;
    const QModelIndex index = log_->index(static_cast<int>(row), 0);
    list->setCurrentIndex(index);
    list->scrollTo(index);
    break;
  }
}

int CommandLineWindow::ExitStatus() const {
  switch (result_.outcome) {
    case app::CommandLineOutcome::kCompleted:
      if (stopped_) return app::kExitStopped;
      return failed_ > 0 ? app::kExitCompletedWithFailures : app::kExitCompleted;
    case app::CommandLineOutcome::kError:
      return app::kExitError;
    case app::CommandLineOutcome::kScriptMissing:
    case app::CommandLineOutcome::kConfigMissing:
      return app::kExitMissingFile;
  }
  return app::kExitError;
}

void CommandLineWindow::Terminate() {
  if (running()) {
    quit_after_run_ = true;
    bridge_->RequestStop();
    return;
  }
  emit QuitRequested(finished_ ? ExitStatus() : app::kExitCompleted);
}

void CommandLineWindow::closeEvent(QCloseEvent* event) {
  if (!started_) {
    QWidget::closeEvent(event);
    return;
  }
  // Closing the window of a run (by the window manager) is its close
  // button: the program ends, after the running command when a run goes on.
  event->ignore();
  Terminate();
}

}  // namespace pelvar::ui
