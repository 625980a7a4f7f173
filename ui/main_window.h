// The main window: the script folders, the script tree of the chosen folder
// with check marks and details, the buttons, and the progress panel of a
// batch run (which runs on a worker thread, the window repainting live).
#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>

#include "app/batch_run.h"
#include "app/colour_names.h"
#include "app/language_profiles.h"
#include "ui/program_state.h"

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QTreeView;

namespace pelvar::ui {

class ElidedLabel;
class LogWindow;
class PathsWindow;
class RunBridge;
class ScriptEditorWindow;
class SettingsWindow;
class UpdateWindow;
class ScriptListModel;
class CatalogueChecks;

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  explicit MainWindow(ProgramState& state);
  ~MainWindow() override;

  // The windows it opens; set once, before the first showing.
  void SetCompanions(PathsWindow& paths, LogWindow& log);
  // The script editor that "Open" shows; set once, before the first showing.
  void SetEditor(ScriptEditorWindow& editor);
  // The settings window, opened by "Configuration"; its options, language
  // and colours apply here.
  void SetSettingsWindow(SettingsWindow& settings);

  // The web update window, opened by "Update..".
  void SetUpdateWindow(UpdateWindow& update);
  // The folder whose scripts the tree lists; empty when none is chosen.
  std::string ChosenFolderPath() const;

  // A translation pass: the eight captions of this window and the log window.
  void ApplyCaptions(const app::Captions& captions);
  // The window's text and background colours.
  void ApplyColours(app::BgrColour text, app::BgrColour back);

  // The configuration load: the paths, the options, the folder list and the
  // scripts of the remembered folder. False when the configuration file is
  // missing (the error was shown and QuitRequested emitted).
  bool LoadConfiguration();
  // Lists the scripts of the folder chosen in the folder list.
  void ListChosenFolder();
  // F5: lists the chosen folder again from disk, keeping the current script.
  void ReloadList();
  // "Check selected" / "Uncheck selected" of the tree's context menu.
  void CheckSelected(bool checked);
  // "Start": validates, then runs the checked scripts on a worker thread.
  void StartBatch();
  // "Dry run": runs the checked scripts as Start does, on services that
  // change nothing; the log window shows each command's predicted changes
  // after its line. No log file, beep or closing message.
  void StartDryRun();
  void RunChecked(bool dry);
  // "Make ISO": the image of the target folder as the ISO file
  // (app/make_iso.h) on a worker thread, with the progress panel showing the
  // megabytes written and the log window its lines; Stop abandons it.
  void StartMakeIso();
  // "Log window": shows the log window when hidden, hides it when shown.
  void ToggleLogWindow();
  // The progress panel's "Stop".
  void StopBatch();
  // "Open" and a double click on the tree: the script editor for the
  // selected script, this window disabled until it is hidden.
  void OpenEditor();

  bool running() const;
  bool configuration_loaded() const { return loaded_; }
  ScriptListModel& scripts() { return *scripts_; }
  // The checks of the listed scripts (their findings mark the tree).
  CatalogueChecks& checks() { return *checks_; }
  // The outcome of the last batch.
  app::BatchOutcome last_outcome() const { return last_outcome_; }
  // The outcome of the last "Make ISO".
  app::MakeIsoResult last_iso_result() const { return last_iso_result_; }

 signals:
  // The program should end with this exit status.
  void QuitRequested(int status);
  // A batch has ended and its log is shown.
  void BatchFinished();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QWidget* BuildHeader();
  QWidget* BuildDetails();
  QWidget* BuildButtons();
  void BuildProgressPanel();
  void PlaceProgressPanel();
  void SetProgressPanelVisible(bool visible);
  void ShowDetails(int row);
  void OnTreeContextMenu(const QPoint& pos);
  // The menu's "Undo" and "Redo" name the steps they would take.
  void UpdateUndoActions();
  void OnBatchFinished();
  // During a run only the log window's button stays usable.
  void SetRunControlsEnabled(bool enabled);

  ProgramState& state_;
  PathsWindow* paths_ = nullptr;
  LogWindow* log_ = nullptr;
  UpdateWindow* update_window_ = nullptr;
  ScriptEditorWindow* editor_ = nullptr;
  SettingsWindow* settings_ = nullptr;
  ScriptListModel* scripts_;
  CatalogueChecks* checks_;
  std::unique_ptr<RunBridge> bridge_;
  bool loaded_ = false;
  bool close_after_run_ = false;
  app::BatchOutcome last_outcome_ = app::BatchOutcome::kNotStarted;
  app::MakeIsoResult last_iso_result_ = app::MakeIsoResult::kRefused;

  QWidget* content_ = nullptr;
  QComboBox* folders_ = nullptr;
  QTreeView* tree_ = nullptr;
  QMenu* menu_ = nullptr;
  QAction* undo_ = nullptr;
  QAction* redo_ = nullptr;
  QLabel* details_title_ = nullptr;
  QLabel* details_description_ = nullptr;
  ElidedLabel* details_author_ = nullptr;
  ElidedLabel* details_contact_ = nullptr;
  QLabel* details_findings_ = nullptr;
  std::string contact_;
  std::vector<QPointer<QWidget>> disabled_for_run_;
  QPushButton* start_ = nullptr;
  QPushButton* dry_run_ = nullptr;
  QPushButton* make_iso_ = nullptr;
  QFrame* panel_ = nullptr;
  QLabel* panel_title_ = nullptr;
  QLabel* panel_status_ = nullptr;
  QProgressBar* panel_progress_ = nullptr;
  QPushButton* stop_ = nullptr;
};

}  // namespace pelvar::ui
