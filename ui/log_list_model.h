// The run log as a list model: one row per log line, its icon by kind.
// Lines are appended in batches so that a long run costs one insertion per
// batch, not one per line.
#pragma once

#include <QAbstractListModel>
#include <vector>

#include "engine/run_log.h"

namespace pelvar::ui {

class LogListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  // `with_icons`: the log window's list shows the kind icons; the
  // command-line window's hidden list has none.
  explicit LogListModel(bool with_icons, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  // Appends lines at the end (one row insertion).
  void Append(std::vector<LogLine> lines);
  // Empties the list.
  void Clear();

  const std::vector<LogLine>& lines() const { return lines_; }

 private:
  bool with_icons_;
  std::vector<LogLine> lines_;
};

}  // namespace pelvar::ui
