// Setting the translated captions of a window's controls, found by their
// object names.
#pragma once

#include <QString>
#include <string_view>

#include "app/language_profiles.h"

class QWidget;

namespace pelvar::ui {

// The text of caption `key` (app::kCaptionKeys).
QString CaptionText(const app::Captions& captions, std::string_view key);

// Sets the text of the label, button, check box or group box named `name`
// below `window`; nothing when there is none.
void SetCaption(QWidget& window, const char* name, const QString& text);

}  // namespace pelvar::ui
