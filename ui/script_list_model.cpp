#include "ui/script_list_model.h"

#include <QApplication>
#include <QStyle>
#include <algorithm>
#include <exception>

#include "engine/script_error.h"
#include "platform/file_system.h"
#include "platform/posix_file_system.h"
#include "ui/dialogs.h"

namespace pelvar::ui {

ScriptListModel::ScriptListModel(QObject* parent)
    : QAbstractListModel(parent),
      icon_(QApplication::style()->standardIcon(QStyle::SP_FileIcon)),
      error_icon_(QApplication::style()->standardIcon(QStyle::SP_MessageBoxCritical)),
      warning_icon_(QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning)) {}

int ScriptListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

QVariant ScriptListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const app::ScriptEntry& e = entry(index.row());
  switch (role) {
    case Qt::DisplayRole:
      return ToQt(e.title);
    case Qt::ToolTipRole:
      return ToQt(e.path);
    case Qt::DecorationRole: {
      const auto& found = findings_[static_cast<size_t>(index.row())];
      if (found.empty()) return icon_;
      const bool error = std::any_of(found.begin(), found.end(), [](const app::Finding& f) {
        return f.severity == app::Severity::kError;
      });
      return error ? error_icon_ : warning_icon_;
    }
    case Qt::CheckStateRole:
      return e.checked ? Qt::Checked : Qt::Unchecked;
    default:
      return {};
  }
}

Qt::ItemFlags ScriptListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
         Qt::ItemNeverHasChildren;
}

bool ScriptListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || !index.isValid() || index.row() >= rowCount()) return false;
  const bool checked = value.toInt() == Qt::Checked;
  return WriteChecked(index.row(), checked, app::CheckWriteForm::kClick);
}

bool ScriptListModel::WriteChecked(int row, bool checked, app::CheckWriteForm form, bool* in_step) {
  app::ScriptEntry& e = entries_[static_cast<size_t>(row)];
  platform::FileSystem& files = platform::ThreadFileSystem();
  // The bytes before and after the write are kept for undo.
  std::string before;
  const bool read = !files.ReadAll(e.path, before);
  try {
    // A script file that has gone missing keeps the new mark on screen only.
    app::WriteScriptChecked(e.path, checked, form);
  } catch (const std::exception& error) {
    emit WriteFailed(ToQt(ErrorDisplayText(error.what())));
    return false;
  }
  std::string after;
  if (read && !files.ReadAll(e.path, after)) {
    app::ScriptChange change =
        app::DiffScript(e.path, checked ? "Check script" : "Uncheck script", before, after);
    const bool differs = change.before != change.after;
    if (in_step != nullptr && *in_step) {
      history_.Join(std::move(change));
    } else {
      history_.Record(std::move(change));
      if (in_step != nullptr) *in_step = differs;
    }
  }
  e.checked = checked;
  const QModelIndex changed = index(row, 0);
  emit dataChanged(changed, changed, {Qt::CheckStateRole});
  return true;
}

void ScriptListModel::Undo() {
  StepHistory(true);
}

void ScriptListModel::Redo() {
  StepHistory(false);
}

void ScriptListModel::StepHistory(bool undo) {
  const std::vector<std::string> paths = undo ? history_.UndoPaths() : history_.RedoPaths();
  if (paths.empty()) return;
  app::StepOutcome outcome = app::StepOutcome::kNothing;
  try {
    platform::FileSystem& files = platform::ThreadFileSystem();
    outcome = undo ? history_.Undo(files) : history_.Redo(files);
  } catch (const std::exception& error) {
    emit WriteFailed(ToQt(ErrorDisplayText(error.what())));
    return;
  }
  if (outcome == app::StepOutcome::kChanged) {
    // The steps were made on versions that are gone.
    history_.Clear();
    emit WriteFailed(
        QStringLiteral("A script was changed since its check mark was set (by the editor or "
                       "another program); nothing was changed."));
    return;
  }
  // The marks show what the scripts now say.
  for (size_t row = 0; row < entries_.size(); ++row) {
    app::ScriptEntry& e = entries_[row];
    if (std::find(paths.begin(), paths.end(), e.path) == paths.end()) continue;
    e.checked = app::ReadScriptEntry(e.path).checked;
    const QModelIndex changed = index(static_cast<int>(row), 0);
    emit dataChanged(changed, changed, {Qt::CheckStateRole});
  }
}

void ScriptListModel::SetEntries(std::vector<app::ScriptEntry> entries) {
  beginResetModel();
  history_.Clear();
  entries_ = std::move(entries);
  findings_.assign(entries_.size(), {});
  endResetModel();
}

void ScriptListModel::SetFindings(int row, std::vector<app::Finding> findings) {
  if (row < 0 || row >= rowCount()) return;
  findings_[static_cast<size_t>(row)] = std::move(findings);
  const QModelIndex changed = index(row, 0);
  emit dataChanged(changed, changed, {Qt::DecorationRole});
}

void ScriptListModel::SetChecked(const std::vector<int>& rows, bool checked,
                                 app::CheckWriteForm form) {
  // One step for all the rows: one undo takes them all back.
  bool in_step = false;
  for (int row : rows) {
    if (row < 0 || row >= rowCount()) continue;
    if (!WriteChecked(row, checked, form, &in_step)) break;
  }
}

std::vector<app::BatchScript> ScriptListModel::CheckedScripts() const {
  std::vector<app::BatchScript> out;
  for (const app::ScriptEntry& e : entries_) {
    if (e.checked) out.push_back({e.title, e.path});
  }
  return out;
}

}  // namespace pelvar::ui
