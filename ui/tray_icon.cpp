#include "ui/tray_icon.h"

#include <QEvent>
#include <QMenu>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include "ui/dialogs.h"
#include "ui/icons.h"

namespace pelvar::ui {

TrayIcon::TrayIcon(ProgramState& state, QWidget& window)
    : QObject(&window),
      state_(state),
      window_(window),
      menu_(new QMenu(&window)),
      icon_(new QSystemTrayIcon(ProgramIcon(), this)) {
  menu_->setObjectName(QStringLiteral("trayMenu"));
  QAction* run = menu_->addAction(QStringLiteral("Run script"));
  run->setObjectName(QStringLiteral("trayRunScript"));
  mail_ = menu_->addAction(QStringLiteral("Email author"));
  mail_->setObjectName(QStringLiteral("trayEmailAuthor"));
  mail_->setVisible(false);
  QAction* exit = menu_->addAction(QStringLiteral("Exit"));
  exit->setObjectName(QStringLiteral("trayExit"));
  connect(run, &QAction::triggered, this, &TrayIcon::RunScript);
  connect(mail_, &QAction::triggered, this, &TrayIcon::EmailAuthor);
  connect(exit, &QAction::triggered, this, &TrayIcon::Exit);
  icon_->setToolTip(QString::fromLatin1(kProgramTitle));
  icon_->setContextMenu(menu_);
  connect(icon_, &QSystemTrayIcon::activated, this, &TrayIcon::OnActivated);
  window_.installEventFilter(this);
  // A notification area that appears after the start (a panel started
  // later, or restarted) still gets the icon.
  watch_.setInterval(kWatchIntervalMs);
  connect(&watch_, &QTimer::timeout, this, &TrayIcon::ShowWhenAvailable);
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::Start() {
  author_ = ToQt(state_.config.Read(app::config::kAuthorEmail)).trimmed();
  mail_->setVisible(!author_.isEmpty());
  ShowWhenAvailable();
  if (!icon_->isVisible()) watch_.start();
}

void TrayIcon::SetAvailabilityCheck(std::function<bool()> available) {
  available_ = std::move(available);
}

void TrayIcon::ShowWhenAvailable() {
  const bool available = available_ ? available_() : QSystemTrayIcon::isSystemTrayAvailable();
  if (!available) return;
  icon_->show();
  watch_.stop();
}

bool TrayIcon::shown() const {
  return icon_->isVisible();
}

QString TrayIcon::MailAddress(const QString& author) {
  return QStringLiteral("mailto:") + author +
         QStringLiteral("?subject=Message from a pelvar user&body=");
}

void TrayIcon::RunScript() {
  const std::optional<QString> script = state_.dialogs.ChooseFile(
      &window_, QStringLiteral("Run script"), QStringLiteral("Script files (*.script)"));
  if (script) state_.shell.RunScriptDetached(*script);
}

void TrayIcon::EmailAuthor() {
  if (!author_.isEmpty()) state_.shell.OpenAddress(MailAddress(author_));
}

void TrayIcon::Exit() {
  window_.close();
}

void TrayIcon::BringToFront() {
  window_.raise();
  window_.activateWindow();
}

void TrayIcon::ToggleWindow() {
  if (window_.isVisible()) {
    window_.hide();
    return;
  }
  window_.showNormal();
  BringToFront();
}

void TrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
  if (reason == QSystemTrayIcon::DoubleClick) {
    ToggleWindow();
  } else if (reason == QSystemTrayIcon::Trigger && window_.isVisible()) {
    BringToFront();
  }
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &window_ && event->type() == QEvent::WindowStateChange && window_.isMinimized() &&
      shown()) {
    // Hidden once the minimizing has finished.
    QTimer::singleShot(0, &window_, [this] {
      if (window_.isMinimized()) window_.hide();
    });
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace pelvar::ui
