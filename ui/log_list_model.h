// The run log as a table model: one row per log line, its icon by kind;
// column 0 the line's text (its reason as the tool tip), column 1
// ("Details") the reason of a failure line.
// Lines are appended in batches so that a long run costs one insertion per
// batch, not one per line.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <vector>

#include "engine/run_log.h"

namespace pelvar::ui {

class LogListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // `with_icons`: the log window's list shows the kind icons; the
  // command-line window's hidden list has none.
  explicit LogListModel(bool with_icons, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Appends lines at the end (one row insertion).
  void Append(std::vector<LogLine> lines);
  // Empties the list.
  void Clear();
  // The column heads ("Line", "Details" until set).
  void SetHeaders(const QString& line, const QString& details);

  const std::vector<LogLine>& lines() const { return lines_; }

 private:
  bool with_icons_;
  QString line_head_ = QStringLiteral("Line");
  QString details_head_ = QStringLiteral("Details");
  std::vector<LogLine> lines_;
};

}  // namespace pelvar::ui
