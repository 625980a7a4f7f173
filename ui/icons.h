// The program's own pictures, drawn in code so that they look the same on
// every desktop: the nine log-kind icons, the command icons and the program
// icon.
#pragma once

#include <QIcon>

namespace pelvar::ui {

// Number of log kinds (icons 0 to 8).
inline constexpr int kLogKindCount = 9;

// The 16 by 16 icon of a log kind; kind 7 (spacer) is blank. Kinds outside
// 0 to 8 get the failure icon.
const QIcon& LogKindIcon(int kind);

// The 16 by 16 icon of a command line's image (0 to 15, by the line's first
// characters); other numbers get image 0.
const QIcon& CommandIcon(int image);

// The program icon (also installed as pelvar.svg).
const QIcon& ProgramIcon();

}  // namespace pelvar::ui
