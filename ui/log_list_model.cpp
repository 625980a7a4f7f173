#include "ui/log_list_model.h"

#include "ui/dialogs.h"
#include "ui/icons.h"

namespace pelvar::ui {

LogListModel::LogListModel(bool with_icons, QObject* parent)
    : QAbstractTableModel(parent), with_icons_(with_icons) {}

int LogListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

int LogListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 2;
}

QVariant LogListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return section == 0 ? line_head_ : details_head_;
}

QVariant LogListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || static_cast<size_t>(index.row()) >= lines_.size()) {
    return {};
  }
  const LogLine& line = lines_[static_cast<size_t>(index.row())];
  if (index.column() == 1) {
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return ToQt(line.reason);
    return {};
  }
  switch (role) {
    case Qt::DisplayRole:
      return ToQt(line.text);
    case Qt::ToolTipRole:
      if (line.reason.empty()) return {};
      return ToQt(line.reason);
    case Qt::DecorationRole:
      if (!with_icons_) return {};
      return LogKindIcon(KindNumber(line.kind));
    default:
      return {};
  }
}

void LogListModel::Append(std::vector<LogLine> lines) {
  if (lines.empty()) return;
  const int first = static_cast<int>(lines_.size());
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(lines.size()) - 1);
  if (lines_.empty()) {
    lines_ = std::move(lines);
  } else {
    lines_.insert(lines_.end(), std::make_move_iterator(lines.begin()),
                  std::make_move_iterator(lines.end()));
  }
  endInsertRows();
}

void LogListModel::SetHeaders(const QString& line, const QString& details) {
  line_head_ = line;
  details_head_ = details;
  emit headerDataChanged(Qt::Horizontal, 0, 1);
}

void LogListModel::Clear() {
  if (lines_.empty()) return;
  beginResetModel();
  lines_.clear();
  endResetModel();
}

}  // namespace pelvar::ui
