#include "ui/colour_grid.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace pelvar::ui {

namespace {

constexpr int kColumns = 8;
constexpr int kRows = 2;

}  // namespace

QColor ToQColor(app::BgrColour value) {
  return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF));
}

ColourGrid::ColourGrid(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("colourGrid"));
  setMinimumSize(kColumns * 16, kRows * 16);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setToolTip(QStringLiteral("FG: left button, BG: right button"));
  setFocusPolicy(Qt::StrongFocus);
  setAccessibleName(QStringLiteral("Colours"));
  setAccessibleDescription(
      QStringLiteral("Arrow keys choose a cell; Space sets the text colour, Shift+Space the "
                     "background colour"));
}

QSize ColourGrid::sizeHint() const {
  return {kColumns * 50, kRows * 40};
}

app::BgrColour ColourGrid::text_colour() const {
  return app::ColourCells()[static_cast<size_t>(text_cell_)].value;
}

app::BgrColour ColourGrid::back_colour() const {
  return app::ColourCells()[static_cast<size_t>(back_cell_)].value;
}

void ColourGrid::SetTextCell(int cell) {
  if (!text_enabled_ || cell < 0 || cell >= app::kColourCells || cell == text_cell_) return;
  text_cell_ = cell;
  update();
  emit ColoursChanged();
}

void ColourGrid::SetBackCell(int cell) {
  if (!back_enabled_ || cell < 0 || cell >= app::kColourCells || cell == back_cell_) return;
  back_cell_ = cell;
  update();
  emit ColoursChanged();
}

QRect ColourGrid::CellRect(int cell) const {
  const int w = width() / kColumns;
  const int h = height() / kRows;
  return {(cell % kColumns) * w, (cell / kColumns) * h, w, h};
}

int ColourGrid::CellAt(const QPoint& pos) const {
  for (int cell = 0; cell < app::kColourCells; ++cell) {
    if (CellRect(cell).contains(pos)) return cell;
  }
  return -1;
}

void ColourGrid::ChooseText(int cell) {
  text_enabled_ = true;
  SetTextCell(cell);
  update();
}

void ColourGrid::ChooseBack(int cell) {
  back_enabled_ = true;
  SetBackCell(cell);
  update();
}

void ColourGrid::MoveFocus(int cell) {
  if (cell < 0 || cell >= app::kColourCells || cell == focus_cell_) return;
  focus_cell_ = cell;
  update();
}

void ColourGrid::mousePressEvent(QMouseEvent* event) {
  const int cell = CellAt(event->position().toPoint());
  if (cell < 0) return;
  if (event->button() == Qt::LeftButton) {
    MoveFocus(cell);
    ChooseText(cell);
  } else if (event->button() == Qt::RightButton) {
    MoveFocus(cell);
    ChooseBack(cell);
  }
}

void ColourGrid::keyPressEvent(QKeyEvent* event) {
  const int column = focus_cell_ % kColumns;
  const int row = focus_cell_ / kColumns;
  switch (event->key()) {
    case Qt::Key_Left:
      if (column > 0) MoveFocus(focus_cell_ - 1);
      break;
    case Qt::Key_Right:
      if (column < kColumns - 1) MoveFocus(focus_cell_ + 1);
      break;
    case Qt::Key_Up:
      if (row > 0) MoveFocus(focus_cell_ - kColumns);
      break;
    case Qt::Key_Down:
      if (row < kRows - 1) MoveFocus(focus_cell_ + kColumns);
      break;
    case Qt::Key_Home:
      MoveFocus(0);
      break;
    case Qt::Key_End:
      MoveFocus(app::kColourCells - 1);
      break;
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (event->modifiers() & Qt::ShiftModifier) {
        ChooseBack(focus_cell_);
      } else {
        ChooseText(focus_cell_);
      }
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  event->accept();
}

void ColourGrid::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  for (int cell = 0; cell < app::kColourCells; ++cell) {
    const QRect r = CellRect(cell).adjusted(1, 1, -1, -1);
    const QColor colour = ToQColor(app::ColourCells()[static_cast<size_t>(cell)].value);
    painter.fillRect(r, colour);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(r.adjusted(0, 0, -1, -1));
    // The selections are marked with their labels in the cell's contrast.
    QStringList marks;
    if (text_enabled_ && cell == text_cell_) marks << QStringLiteral("FG");
    if (back_enabled_ && cell == back_cell_) marks << QStringLiteral("BG");
    if (!marks.isEmpty()) {
      const QColor ink = colour.lightness() >= 110 ? Qt::black : Qt::white;
      painter.setPen(QPen(ink, 2));
      painter.drawRect(r.adjusted(2, 2, -3, -3));
      painter.drawText(r, Qt::AlignCenter, marks.join(QLatin1Char('/')));
    }
    if (hasFocus() && cell == focus_cell_) {
      // The keyboard's cell: a dashed frame in the cell's contrast.
      const QColor ink = colour.lightness() >= 110 ? Qt::black : Qt::white;
      painter.setPen(QPen(ink, 1, Qt::DashLine));
      painter.drawRect(r.adjusted(4, 4, -5, -5));
    }
  }
}

}  // namespace pelvar::ui
