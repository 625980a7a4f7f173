#include "ui/log_view_tools.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QHelpEvent>
#include <QToolTip>
#include <QTreeView>
#include <algorithm>

namespace pelvar::ui {

LogViewTools::LogViewTools(QTreeView& view) : QObject(&view), view_(view) {
  view_.setSelectionMode(QAbstractItemView::ExtendedSelection);
  view_.setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  view_.setTextElideMode(Qt::ElideNone);
  view_.header()->setStretchLastSection(view_.model()->columnCount() > 1);
  view_.viewport()->installEventFilter(this);

  auto* copy = new QAction(QStringLiteral("Copy"), &view_);
  copy->setObjectName(QStringLiteral("copyLinesAction"));
  copy->setShortcut(QKeySequence::Copy);
  copy->setShortcutContext(Qt::WidgetShortcut);
  view_.addAction(copy);
  view_.setContextMenuPolicy(Qt::ActionsContextMenu);
  connect(copy, &QAction::triggered, this, &LogViewTools::CopySelection);

  QAbstractItemModel* model = view_.model();
  connect(model, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex&, int first, int last) { OnRowsInserted(first, last); });
  connect(model, &QAbstractItemModel::modelReset, this, [this] {
    longest_length_ = 0;
    longest_.clear();
    FitFirstColumn();
  });
}

void LogViewTools::OnRowsInserted(int first, int last) {
  const QAbstractItemModel* model = view_.model();
  bool longer = false;
  for (int row = first; row <= last; ++row) {
    const QString text = model->index(row, 0).data(Qt::DisplayRole).toString();
    if (text.size() > longest_length_) {
      longest_length_ = text.size();
      longest_ = text;
      longer = true;
    }
  }
  if (longer) FitFirstColumn();
}

void LogViewTools::FitFirstColumn() {
  // Icon, paddings and a little room on top of the text itself.
  const int needed = view_.fontMetrics().horizontalAdvance(longest_) + view_.iconSize().width() +
                     4 * view_.style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 16;
  const int minimum = view_.model()->columnCount() > 1 ? 400 : view_.viewport()->width();
  view_.header()->resizeSection(0, std::max(needed, minimum));
}

QString LogViewTools::SelectedText() const {
  QModelIndexList rows = view_.selectionModel()->selectedRows(0);
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  QString text;
  for (const QModelIndex& index : rows) {
    text += index.data(Qt::DisplayRole).toString();
    text += QLatin1Char('\n');
  }
  return text;
}

void LogViewTools::CopySelection() const {
  const QString text = SelectedText();
  if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

bool LogViewTools::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_.viewport() && event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = view_.indexAt(help->pos());
    if (!index.isValid()) {
      QToolTip::hideText();
      return true;
    }
    const QModelIndex line = index.siblingAtColumn(0);
    QString tip = line.data(Qt::DisplayRole).toString();
    const QString own = index.data(Qt::ToolTipRole).toString();
    if (!own.isEmpty() && own != tip) tip += QLatin1Char('\n') + own;
    QToolTip::showText(help->globalPos(), tip, view_.viewport(), view_.visualRect(index));
    return true;
  }
  if (watched == view_.viewport() && event->type() == QEvent::Resize) FitFirstColumn();
  return QObject::eventFilter(watched, event);
}

}  // namespace pelvar::ui
