// The seams between the windows and the desktop: modal messages, the folder
// chooser, the desktop's opener and the beep. The program uses the Qt
// implementations; tests pass their own to record and pre-answer them.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "engine/run_view.h"

class QWidget;

namespace pelvar::ui {

// The application title: window captions and message boxes.
inline constexpr const char* kProgramTitle = "Pelvar";

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A modal message with one OK button; returns when it is closed. A CR in
  // `text` is a line break.
  virtual void Message(QWidget* parent, MessageKind kind, const QString& caption,
                       const QString& text) = 0;
  // The folder chooser titled `title`; nullopt when the user cancels.
  virtual std::optional<QString> ChooseFolder(QWidget* parent, const QString& title) = 0;
  // A one-line text prompt; nullopt when the user cancels.
  virtual std::optional<QString> AskText(QWidget* /*parent*/, const QString& /*title*/,
                                         const QString& /*prompt*/, const QString& /*initial*/) {
    return std::nullopt;
  }
  // The file chooser titled `title`, showing files matching `filter` ("Name
  // (*.ext)"); nullopt when the user cancels.
  virtual std::optional<QString> ChooseFile(QWidget* /*parent*/, const QString& /*title*/,
                                            const QString& /*filter*/) {
    return std::nullopt;
  }
  // The file-open dialog for one or more files (`filter` in Qt's form);
  // empty when cancelled.
  virtual QStringList ChooseFiles(QWidget*, const QString& /*title*/, const QString& /*filter*/) {
    return {};
  }
  // The editor of one script line showing `line` first; nullopt when
  // cancelled.
  virtual std::optional<QString> EditScriptLine(QWidget*, const QString& /*caption*/,
                                                const QString& /*prompt*/,
                                                const QString& /*line*/) {
    return std::nullopt;
  }
};

class Shell {
 public:
  virtual ~Shell() = default;
  // Opens a file with the program the desktop associates with it.
  virtual void OpenFile(const QString& path) = 0;
  // Opens an address (web or mail) as it stands; nothing is added to it.
  virtual void OpenAddress(const QString& address) = 0;
  virtual void Beep() = 0;
  // Runs a script in a program of its own, as the command line does.
  virtual void RunScriptDetached(const QString& /*path*/) {}
  // Whether `address` (a web address) looks reachable: the desktop's network
  // state where it is known, else a connection to the server is tried.
  virtual bool NetworkReachable(const QString& /*address*/) { return false; }
};

// QMessageBox and QFileDialog.
class QtDialogs : public Dialogs {
 public:
  void Message(QWidget* parent, MessageKind kind, const QString& caption,
               const QString& text) override;
  std::optional<QString> ChooseFolder(QWidget* parent, const QString& title) override;
  std::optional<QString> AskText(QWidget* parent, const QString& title, const QString& prompt,
                                 const QString& initial) override;
  std::optional<QString> ChooseFile(QWidget* parent, const QString& title,
                                    const QString& filter) override;
  QStringList ChooseFiles(QWidget* parent, const QString& title, const QString& filter) override;
  std::optional<QString> EditScriptLine(QWidget* parent, const QString& caption,
                                        const QString& prompt, const QString& line) override;
};

// QDesktopServices and QApplication::beep.
class QtShell : public Shell {
 public:
  void OpenFile(const QString& path) override;
  void OpenAddress(const QString& address) override;
  void Beep() override;
  void RunScriptDetached(const QString& path) override;
  bool NetworkReachable(const QString& address) override;
};

// Answers every message at once and cancels the folder chooser: for
// renderings and measurements without a user.
class SilentDialogs : public Dialogs {
 public:
  void Message(QWidget*, MessageKind, const QString&, const QString&) override {}
  std::optional<QString> ChooseFolder(QWidget*, const QString&) override { return {}; }
};

// Opens nothing and stays quiet.
class SilentShell : public Shell {
 public:
  void OpenFile(const QString&) override {}
  void OpenAddress(const QString&) override {}
  void Beep() override {}
};

// Text of a message as a dialog shows it: CR and CR LF become LF.
QString DialogText(const QString& text);

// UTF-8 conversions between engine text and Qt.
inline QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string FromQt(const QString& text) {
  return text.toStdString();
}

}  // namespace pelvar::ui
