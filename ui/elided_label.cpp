#include "ui/elided_label.h"

#include <QFontMetrics>

namespace pelvar::ui {

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  setWordWrap(false);
}

void ElidedLabel::SetFullText(const QString& text, bool link) {
  full_ = text;
  link_ = link;
  setTextFormat(link ? Qt::RichText : Qt::PlainText);
  setToolTip(text);
  Relayout();
}

QSize ElidedLabel::minimumSizeHint() const {
  return {0, QLabel::minimumSizeHint().height()};
}

QSize ElidedLabel::sizeHint() const {
  return {fontMetrics().horizontalAdvance(full_) + 2 * margin(), QLabel::sizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Relayout();
}

void ElidedLabel::Relayout() {
  const int room = qMax(0, contentsRect().width() - 2 * margin());
  const QString shown = fontMetrics().elidedText(full_, Qt::ElideMiddle, room);
  const QString text =
      link_ ? QStringLiteral("<a href=\"#\">%1</a>").arg(shown.toHtmlEscaped()) : shown;
  if (QLabel::text() != text) setText(text);
}

QString BreakableText(const QString& text, int run) {
  QString out;
  out.reserve(text.size() + text.size() / run);
  int length = 0;
  for (const QChar c : text) {
    if (c.isSpace()) {
      length = 0;
    } else if (++length > run) {
      out += QChar(0x200B);
      length = 1;
    }
    out += c;
  }
  return out;
}

void MakeShrinkable(QLabel& label) {
  QSizePolicy policy = label.sizePolicy();
  policy.setHorizontalPolicy(QSizePolicy::Ignored);
  label.setSizePolicy(policy);
}

}  // namespace pelvar::ui
