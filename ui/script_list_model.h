// The scripts of the chosen folder as a list model with check boxes. A
// check mark changed here is written into the script's own file at once.
#pragma once

#include <QAbstractListModel>
#include <QIcon>
#include <vector>

#include "app/batch_run.h"
#include "app/script_catalogue.h"
#include "app/script_check.h"
#include "app/script_history.h"

namespace pelvar::ui {

class ScriptListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit ScriptListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  // Qt::CheckStateRole: writes selected=true/false into the script file.
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Replaces all entries (and forgets the check marks that could be undone).
  void SetEntries(std::vector<app::ScriptEntry> entries);
  const std::vector<app::ScriptEntry>& entries() const { return entries_; }
  const app::ScriptEntry& entry(int row) const { return entries_[static_cast<size_t>(row)]; }

  // Sets the check mark of the rows, in the order given, writing each file
  // in the given form.
  void SetChecked(const std::vector<int>& rows, bool checked, app::CheckWriteForm form);

  // The findings of the check of a row's script: the row shows an error or
  // warning icon while it has any. SetEntries clears them.
  void SetFindings(int row, std::vector<app::Finding> findings);
  const std::vector<app::Finding>& findings(int row) const {
    return findings_[static_cast<size_t>(row)];
  }

  // The checked entries in list order.
  std::vector<app::BatchScript> CheckedScripts() const;

  // Takes back the last change of check marks (a click, or one "Check
  // selected" of several scripts), writing each script back to the exact
  // bytes it had; Redo puts it back. A script changed since by another
  // program is left alone and reported through WriteFailed.
  void Undo();
  void Redo();
  const app::ScriptHistory& history() const { return history_; }

 signals:
  // A script file could not be written; `text` is the error's display text.
  void WriteFailed(const QString& text);

 private:
  // `in_step`, when given, is true once an earlier write of the same action
  // made a step for undo: this change joins it (and sets it when it makes
  // the step).
  bool WriteChecked(int row, bool checked, app::CheckWriteForm form, bool* in_step = nullptr);
  void StepHistory(bool undo);

  std::vector<app::ScriptEntry> entries_;
  std::vector<std::vector<app::Finding>> findings_;
  app::ScriptHistory history_;
  QIcon icon_;
  QIcon error_icon_;
  QIcon warning_icon_;
};

}  // namespace pelvar::ui
