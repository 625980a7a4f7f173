#include "ui/dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

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

std::optional<QString> QtDialogs::ChooseFolder(QWidget* parent, const QString& title) {
  const QString folder =
      QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly);
  if (folder.isEmpty()) return std::nullopt;
  return folder;
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
