// The log window: the run log of the last batch with its kind icons, and
// saving it as log.txt in the program folder, or with every line's kind,
// reason and place in a file of the user's choice. Its size and its first
// column's width are remembered in the configuration file.
#pragma once

#include <QWidget>
#include <string>

#include "app/language_profiles.h"
#include "ui/program_state.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTreeView;

namespace pelvar::ui {

class LogListModel;
class LogViewTools;

class LogWindow : public QWidget {
  Q_OBJECT

 public:
  explicit LogWindow(ProgramState& state, QWidget* parent = nullptr);

  LogListModel& model() { return *model_; }
  QTreeView& list() { return *list_; }

  // The translated texts: the title (label and window title, the main
  // window's "Log window" text), the description, the column heads, the
  // buttons and the check box.
  void ApplyCaptions(const app::Captions& captions);
  // The "View after saving log" box as the configuration sets it (no write).
  void SetViewAfterSave(bool on);
  // While a run writes the log, saving waits.
  void SetRunning(bool running);
  // "Save log": writes log.txt, then opens it or says where it went.
  void SaveLog();
  // "Save log as...": asks for a file and writes there every line's kind,
  // text, reason and place, tab-separated.
  void SaveLogAs();
  // The remembered size and first column width (0: keep the default).
  void RestoreLayout(int width, int height, int column_width);
  // Writes the size and column width when they differ from the remembered
  // (on hiding, and when the program ends with the window shown).
  void RememberLayout();

 protected:
  void hideEvent(QHideEvent* event) override;

 private:
  void OnViewAfterSaveClicked(bool checked);

  ProgramState& state_;
  LogListModel* model_;
  QTreeView* list_;
  QLabel* title_;
  QLabel* description_;
  QPushButton* save_;
  QPushButton* save_as_;
  QCheckBox* view_after_save_;
  LogViewTools* tools_;
  // What the configuration file holds ("" when nothing).
  std::string remembered_size_;
  std::string remembered_column_;
};

}  // namespace pelvar::ui
