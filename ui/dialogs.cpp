#include "ui/dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
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

namespace {

// The folder chooser: besides an existing folder it takes the name of one
// that does not exist yet, typed into its name field, for the caller to
// make (the stock dialog refuses it with "Directory not found").
class FolderChooser : public QFileDialog {
 public:
  FolderChooser(QWidget* parent, const QString& title) : QFileDialog(parent, title) {
    setObjectName(QStringLiteral("folderChooser"));
    setFileMode(QFileDialog::Directory);
    setOption(QFileDialog::ShowDirsOnly);
    setOption(QFileDialog::DontUseNativeDialog);
    // The stock dialog disables its button for a name that does not exist;
    // any typed name can be chosen (after the dialog's own update).
    if (auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
      connect(name, &QLineEdit::textChanged, this, [this](const QString& text) {
        auto* box = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        QPushButton* choose = box != nullptr ? box->button(QDialogButtonBox::Open) : nullptr;
        if (choose != nullptr && !text.trimmed().isEmpty()) choose->setEnabled(true);
      });
    }
  }

  // The folder chosen or typed; empty when none.
  QString Chosen() const {
    if (!typed_.isEmpty()) return typed_;
    const QStringList files = selectedFiles();
    return files.isEmpty() ? QString() : files.first();
  }

  void accept() override {
    const auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    const QString text = name != nullptr ? name->text().trimmed() : QString();
    if (!text.isEmpty()) {
      const QString path = QDir::cleanPath(directory().absoluteFilePath(text));
      if (!QFileInfo::exists(path)) {
        typed_ = path;
        QDialog::accept();
        return;
      }
    }
    typed_.clear();
    QFileDialog::accept();
  }

 private:
  QString typed_;
};

}  // namespace

std::optional<QString> QtDialogs::ChooseFolder(QWidget* parent, const QString& title) {
  FolderChooser chooser(parent, title);
  if (chooser.exec() != QDialog::Accepted) return std::nullopt;
  const QString folder = chooser.Chosen();
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

std::optional<QString> QtDialogs::ChooseSaveFile(QWidget* parent, const QString& title,
                                                 const QString& name, const QString& filter) {
  const QString file = QFileDialog::getSaveFileName(parent, title, name, filter);
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
