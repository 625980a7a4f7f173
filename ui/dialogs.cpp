#include "ui/dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
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

std::optional<QString> QtDialogs::ChooseFolder(QWidget* parent, const QString& title) {
  const QString folder =
      QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly);
  if (folder.isEmpty()) return std::nullopt;
  return folder;
}

std::optional<QString> QtDialogs::AskText(QWidget* parent, const QString& caption,
                                          const QString& prompt, const QString& text) {
  bool ok = false;
  const QString answer =
      QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, text, &ok);
  if (!ok) return std::nullopt;
  return answer;
}

QStringList QtDialogs::ChooseFiles(QWidget* parent, const QString& title, const QString& filter) {
  return QFileDialog::getOpenFileNames(parent, title, QString(), filter);
}

std::optional<QString> QtDialogs::EditScriptLine(QWidget* parent, const QString& caption,
                                                 const QString& prompt, const QString& line) {
  ScriptLineDialog dialog(parent);
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
