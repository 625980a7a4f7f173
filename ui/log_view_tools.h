// What a log list offers beyond showing lines: the first column grows to the
// longest line so that a horizontal scroll bar reaches its end (once a line
// of a list with a details column has details, only as far as leaves them
// in view; a width the user gives it stays), a line's full
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

  // The first column's width as the user left it (a remembered width): from
  // then on the column keeps it. Width 0 or less changes nothing.
  void SetFirstColumnWidth(int width);
  int FirstColumnWidth() const;
  // True once the user (or SetFirstColumnWidth) gave the first column its
  // width.
  bool first_column_set() const { return user_sized_; }

  // In a list with a details column: the least widths of the first column
  // and of the details.
  static constexpr int kFirstColumnMinimum = 200;
  static constexpr int kDetailsMinimum = 180;
  // The first column's width before any line has details.
  static constexpr int kWideFirstColumn = 400;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnRowsInserted(int first, int last);
  void FitFirstColumn();

  QTreeView& view_;
  QObject* viewport_;
  // Length of the longest line seen, and its text.
  qsizetype longest_length_ = 0;
  QString longest_;
  bool fitting_ = false;
  bool has_details_ = false;
  bool user_sized_ = false;
};

}  // namespace pelvar::ui
