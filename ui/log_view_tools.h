// What a log list offers beyond showing lines: the first column grows to the
// longest line so that a horizontal scroll bar reaches its end, a line's full
// text (and the model's own tool tip, if any) as its tool tip, and Ctrl+C
// copying the selected lines as text, one per line.
#pragma once

#include <QObject>
#include <QString>

class QTreeView;

namespace pelvar::ui {

class LogViewTools : public QObject {
  Q_OBJECT

 public:
  // Attaches to `view` (whose model must be set) and lives as its child.
  explicit LogViewTools(QTreeView& view);

  // The selected lines' texts in list order, each ended by a line break.
  QString SelectedText() const;
  // Copies SelectedText() to the clipboard.
  void CopySelection() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnRowsInserted(int first, int last);
  void FitFirstColumn();

  QTreeView& view_;
  // Length of the longest line seen, and its text.
  qsizetype longest_length_ = 0;
  QString longest_;
};

}  // namespace pelvar::ui
