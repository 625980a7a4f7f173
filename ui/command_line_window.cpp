#include "ui/command_line_window.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QStyle>
#include <QToolButton>

#include "app/headless_run.h"
#include "ui/dialogs.h"
#include "ui/icons.h"
#include "ui/log_list_model.h"
#include "ui/run_bridge.h"

namespace pelvar::ui {

CommandLineWindow::CommandLineWindow(ProgramState& state)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      state_(state),
      log_(new LogListModel(/*with_icons=*/false, this)),
      status_(new QLabel(this)),
      progress_(new QProgressBar(this)),
      close_(new QToolButton(this)) {
  setObjectName(QStringLiteral("commandLineWindow"));
  setWindowTitle(QString::fromLatin1(kProgramTitle));
  setWindowIcon(ProgramIcon());
  setFixedSize(302, 154);

  // Without a title bar the window needs an edge of its own, dark enough to
  // be seen on a light desktop.
  auto* frame = new QFrame(this);
  frame->setObjectName(QStringLiteral("commandLineFrame"));
  frame->setStyleSheet(
      QStringLiteral("QFrame#commandLineFrame { border: 1px solid palette(shadow); }"));
  frame->setGeometry(rect());
  frame->lower();

  auto* icon = new QLabel(this);
  icon->setPixmap(ProgramIcon().pixmap(32, 32));
  status_->setObjectName(QStringLiteral("statusLabel"));
  status_->setAlignment(Qt::AlignCenter);
  status_->setWordWrap(true);
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
  layout->addWidget(progress_, 2, 0, 1, 3);
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

void CommandLineWindow::OnFinished() {
  finished_ = true;
  switch (result_.outcome) {
    case app::CommandLineOutcome::kCompleted:
      status_->setText(QStringLiteral("Process finished!"));
      if (!args_.press_key || quit_after_run_) emit QuitRequested(ExitStatus());
      break;
    case app::CommandLineOutcome::kError:
      state_.dialogs.Message(this, MessageKind::kError, QString::fromLatin1(kProgramTitle),
                             ToQt(result_.message));
      if (quit_after_run_) emit QuitRequested(ExitStatus());
      break;
    case app::CommandLineOutcome::kScriptMissing:
      // The visible window keeps showing what it was asked to execute.
      if (quit_after_run_) emit QuitRequested(ExitStatus());
      break;
    case app::CommandLineOutcome::kConfigMissing:
      state_.dialogs.Message(this, MessageKind::kError, QString::fromLatin1(kProgramTitle),
                             ToQt(result_.message));
      emit QuitRequested(ExitStatus());
      break;
  }
  emit RunFinished();
}

int CommandLineWindow::ExitStatus() const {
  switch (result_.outcome) {
    case app::CommandLineOutcome::kCompleted:
      return app::kExitCompleted;
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

}  // namespace pelvar::ui
