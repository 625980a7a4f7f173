#include "ui/settings_window.h"

#include "ui/captions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <exception>

#include "engine/script_error.h"
#include "ui/colour_grid.h"
#include "ui/dialogs.h"
#include "ui/icons.h"

namespace pelvar::ui {

void PaintWindow(QWidget& window, app::BgrColour text, app::BgrColour back) {
  QPalette pal = window.palette();
  const QPalette base = window.style()->standardPalette();
  pal.setColor(QPalette::Window,
               back == app::kNoColour ? base.color(QPalette::Window) : ToQColor(back));
  pal.setColor(QPalette::WindowText,
               text == app::kNoColour ? base.color(QPalette::WindowText) : ToQColor(text));
  window.setPalette(pal);
  window.setAutoFillBackground(true);
  // The text colour goes only where the background colour goes: a panel
  // with a background of its own (the white header) keeps the standard
  // text colour, so a light text colour stays readable there.
  for (QWidget* child : window.findChildren<QWidget*>()) {
    if (!child->autoFillBackground() || child->window() != &window) continue;
    QPalette own = child->palette();
    if (!own.isBrushSet(QPalette::Active, QPalette::Window)) continue;
    own.setColor(QPalette::WindowText, base.color(QPalette::WindowText));
    child->setPalette(own);
  }
  window.update();
}

SettingsWindow::SettingsWindow(ProgramState& state, QWidget* parent)
    : QDialog(parent), state_(state) {
  setObjectName(QStringLiteral("settingsWindow"));
  setWindowTitle(QStringLiteral("Configuration"));
  setWindowIcon(ProgramIcon());
  setWindowModality(Qt::ApplicationModal);
  setFixedSize(500, 500);

  pages_ = new QTabWidget(this);
  pages_->setObjectName(QStringLiteral("settingsPages"));
  pages_->addTab(BuildOptionsPage(), QStringLiteral("Options"));
  pages_->addTab(BuildLanguagePage(), QStringLiteral("Language"));
  auto* ok = new QPushButton(QStringLiteral("Ok"), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages_, 1);
  layout->addLayout(buttons);
}

QWidget* SettingsWindow::BuildOptionsPage() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("optionsPage"));
  auto* intro = new QLabel(
      QStringLiteral("In this page you can change the internal configuration of pelvar. "), page);
  intro->setWordWrap(true);
  log_ = new QCheckBox(QStringLiteral("Create log file (log.txt)"), page);
  log_->setObjectName(QStringLiteral("logFileBox"));
  beep_ = new QCheckBox(QStringLiteral("Beep after processing"), page);
  beep_->setObjectName(QStringLiteral("beepBox"));
  message_ = new QCheckBox(QStringLiteral("Show message after processing"), page);
  message_->setObjectName(QStringLiteral("messageBox"));
  make_iso_ = new QCheckBox(QStringLiteral("Make ISO after a batch without failures"), page);
  make_iso_->setObjectName(QStringLiteral("makeIsoAfterBatchBox"));
  make_iso_->setToolTip(
      QStringLiteral("When the checked scripts logged no failure, the batch ends by writing the "
                     "ISO image of the target folder (MakeIsoAfterBatch)"));
  for (QCheckBox* box : {log_, beep_, message_, make_iso_}) {
    connect(box, &QCheckBox::toggled, this, [this] { state_.run_options = RunOptions(); });
  }

  auto* colours = new QGroupBox(QStringLiteral("Colors"), page);
  colours->setObjectName(QStringLiteral("coloursGroup"));
  auto* hint = new QLabel(QStringLiteral("Select the text color (FG) using the mouse left button, "
                                         "and background color (BG) with the mouse right button"),
                          colours);
  hint->setWordWrap(true);
  grid_ = new ColourGrid(colours);
  connect(grid_, &ColourGrid::ColoursChanged, this, &SettingsWindow::OnGridChanged);
  auto* colour_layout = new QVBoxLayout(colours);
  colour_layout->addWidget(hint);
  colour_layout->addWidget(grid_, 1);

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(intro);
  layout->addWidget(log_);
  layout->addWidget(beep_);
  layout->addWidget(message_);
  layout->addWidget(make_iso_);
  layout->addWidget(colours, 1);
  return page;
}

QWidget* SettingsWindow::BuildLanguagePage() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("languagePage"));
  auto* intro = new QLabel(QStringLiteral("You can select your default language or edit and make "
                                          "a new profile to represent your local language"),
                           page);
  intro->setWordWrap(true);
  languages_ = new QComboBox(page);
  languages_->setObjectName(QStringLiteral("languageList"));
  languages_->setEditable(false);
  languages_->setMaxVisibleItems(18);
  connect(languages_, &QComboBox::activated, this, &SettingsWindow::SelectLanguage);

  auto make_button = [page](const QString& hint, const QString& name, QStyle::StandardPixmap icon) {
    auto* button = new QToolButton(page);
    button->setObjectName(name);
    button->setToolTip(hint);
    button->setAccessibleName(hint);
    button->setIcon(page->style()->standardIcon(icon));
    button->setAutoRaise(true);
    return button;
  };
  auto* save = make_button(QStringLiteral("Save changes"), QStringLiteral("saveLanguageButton"),
                           QStyle::SP_DialogSaveButton);
  auto* create = make_button(QStringLiteral("Create a new language"),
                             QStringLiteral("newLanguageButton"), QStyle::SP_FileDialogNewFolder);
  auto* remove = make_button(QStringLiteral("Delete this language from list"),
                             QStringLiteral("deleteLanguageButton"), QStyle::SP_TrashIcon);
  connect(save, &QToolButton::clicked, this, &SettingsWindow::SaveLanguage);
  connect(create, &QToolButton::clicked, this, &SettingsWindow::CreateLanguage);
  connect(remove, &QToolButton::clicked, this, &SettingsWindow::DeleteLanguage);

  texts_ = new QTableWidget(0, 2, page);
  texts_->setObjectName(QStringLiteral("languageTexts"));
  texts_->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Text")});
  texts_->verticalHeader()->setVisible(false);
  texts_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  texts_->horizontalHeader()->setStretchLastSection(true);
  texts_->setSelectionMode(QAbstractItemView::SingleSelection);
  texts_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed);

  auto* row = new QHBoxLayout;
  row->addWidget(languages_, 1);
  row->addWidget(save);
  row->addWidget(create);
  row->addWidget(remove);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(intro);
  layout->addLayout(row);
  layout->addWidget(texts_, 1);
  return page;
}

void SettingsWindow::SetRunOptions(const app::BatchOptions& options) {
  log_->setChecked(options.write_log_file);
  beep_->setChecked(options.beep);
  message_->setChecked(options.show_message);
  make_iso_->setChecked(options.make_iso);
  state_.run_options = RunOptions();
}

app::BatchOptions SettingsWindow::RunOptions() const {
  app::BatchOptions options;
  options.write_log_file = log_->isChecked();
  options.beep = beep_->isChecked();
  options.show_message = message_->isChecked();
  options.make_iso = make_iso_->isChecked();
  return options;
}

void SettingsWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  raise();
  activateWindow();
  // The text colour chosen stays as it is: showing the window changes no
  // colour and writes nothing.
}

// Colours ------------------------------------------------------------------

void SettingsWindow::SetOwnColours(app::BgrColour text, app::BgrColour back) {
  text_colour_ = text;
  back_colour_ = back;
  PaintWindow(*this, text, back);
}

void SettingsWindow::OnGridChanged() {
  SetOwnColours(grid_->text_colour(), grid_->back_colour());
  if (!WriteConfigKey(state_, this, app::config::kTextColor,
                      app::ColourName(text_colour_, "Black")) ||
      !WriteConfigKey(state_, this, app::config::kBackColor,
                      app::ColourName(back_colour_, "White"))) {
    return;
  }
  emit MainColoursChanged(text_colour_, back_colour_);
}

void SettingsWindow::ApplySavedColours() {
  const app::BgrColour text =
      app::ColourValue(state_.config.Read(app::config::kTextColor), app::kBlack);
  const app::BgrColour back =
      app::ColourValue(state_.config.Read(app::config::kBackColor), app::kWhite);
  emit MainColoursChanged(text, back);
  SetOwnColours(text, back);
}

// Languages ----------------------------------------------------------------

bool SettingsWindow::Apply(const std::function<void()>& change) {
  try {
    change();
    return true;
  } catch (const std::exception& error) {
    state_.dialogs.Message(this, MessageKind::kError, QString::fromLatin1(kProgramTitle),
                           ToQt(ErrorDisplayText(error.what())));
    return false;
  }
}

void SettingsWindow::ShowProfiles(const app::LanguageProfiles& profiles) {
  languages_->clear();
  // Each profile shows its display name; its name is the item's data.
  for (size_t i = 0; i < profiles.names.size(); ++i) {
    const QString name = ToQt(profiles.names[i]);
    languages_->addItem(ToQt(profiles.display_names[i]), name);
    languages_->setItemData(static_cast<int>(i), name, Qt::ToolTipRole);
  }
  languages_->setCurrentIndex(profiles.selected);
  shown_language_ = profiles.selected;
  texts_->setRowCount(0);
  texts_->setRowCount(static_cast<int>(profiles.rows.size()));
  for (int row = 0; row < texts_->rowCount(); ++row) {
    const app::LanguageRow& source = profiles.rows[static_cast<size_t>(row)];
    auto* key = new QTableWidgetItem(ToQt(source.key));
    key->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    texts_->setItem(row, 0, key);
    texts_->setItem(row, 1, new QTableWidgetItem(ToQt(source.text)));
  }
}

void SettingsWindow::LoadLanguages() {
  app::LanguageProfiles profiles;
  Apply([&] { profiles = app::LoadLanguageProfiles(state_.location.config_path); });
  ShowProfiles(profiles);
}

std::vector<app::LanguageRow> SettingsWindow::GridRows() const {
  std::vector<app::LanguageRow> rows;
  for (int row = 0; row < texts_->rowCount(); ++row) {
    const QTableWidgetItem* key = texts_->item(row, 0);
    const QTableWidgetItem* text = texts_->item(row, 1);
    rows.push_back({key != nullptr ? FromQt(key->text()) : std::string(),
                    text != nullptr ? FromQt(text->text()) : std::string()});
  }
  return rows;
}

std::string SettingsWindow::ProfileName(int index) const {
  return FromQt(languages_->itemData(index).toString());
}

app::Captions SettingsWindow::Captions() const {
  return app::Translate(GridRows());
}

void SettingsWindow::SelectLanguage(int index) {
  if (index < 0 || index >= languages_->count()) return;
  if (!WriteConfigKey(state_, this, app::config::kDefaultLanguage, ProfileName(index))) {
    // The profile in use, its texts and the captions stay as they were.
    languages_->setCurrentIndex(shown_language_);
    return;
  }
  LoadLanguages();
  emit CaptionsChanged(Captions());
}

void SettingsWindow::SaveLanguage() {
  if (languages_->currentIndex() < 0) return;
  const std::string name = ProfileName(languages_->currentIndex());
  const std::vector<app::LanguageRow> rows = GridRows();
  // The saved texts are the captions from now on.
  if (Apply([&] { app::SaveLanguage(state_.location.config_path, name, rows); })) {
    emit CaptionsChanged(Captions());
  }
}

void SettingsWindow::CreateLanguage() {
  const std::optional<QString> answer = state_.dialogs.AskText(
      this, QStringLiteral("New language"), QStringLiteral("Please type new language name"), {});
  if (!answer || answer->isEmpty()) return;
  const std::string name = FromQt(*answer);
  std::vector<std::string> names;
  for (int i = 0; i < languages_->count(); ++i) names.push_back(ProfileName(i));
  if (const auto refusal = app::LanguageNameTaken(names, name)) {
    state_.dialogs.Message(this, MessageKind::kInformation, QString::fromLatin1(kProgramTitle),
                           ToQt(*refusal));
    return;
  }
  const std::vector<app::LanguageRow> rows = GridRows();
  if (Apply([&] { app::CreateLanguage(state_.location.config_path, name, rows); })) {
    LoadLanguages();
  }
}

void SettingsWindow::DeleteLanguage() {
  const int index = languages_->currentIndex();
  if (index <= 0) return;
  const std::string removed = ProfileName(index);
  const std::string first = ProfileName(0);
  // The profile's section leaves the configuration file for good.
  if (!state_.dialogs.Confirm(
          this, QString::fromLatin1(kProgramTitle),
          QStringLiteral("Delete the language \"%1\" with all its texts? This cannot be undone.")
              .arg(languages_->itemText(index)),
          QStringLiteral("Delete"))) {
    return;
  }
  if (Apply([&] { app::DeleteLanguage(state_.location.config_path, first, removed); })) {
    LoadLanguages();
  }
}

// Captions -------------------------------------------------------------------

void SettingsWindow::ApplyOwnCaptions(const app::Captions& captions) {
  setWindowTitle(CaptionText(captions, "Configuration"));
  pages_->setTabText(0, CaptionText(captions, "OptionsPage"));
  pages_->setTabText(1, CaptionText(captions, "LanguagePage"));
  log_->setText(CaptionText(captions, "LogFile"));
  beep_->setText(CaptionText(captions, "BeepAfter"));
  message_->setText(CaptionText(captions, "MessageAfter"));
  if (auto* colours = findChild<QGroupBox*>()) colours->setTitle(CaptionText(captions, "Colors"));
  SetCaption(*this, "okButton", CaptionText(captions, "Ok"));
}

}  // namespace pelvar::ui
