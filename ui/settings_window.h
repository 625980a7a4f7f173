// The settings window "Configuration": page "Options" with the end-of-run
// options and the colour grid, page "Language" with the language profiles.
// While it is shown the main window takes no input.
#pragma once

#include <QDialog>

#include "app/batch_run.h"
#include "app/colour_names.h"
#include "app/language_profiles.h"
#include "ui/program_state.h"

class QCheckBox;
class QComboBox;
class QTableWidget;
class QTabWidget;
class QToolButton;

namespace pelvar::ui {

class ColourGrid;

class SettingsWindow : public QDialog {
  Q_OBJECT

 public:
  SettingsWindow(ProgramState& state, QWidget* parent);

  // The three run options as the configuration sets them (no write). The
  // boxes are the source of the program's run options from then on.
  void SetRunOptions(const app::BatchOptions& options);
  app::BatchOptions RunOptions() const;

  // Load profiles: the list, the profile in use and its texts.
  void LoadLanguages();
  // The eight captions as the texts on the Language page give them.
  app::Captions Captions() const;
  // Its own translated captions: the title (the "Configuration" text), the
  // pages, the boxes, the colours group and the button.
  void ApplyOwnCaptions(const app::Captions& captions);
  // The name of the profile at `index` of the drop-down (which shows its
  // display name).
  std::string ProfileName(int index) const;
  // The user picks a profile: it becomes the one in use and is applied.
  void SelectLanguage(int index);
  // The three buttons of the Language page.
  void SaveLanguage();
  void CreateLanguage();
  void DeleteLanguage();

  // Applies the colours saved in the configuration file to the main window
  // and this window.
  void ApplySavedColours();

  ColourGrid& grid() { return *grid_; }
  // The window's own colours.
  app::BgrColour text_colour() const { return text_colour_; }
  app::BgrColour back_colour() const { return back_colour_; }

 signals:
  // A translation pass: the windows take these captions.
  void CaptionsChanged(const app::Captions& captions);
  // The main window takes these colours.
  void MainColoursChanged(app::BgrColour text, app::BgrColour back);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* BuildOptionsPage();
  QWidget* BuildLanguagePage();
  void OnGridChanged();
  void SetOwnColours(app::BgrColour text, app::BgrColour back);
  std::vector<app::LanguageRow> GridRows() const;
  void ShowProfiles(const app::LanguageProfiles& profiles);
  // Runs a change of the configuration file; shows its error, if any.
  bool Apply(const std::function<void()>& change);

  ProgramState& state_;
  QTabWidget* pages_ = nullptr;
  QCheckBox* log_ = nullptr;
  QCheckBox* beep_ = nullptr;
  QCheckBox* make_iso_ = nullptr;
  QCheckBox* message_ = nullptr;
  ColourGrid* grid_ = nullptr;
  QComboBox* languages_ = nullptr;
  QTableWidget* texts_ = nullptr;
  int shown_language_ = -1;
  app::BgrColour text_colour_ = app::kBlack;
  app::BgrColour back_colour_ = app::kNoColour;
};

// Sets a widget's window and text colours; kNoColour keeps the desktop's.
void PaintWindow(QWidget& window, app::BgrColour text, app::BgrColour back);

}  // namespace pelvar::ui
