// The log window: the run log of the last batch with its kind icons, and
// saving it as log.txt in the program folder.
#pragma once

#include <QWidget>

#include "ui/program_state.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTreeView;

namespace pelvar::ui {

class LogListModel;

class LogWindow : public QWidget {
  Q_OBJECT

 public:
  explicit LogWindow(ProgramState& state, QWidget* parent = nullptr);

  LogListModel& model() { return *model_; }
  QTreeView& list() { return *list_; }

  // The translated title label and description.
  void SetCaptions(const QString& title, const QString& description);
  // The "View after saving log" box as the configuration sets it (no write).
  void SetViewAfterSave(bool on);
  // While a run writes the log, saving waits.
  void SetRunning(bool running);
  // "Save log": writes log.txt, then opens it or says where it went.
  void SaveLog();

 private:
  void OnViewAfterSaveClicked(bool checked);

  ProgramState& state_;
  LogListModel* model_;
  QTreeView* list_;
  QLabel* title_;
  QLabel* description_;
  QPushButton* save_;
  QCheckBox* view_after_save_;
};

}  // namespace pelvar::ui
