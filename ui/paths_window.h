// The paths window: the source folder, target folder and ISO file that every
// run uses. A folder chosen or a box cleared is written to the configuration
// file at once; typed text reaches the file when the main window closes.
#pragma once

#include <QDialog>

#include "app/language_profiles.h"
#include "engine/script_context.h"
#include "ui/program_state.h"

class QLineEdit;
class QPushButton;

namespace pelvar::ui {

class PathsWindow : public QDialog {
  Q_OBJECT

 public:
  // The title of the folder chooser.
  static constexpr const char* kChooserTitle = "Select a directory";

  PathsWindow(ProgramState& state, QWidget* parent);

  // The boxes as the configuration load fills them (no write).
  void SetPaths(const RunPaths& paths);
  // The three boxes as they stand.
  RunPaths Paths() const;
  // The translated captions: the title (the "Paths" button's text), the
  // texts, the groups and the button.
  void ApplyCaptions(const app::Captions& captions);

 private:
  // One group: its box, its key and what a chosen folder makes of the box.
  struct PathBox {
    QLineEdit* edit = nullptr;
    app::ConfigKey key;
    bool iso = false;
  };
  QWidget* MakeGroup(const QString& title, const QString& name, const QString& text, PathBox& box);
  void ChooseFolder(PathBox& box);
  void Clear(PathBox& box);

  ProgramState& state_;
  PathBox source_;
  PathBox target_;
  PathBox iso_;
  // The paths as loaded: a box that still shows one gives its bytes back.
  RunPaths loaded_;
};

}  // namespace pelvar::ui
