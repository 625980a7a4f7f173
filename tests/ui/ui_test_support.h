// Helpers of the window tests: recording seams, and a program folder of its
// own with the desktop windows built over it.
#pragma once

#include <QPoint>
#include <QString>
#include <QStringList>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/app_test_support.h"
#include "support/test_support.h"
#include "ui/desktop_windows.h"
#include "ui/dialogs.h"

class QTreeView;

namespace pelvar::ui {
class LogListModel;
}

namespace pelvar::testing {

// Records the messages; answers the folder chooser from a queue.
class RecordingDialogs : public ui::Dialogs {
 public:
  void Message(QWidget* parent, MessageKind kind, const QString& caption,
               const QString& text) override;
  // Answered from `confirm_answers` (empty: yes); "caption|text|action" is
  // kept in `confirmations`.
  bool Confirm(QWidget* parent, const QString& caption, const QString& text,
               const QString& action) override;
  std::optional<QString> ChooseFolder(QWidget* parent, const QString& title) override;
  // Answered from `text_answers` (empty: cancelled); the title is recorded.
  std::optional<QString> AskText(QWidget* parent, const QString& title, const QString& prompt,
                                 const QString& initial) override;
  // Answered from `file_answers` (empty: cancelled).
  std::optional<QString> ChooseFile(QWidget* parent, const QString& title,
                                    const QString& filter) override;
  // Answered from `save_answers` (empty: cancelled); "title|name" is recorded
  // in `save_questions`.
  std::optional<QString> ChooseSaveFile(QWidget* parent, const QString& title, const QString& name,
                                        const QString& filter) override;
  // Answered from `files_answers` (empty: cancelled); the title is recorded.
  QStringList ChooseFiles(QWidget* parent, const QString& title, const QString& filter) override;
  // Answered from `line_answers` (empty: cancelled); the check's findings
  // of the answer are kept in `line_findings`.
  std::optional<QString> EditScriptLine(QWidget* parent, const QString& caption,
                                        const QString& prompt, const QString& line,
                                        const ui::LineCheck& check) override;

  // "caption|text" of each message (CR kept).
  QStringList messages;
  // For each answered line, the texts of its check findings.
  std::vector<std::vector<std::string>> line_findings;
  std::vector<MessageKind> kinds;
  // True when every message came on the window's thread.
  bool on_window_thread = true;
  std::deque<bool> confirm_answers;
  QStringList confirmations;
  // Answers of the folder chooser, in order; empty: cancelled.
  std::deque<std::optional<QString>> folder_answers;
  QStringList chooser_titles;
  std::deque<std::optional<QString>> text_answers;
  QStringList prompts;  // "title|prompt"
  std::deque<std::optional<QString>> file_answers;
  // Answers of the line editor, in order; nullopt or an empty queue:
  // cancelled. Each question of the line editor and the text prompt is kept
  // as "caption|prompt|text".
  std::deque<std::optional<QString>> line_answers;
  QStringList questions;
  std::deque<std::optional<QString>> save_answers;
  QStringList save_questions;
  // Answers of the file-open dialog for several files.
  std::deque<QStringList> files_answers;
};

class RecordingShell : public ui::Shell {
 public:
  void OpenFile(const QString& path) override { opened_files << path; }
  void OpenAddress(const QString& address) override { opened_addresses << address; }
  void Beep() override { ++beeps; }
  void RunScriptDetached(const QString& path) override { started_scripts << path; }
  bool NetworkReachable(const QString&) override { return online; }

  QStringList opened_files;
  QStringList opened_addresses;
  int beeps = 0;
  QStringList started_scripts;
  bool online = true;
};

// A program folder under a temporary folder, with its windows.
class TestProgram {
 public:
  // `config`: the text of pelvar.ini; nullopt leaves the file out.
  explicit TestProgram(const std::optional<std::string>& config);

  TempDir home;
  RecordingDialogs dialogs;
  RecordingShell shell;
  FakeClock clock;
  std::unique_ptr<ui::DesktopWindows> windows;
  std::vector<int> quit_requests;
};

// The centre of the check box of a row of a tree, where a click toggles it.
QPoint CheckBoxCentre(QTreeView* tree, int row);

// "kind|text" of each line of a log list.
QStringList LogTexts(const ui::LogListModel& model);

// A pelvar.ini whose paths pass the batch's checks.
std::string RunnableConfig(const TempDir& home, const std::string& extra = "");

}  // namespace pelvar::testing
