// The editor of one script line: a text field that completes the command
// names, a table of what each field means for the named command, and the
// findings for the line, all updated as the user types. OK is refused for a
// text that the script cannot hold as a command line.
#pragma once

#include <QDialog>

#include "ui/dialogs.h"

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QTreeWidget;

namespace pelvar::ui {

class ScriptLineDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ScriptLineDialog(QWidget* parent = nullptr);

  void SetPrompt(const QString& prompt);
  // The script's own checks of the line, shown below its findings as the
  // user types.
  void SetLineCheck(LineCheck check);
  void SetLine(const QString& line);
  QString Line() const;

 private:
  void Update();

  QLabel* prompt_ = nullptr;
  QLineEdit* edit_ = nullptr;
  QTreeWidget* fields_ = nullptr;
  QLabel* findings_ = nullptr;
  QDialogButtonBox* buttons_ = nullptr;
  LineCheck check_;
};

}  // namespace pelvar::ui
