#include "ui/colour_grid.h"

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

void ColourGrid::mousePressEvent(QMouseEvent* event) {
  const int cell = CellAt(event->position().toPoint());
  if (cell < 0) return;
  if (event->button() == Qt::LeftButton) {
    text_enabled_ = true;
    SetTextCell(cell);
    update();
  } else if (event->button() == Qt::RightButton) {
    back_enabled_ = true;
    SetBackCell(cell);
    update();
  }
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
  }
}

}  // namespace pelvar::ui
