#include "ui/script_list_model.h"

#include <QApplication>
#include <QStyle>
#include <algorithm>
#include <exception>

#include "engine/script_error.h"
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

bool ScriptListModel::WriteChecked(int row, bool checked, app::CheckWriteForm form) {
  app::ScriptEntry& e = entries_[static_cast<size_t>(row)];
  try {
    // A script file that has gone missing keeps the new mark on screen only.
    app::WriteScriptChecked(e.path, checked, form);
  } catch (const std::exception& error) {
    emit WriteFailed(ToQt(ErrorDisplayText(error.what())));
    return false;
  }
  e.checked = checked;
  const QModelIndex changed = index(row, 0);
  emit dataChanged(changed, changed, {Qt::CheckStateRole});
  return true;
}

void ScriptListModel::SetEntries(std::vector<app::ScriptEntry> entries) {
  beginResetModel();
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
  for (int row : rows) {
    if (row < 0 || row >= rowCount()) continue;
    if (!WriteChecked(row, checked, form)) break;
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
