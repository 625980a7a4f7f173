// The script editor: the command list of a script's process section and the
// files embedded in it. Created once; the main window shows it for its
// selected script and is disabled until it is hidden again. Every change is
// written to the script at once, and only over the version that was loaded:
// a script changed on disk meanwhile is loaded again instead.
#pragma once

#include <QKeySequence>
#include <QWidget>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/embedded_folders.h"
#include "app/language_profiles.h"
#include "app/script_history.h"
#include "ui/dialogs.h"
#include "ui/program_state.h"

class QHBoxLayout;
class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;

namespace pelvar::platform {
class FileSystem;
class ProcessLauncher;
}  // namespace pelvar::platform

namespace pelvar::ui {

class ElidedLabel;

class ScriptEditorWindow : public QWidget {
  Q_OBJECT

 public:
  explicit ScriptEditorWindow(ProgramState& state);
  ~ScriptEditorWindow() override;

  // Shows the editor for the script (empty: no script selected).
  void Open(const std::string& script);
  // The starter of "Run.." (the desktop's by default; not owned).
  void SetLauncher(platform::ProcessLauncher* launcher);
  // The translated captions of the pages and the buttons.
  void ApplyCaptions(const app::Captions& captions);

  const std::string& script() const { return script_; }
  // The lines of the command list, as they are written back.
  const std::vector<std::string>& command_lines() const { return lines_; }
  const std::vector<std::string>& folders() const { return folders_; }

  // Commands tab.
  void CreateCommand();
  void EditCommand();
  void DeleteCommand();
  // The current line changes places with the one above (below); its run
  // flag and text go with it.
  void MoveCommandUp();
  void MoveCommandDown();
  // The selected lines were dragged in front of row `at` (the row count:
  // to the end).
  void DropCommands(int at);

  // The check mark of a row was clicked: its run flag is switched.
  void ToggleFlag(int row);

  // Encoded files tab.
  void AddFiles();
  void RemoveFiles();
  // "Remove" with no file selected: the selected folder goes.
  void RemoveFolder();
  // F2 on the folder tree: asks for a new name of the selected folder.
  void RenameFolder();
  void RunFile();
  void ExtractFiles();
  void NewFolder();

  // Takes back the last change (puts it back, for Redo), writing the script
  // to the exact bytes it had. The steps are kept until the editor is
  // hidden or opens another script.
  void Undo();
  void Redo();
  const app::ScriptHistory& history() const { return history_; }

 signals:
  // The editor was hidden ("Ok" or the window closed).
  void Closed();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget* BuildHeader();
  QWidget* BuildCommandsTab();
  QWidget* BuildFilesTab();
  QWidget* BuildSyntaxTab();
  QWidget* BuildBusyRow();
  // Runs `handler` on the keys: pressed in `widget`, or anywhere in the
  // window when `widget` is the window.
  void OnKeys(QWidget* widget, std::initializer_list<QKeySequence> keys,
              void (ScriptEditorWindow::*handler)());
  // "Undo" and "Redo" buttons at the start of a tab's bottom row.
  void AddUndoButtons(QHBoxLayout* row, const QString& prefix, QWidget* parent);
  void Finish();

  // Loads the whole window from the script.
  void ReadScript();
  // Fills the command list from lines_.
  void FillCommandList();
  // Makes `row` (the last row when beyond) the current and only selected
  // row of the command list.
  void SelectCommandRow(int row);
  // ReadScript keeping the selected command row and folder.
  void Reload();
  void FillFileList();
  void SelectFolder(const std::string& name);
  // The folder selected in the tree; nullopt when none.
  std::optional<std::string> SelectedFolder() const;
  // Rows of the file list that are selected, top to bottom.
  std::vector<int> SelectedFileRows() const;
  int CurrentCommandRow() const;

  // True when a change may be written: a script is open and still the
  // version that was loaded. Otherwise the window is loaded again and the
  // user told.
  bool BeginChange();
  // True when a command-list change may be made: a script is open and no
  // work runs. The write-back itself checks, under the script's lock, that
  // the script is still the version loaded, so a large script is not read
  // once more before each click.
  bool BeginCommandChange() const;
  // Loads the window again and tells the user that the script changed on
  // disk (or, without `exists`, vanished) and nothing was changed.
  void TellChanged(bool exists);
  // Writes the command list back and reloads, selecting `row`; the change
  // is kept for undo under `label`.
  void CommitCommands(int row, const char* label);
  // Keeps for undo the change from `before` to the bytes now loaded.
  void RecordChange(const char* label, const std::string& before);
  void StepHistory(bool undo);
  void MoveCommand(int step);
  // False, the user told, for a name a folder cannot have.
  bool FolderNameAllowed(const std::string& name);
  // Asks before removing the selected files (`rows`), or the folder when
  // none is selected, saying how many files and bytes go.
  bool ConfirmRemoval(const std::string& folder, const std::vector<int>& rows);
  void UpdateUndoButtons();
  void ForgetHistory();
  // Runs `work` on a worker thread while the window keeps painting (its
  // tabs disabled, `status` shown); the text of an error it raised, if any.
  std::optional<std::string> RunBusy(const QString& status, const std::function<void()>& work);
  void ShowError(const std::string& text);
  // The check of a line typed for the script at line `number`.
  LineCheck MakeLineCheck(uint32_t number) const;

  ProgramState& state_;
  std::string script_;
  std::optional<size_t> fingerprint_;
  std::vector<std::string> lines_;
  std::vector<uint32_t> line_numbers_;  // of lines_ in the file (0: not known)
  std::vector<std::string> folders_;
  std::vector<app::EmbeddedFileRow> files_;
  // The bytes of the loaded version (the one `fingerprint_` names).
  std::string known_;
  app::ScriptHistory history_;
  std::vector<QPushButton*> undo_buttons_;
  std::vector<QPushButton*> redo_buttons_;
  bool filling_ = false;
  bool busy_ = false;
  // The window's own writes of the command list.
  std::unique_ptr<platform::FileSystem> file_system_;
  std::unique_ptr<platform::ProcessLauncher> own_launcher_;
  platform::ProcessLauncher* launcher_ = nullptr;

  QLabel* title_ = nullptr;
  QLabel* description_ = nullptr;
  ElidedLabel* path_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  QTreeWidget* commands_ = nullptr;
  QTreeWidget* folder_tree_ = nullptr;
  QTreeWidget* file_list_ = nullptr;
  QTextBrowser* syntax_ = nullptr;
  QWidget* busy_row_ = nullptr;
  QLabel* busy_label_ = nullptr;
  QProgressBar* busy_bar_ = nullptr;
};

}  // namespace pelvar::ui
