// The scripts of the chosen folder as a list model with check boxes. A
// check mark changed here is written into the script's own file at once.
#pragma once

#include <QAbstractListModel>
#include <QIcon>
#include <vector>

#include "app/batch_run.h"
#include "app/script_catalogue.h"
#include "app/script_check.h"

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

  // Replaces all entries.
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

 signals:
  // A script file could not be written; `text` is the error's display text.
  void WriteFailed(const QString& text);

 private:
  bool WriteChecked(int row, bool checked, app::CheckWriteForm form);

  std::vector<app::ScriptEntry> entries_;
  std::vector<std::vector<app::Finding>> findings_;
  QIcon icon_;
  QIcon error_icon_;
  QIcon warning_icon_;
};

}  // namespace pelvar::ui
