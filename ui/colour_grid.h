// The 16-colour grid of the settings window: 8 columns by 2 rows. A left
// click selects the text colour (FG), a right click the background colour
// (BG); a selection still disabled becomes enabled by its click. At start the
// background selection is enabled at cell 0 and the text selection disabled
// (it still reads as cell 0).
//
// From the keyboard: the arrow keys (and Home, End) move a focus cell; Space
// or Enter chooses it as the text colour, Shift with either as the
// background colour, as the two mouse buttons do.
#pragma once

#include <QWidget>

#include "app/colour_names.h"

namespace pelvar::ui {

// A grid colour as Qt draws it.
QColor ToQColor(app::BgrColour value);

class ColourGrid : public QWidget {
  Q_OBJECT

 public:
  explicit ColourGrid(QWidget* parent = nullptr);

  int text_cell() const { return text_cell_; }
  int back_cell() const { return back_cell_; }
  bool text_enabled() const { return text_enabled_; }
  bool back_enabled() const { return back_enabled_; }
  app::BgrColour text_colour() const;
  app::BgrColour back_colour() const;

  // Selects a cell; ColoursChanged is emitted when the selection moved. A
  // disabled selection ignores it.
  void SetTextCell(int cell);
  void SetBackCell(int cell);
  // The cell under a point of the widget; -1 outside.
  int CellAt(const QPoint& pos) const;
  QRect CellRect(int cell) const;
  // The cell the keyboard acts on.
  int focus_cell() const { return focus_cell_; }

  QSize sizeHint() const override;

 signals:
  void ColoursChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  int text_cell_ = 0;
  int back_cell_ = 0;
  bool text_enabled_ = false;
  bool back_enabled_ = true;
  int focus_cell_ = 0;

  void ChooseText(int cell);
  void ChooseBack(int cell);
  void MoveFocus(int cell);
};

}  // namespace pelvar::ui
