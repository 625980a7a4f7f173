#include "ui/dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QNetworkInformation>
#include <QProcess>
#include <QPushButton>
#include <QTcpSocket>
#include <QUrl>

#include "ui/script_line_dialog.h"

namespace pelvar::ui {

QString DialogText(const QString& text) {
  QString out = text;
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return out;
}

void QtDialogs::Message(QWidget* parent, MessageKind kind, const QString& caption,
                        const QString& text) {
  QMessageBox::Icon icon = QMessageBox::Information;
  switch (kind) {
    case MessageKind::kInformation:
      icon = QMessageBox::Information;
      break;
    case MessageKind::kWarning:
      icon = QMessageBox::Warning;
      break;
    case MessageKind::kError:
      icon = QMessageBox::Critical;
      break;
    case MessageKind::kConfirmation:
      icon = QMessageBox::Question;
      break;
  }
  QMessageBox box(icon, caption, DialogText(text), QMessageBox::Ok, parent);
  box.exec();
}

bool QtDialogs::Confirm(QWidget* parent, const QString& caption, const QString& text,
                        const QString& action) {
  QMessageBox box(QMessageBox::Question, caption, DialogText(text), QMessageBox::NoButton, parent);
  QPushButton* yes = box.addButton(action, QMessageBox::DestructiveRole);
  QPushButton* cancel = box.addButton(QMessageBox::Cancel);
  box.setDefaultButton(cancel);
  box.setEscapeButton(cancel);
  box.exec();
  return box.clickedButton() == yes;
}

std::optional<QString> QtDialogs::ChooseFolder(QWidget* parent, const QString& title) {
  const QString folder =
      QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly);
  if (folder.isEmpty()) return std::nullopt;
  return folder;
}

std::optional<QString> QtDialogs::AskText(QWidget* parent, const QString& title,
                                          const QString& prompt, const QString& initial) {
  bool ok = false;
  const QString text =
      QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, initial, &ok);
  if (!ok) return std::nullopt;
  return text;
}

std::optional<QString> QtDialogs::ChooseFile(QWidget* parent, const QString& title,
                                             const QString& filter) {
  const QString file = QFileDialog::getOpenFileName(parent, title, QString(), filter);
  if (file.isEmpty()) return std::nullopt;
  return file;
}

QStringList QtDialogs::ChooseFiles(QWidget* parent, const QString& title, const QString& filter) {
  return QFileDialog::getOpenFileNames(parent, title, QString(), filter);
}

std::optional<QString> QtDialogs::EditScriptLine(QWidget* parent, const QString& caption,
                                                 const QString& prompt, const QString& line,
                                                 const LineCheck& check) {
  ScriptLineDialog dialog(parent);
  dialog.SetLineCheck(check);
  dialog.setWindowTitle(caption);
  dialog.SetPrompt(prompt);
  dialog.SetLine(line);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Line();
}

void QtShell::OpenFile(const QString& path) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void QtShell::OpenAddress(const QString& address) {
  QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}

void QtShell::Beep() {
  QApplication::beep();
}

}  // namespace pelvar::ui

namespace pelvar::ui {

void QtShell::RunScriptDetached(const QString& path) {
  QProcess::startDetached(QCoreApplication::applicationFilePath(), {path});
}

bool QtShell::NetworkReachable(const QString& address) {
  if (QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
    const QNetworkInformation* info = QNetworkInformation::instance();
    switch (info->reachability()) {
      case QNetworkInformation::Reachability::Disconnected:
        return false;
      case QNetworkInformation::Reachability::Online:
        return true;
      default:
        break;  // local or unknown: ask the server
    }
  }
  const QUrl url(address);
  const bool https = url.scheme().compare(QStringLiteral("https"), Qt::CaseInsensitive) == 0;
  QTcpSocket socket;
  socket.connectToHost(url.host(), static_cast<quint16>(url.port(https ? 443 : 80)));
  return socket.waitForConnected(5000);
}

}  // namespace pelvar::ui
