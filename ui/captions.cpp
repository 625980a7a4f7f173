#include "ui/captions.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QWidget>

#include "ui/dialogs.h"

namespace pelvar::ui {

QString CaptionText(const app::Captions& captions, std::string_view key) {
  return ToQt(captions[app::CaptionIndex(key)]);
}

void SetCaption(QWidget& window, const char* name, const QString& text) {
  QWidget* widget = window.findChild<QWidget*>(QLatin1String(name));
  if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(text);
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) button->setText(text);
  if (auto* group = qobject_cast<QGroupBox*>(widget)) group->setTitle(text);
}

}  // namespace pelvar::ui
