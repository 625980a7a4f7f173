// Labels that never widen their window: a one-line label that elides its
// text to the width it is given (the full text as its tool tip, optionally
// shown as a link), and the breaking of long words for word-wrapped labels.
#pragma once

#include <QLabel>

namespace pelvar::ui {

class ElidedLabel : public QLabel {
  Q_OBJECT

 public:
  explicit ElidedLabel(QWidget* parent = nullptr);

  // The text to show; `link`: shown underlined as a link that emits
  // linkActivated.
  void SetFullText(const QString& text, bool link = false);
  const QString& full_text() const { return full_; }

  QSize minimumSizeHint() const override;
  QSize sizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Relayout();

  QString full_;
  bool link_ = false;
};

// The text with a break opportunity (a zero-width space) every `run`
// characters inside words longer than that, so that word wrap can break a
// long address or path.
QString BreakableText(const QString& text, int run = 24);

// Lets a word-wrapped label shrink below its longest word.
void MakeShrinkable(QLabel& label);

}  // namespace pelvar::ui
