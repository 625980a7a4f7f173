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

LogViewTools::LogViewTools(QTreeView& view)
    : QObject(&view), view_(view), viewport_(view.viewport()) {
  view_.setSelectionMode(QAbstractItemView::ExtendedSelection);
  view_.setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  view_.setTextElideMode(Qt::ElideNone);
  view_.header()->setStretchLastSection(view_.model()->columnCount() > 1);
  // A width the user gives the first column stays.
  connect(view_.header(), &QHeaderView::sectionResized, this, [this](int logical, int, int) {
    if (logical == 0 && !fitting_) user_sized_ = true;
  });
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
    has_details_ = false;
    FitFirstColumn();
  });
}

void LogViewTools::OnRowsInserted(int first, int last) {
  const QAbstractItemModel* model = view_.model();
  bool longer = false;
  if (!has_details_ && model->columnCount() > 1) {
    for (int row = first; row <= last && !has_details_; ++row) {
      has_details_ = !model->index(row, 1).data(Qt::DisplayRole).toString().isEmpty();
      longer = has_details_;
    }
  }
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
  if (user_sized_) return;
  // Icon, paddings and a little room on top of the text itself.
  const int needed = view_.fontMetrics().horizontalAdvance(longest_) + view_.iconSize().width() +
                     4 * view_.style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 16;
  const int viewport = view_.viewport()->width();
  int width = std::max(needed, viewport);
  if (view_.model()->columnCount() > 1) {
    // Once a line has details (a failed line's reason) they stay in view:
    // the first column takes at most what leaves them a third of the width.
    const int details = std::max(kDetailsMinimum, viewport / 3);
    width = std::max(needed, kWideFirstColumn);
    if (has_details_) width = std::max(kFirstColumnMinimum, std::min(width, viewport - details));
  }
  fitting_ = true;
  view_.header()->resizeSection(0, width);
  fitting_ = false;
}

void LogViewTools::SetFirstColumnWidth(int width) {
  if (width <= 0) return;
  user_sized_ = true;
  fitting_ = true;
  view_.header()->resizeSection(0, width);
  fitting_ = false;
}

int LogViewTools::FirstColumnWidth() const {
  return view_.header()->sectionSize(0);
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
  // Compared by the pointer kept: while the view is destroyed its viewport
  // still sends events, and the view must not be asked anything then.
  if (watched != viewport_) return false;
  if (event->type() == QEvent::ToolTip) {
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
  if (event->type() == QEvent::Resize) FitFirstColumn();
  return false;
}

}  // namespace pelvar::ui
