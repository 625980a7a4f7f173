// The seams between the windows and the desktop: modal messages, the folder
// chooser, the desktop's opener and the beep. The program uses the Qt
// implementations; tests pass their own to record and pre-answer them.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "app/script_check.h"
#include "engine/run_view.h"
#include "platform/registry_text.h"

class QWidget;

namespace pelvar::ui {

// The application title: window captions and message boxes.
inline constexpr const char* kProgramTitle = "Pelvar";

// The check findings of a script line as typed.
using LineCheck = std::function<std::vector<app::Finding>(std::string_view line)>;

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A modal message with one OK button; returns when it is closed. A CR in
  // `text` is a line break.
  virtual void Message(QWidget* parent, MessageKind kind, const QString& caption,
                       const QString& text) = 0;
  // Asks before something that cannot be taken back: `text` with the
  // buttons `action` (say "Remove") and "Cancel", Cancel the default. True
  // when the user chose `action`.
  virtual bool Confirm(QWidget* /*parent*/, const QString& /*caption*/, const QString& /*text*/,
                       const QString& /*action*/) {
    return true;
  }
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
  // The file-save dialog (`filter` in Qt's form, `name` the file name
  // offered); nullopt when cancelled.
  virtual std::optional<QString> ChooseSaveFile(QWidget* /*parent*/, const QString& /*title*/,
                                                const QString& /*name*/,
                                                const QString& /*filter*/) {
    return std::nullopt;
  }
  // The file-open dialog for one or more files (`filter` in Qt's form);
  // empty when cancelled.
  virtual QStringList ChooseFiles(QWidget*, const QString& /*title*/, const QString& /*filter*/) {
    return {};
  }
  // The editor of one script line showing `line` first, with the findings
  // of `check` for the text as typed (none when empty); nullopt when
  // cancelled.
  virtual std::optional<QString> EditScriptLine(QWidget*, const QString& /*caption*/,
                                                const QString& /*prompt*/, const QString& /*line*/,
                                                const LineCheck& /*check*/) {
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
  bool Confirm(QWidget* parent, const QString& caption, const QString& text,
               const QString& action) override;
  std::optional<QString> ChooseFolder(QWidget* parent, const QString& title) override;
  std::optional<QString> AskText(QWidget* parent, const QString& title, const QString& prompt,
                                 const QString& initial) override;
  std::optional<QString> ChooseFile(QWidget* parent, const QString& title,
                                    const QString& filter) override;
  QStringList ChooseFiles(QWidget* parent, const QString& title, const QString& filter) override;
  std::optional<QString> ChooseSaveFile(QWidget* parent, const QString& title, const QString& name,
                                        const QString& filter) override;
  std::optional<QString> EditScriptLine(QWidget* parent, const QString& caption,
                                        const QString& prompt, const QString& line,
                                        const LineCheck& check) override;
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

// Engine text for showing: UTF-8 when it is valid UTF-8, else Windows-1252
// (as the registry commands read it), so 8-bit text from files shows as it
// was meant. Text shown this way and not edited is used and written back
// as its original bytes (see KeptText), never as the shown text.
inline QString ToQt(std::string_view text) {
  const std::string utf8 = platform::DisplayTextOf(text);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
// Edited text as UTF-8.
inline std::string FromQt(const QString& text) {
  return text.toStdString();
}
// The bytes for a box that was filled with ToQt(original): the original
// bytes while the box still shows them, else the box's text as UTF-8.
inline std::string KeptText(const std::string& original, const QString& shown) {
  return shown == ToQt(original) ? original : FromQt(shown);
}

}  // namespace pelvar::ui
