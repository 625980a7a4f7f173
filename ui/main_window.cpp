#include "ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/dry_run.h"
#include "app/headless_run.h"
#include "app/program_services.h"
#include "app/program_settings.h"
#include "app/script_catalogue.h"
#include "commands/builtin_commands.h"
#include "engine/script_error.h"
#include "engine/text.h"
#include "ui/catalogue_checks.h"
#include "ui/dialogs.h"
#include "ui/elided_label.h"
#include "ui/icons.h"
#include "ui/log_list_model.h"
#include "ui/log_window.h"
#include "ui/paths_window.h"
#include "ui/run_bridge.h"
#include "ui/script_editor_window.h"
#include "ui/script_list_model.h"
#include "ui/settings_window.h"
#include "ui/update_window.h"

namespace pelvar::ui {

namespace {

QFont ScaledFont(const QFont& base, double factor, bool bold) {
  QFont font = base;
  font.setPointSizeF(base.pointSizeF() * factor);
  font.setBold(bold);
  return font;
}

QPushButton* MakeButton(const QString& text, const QString& name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  return button;
}

// A click on an entry's check box selects the entry as well (the box toggles
// as usual): the release is seen before the view acts on it.
class CheckClickSelects : public QObject {
 public:
  explicit CheckClickSelects(QTreeView* tree) : QObject(tree), tree_(tree) {
    tree->viewport()->installEventFilter(this);
  }

  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    if (event->type() != QEvent::MouseButtonRelease) return false;
    const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
    const QModelIndex index = tree_->indexAt(pos);
    if (!index.isValid() || !CheckRect(index).contains(pos)) return false;
    tree_->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    tree_->setFocus(Qt::MouseFocusReason);
    return false;
  }

 private:
  QRect CheckRect(const QModelIndex& index) const {
    QStyleOptionViewItem option;
    option.initFrom(tree_->viewport());
    option.rect = tree_->visualRect(index);
    option.features = QStyleOptionViewItem::HasCheckIndicator;
    return tree_->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, tree_);
  }

  QTreeView* tree_;
};

}  // namespace

MainWindow::MainWindow(ProgramState& state)
    : state_(state), scripts_(new ScriptListModel(this)), checks_(new CatalogueChecks(this)) {
  setObjectName(QStringLiteral("mainWindow"));
  setWindowTitle(QString::fromLatin1(kProgramTitle));
  setWindowIcon(ProgramIcon());
  resize(760, 540);

  content_ = new QWidget(this);
  content_->setObjectName(QStringLiteral("mainContent"));
  folders_ = new QComboBox(content_);
  folders_->setObjectName(QStringLiteral("folderList"));
  folders_->setEditable(false);
  tree_ = new QTreeView(content_);
  tree_->setObjectName(QStringLiteral("scriptTree"));
  tree_->setModel(scripts_);
  tree_->setHeaderHidden(true);
  tree_->setRootIsDecorated(false);
  tree_->setUniformRowHeights(true);
  tree_->setItemsExpandable(false);
  tree_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  tree_->setSelectionBehavior(QAbstractItemView::SelectRows);
  tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tree_->setAllColumnsShowFocus(true);
  tree_->setContextMenuPolicy(Qt::CustomContextMenu);
  new CheckClickSelects(tree_);

  menu_ = new QMenu(this);
  QAction* check = menu_->addAction(QStringLiteral("Check selected"));
  check->setObjectName(QStringLiteral("checkSelectedAction"));
  QAction* uncheck = menu_->addAction(QStringLiteral("Uncheck selected"));
  uncheck->setObjectName(QStringLiteral("uncheckSelectedAction"));
  menu_->setDefaultAction(check);
  connect(check, &QAction::triggered, this, [this] { CheckSelected(true); });
  connect(uncheck, &QAction::triggered, this, [this] { CheckSelected(false); });
  // Check marks are taken back with Ctrl+Z and put back with Ctrl+Shift+Z
  // or Ctrl+Y, here and in the menu.
  menu_->addSeparator();
  undo_ = menu_->addAction(QStringLiteral("Undo"));
  undo_->setObjectName(QStringLiteral("undoChecksAction"));
  undo_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  redo_ = menu_->addAction(QStringLiteral("Redo"));
  redo_->setObjectName(QStringLiteral("redoChecksAction"));
  redo_->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  addAction(undo_);
  addAction(redo_);
  connect(undo_, &QAction::triggered, this, [this] {
    if (!running()) scripts_->Undo();
  });
  connect(redo_, &QAction::triggered, this, [this] {
    if (!running()) scripts_->Redo();
  });
  connect(menu_, &QMenu::aboutToShow, this, &MainWindow::UpdateUndoActions);
  // Enter on the script list opens the editor; F5 lists the folder again.
  for (const QKeySequence& key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
    auto* enter = new QShortcut(key, tree_);
    enter->setContext(Qt::WidgetShortcut);
    connect(enter, &QShortcut::activated, this, &MainWindow::OpenEditor);
  }
  auto* reload = new QShortcut(QKeySequence(Qt::Key_F5), this);
  connect(reload, &QShortcut::activated, this, &MainWindow::ReloadList);

  auto* left = new QVBoxLayout;
  left->addWidget(folders_);
  left->addWidget(tree_, 1);
  auto* middle = new QHBoxLayout;
  middle->addLayout(left, 3);
  middle->addWidget(BuildDetails(), 2);
  auto* content_layout = new QVBoxLayout(content_);
  content_layout->setContentsMargins(0, 0, 0, 0);
  content_layout->addWidget(BuildHeader());
  auto* body = new QVBoxLayout;
  body->setContentsMargins(9, 6, 9, 9);
  body->addLayout(middle, 1);
  body->addWidget(BuildButtons());
  content_layout->addLayout(body, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(content_);
  BuildProgressPanel();

  connect(folders_, &QComboBox::activated, this, [this] { ListChosenFolder(); });
  connect(
      tree_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
      [this](const QModelIndex& current) { ShowDetails(current.isValid() ? current.row() : -1); });
  connect(tree_, &QWidget::customContextMenuRequested, this, &MainWindow::OnTreeContextMenu);
  connect(checks_, &CatalogueChecks::Checked, this,
          [this](int row, const std::vector<app::Finding>& findings) {
            scripts_->SetFindings(row, findings);
            if (tree_->currentIndex().row() == row) ShowDetails(row);
          });
  connect(tree_, &QAbstractItemView::doubleClicked, this, &MainWindow::OpenEditor);
  connect(scripts_, &ScriptListModel::WriteFailed, this, [this](const QString& text) {
    state_.dialogs.Message(this, MessageKind::kError, QString::fromLatin1(kProgramTitle), text);
  });
}

MainWindow::~MainWindow() {
  // A run still going on ends (after its current command) while the window's
  // members it reports to are alive.
  bridge_.reset();
}

QWidget* MainWindow::BuildHeader() {
  auto* header = new QFrame(content_);
  header->setObjectName(QStringLiteral("headerPanel"));
  header->setAutoFillBackground(true);
  QPalette pal = header->palette();
  pal.setColor(QPalette::Window, Qt::white);
  header->setPalette(pal);
  header->setFrameShape(QFrame::StyledPanel);
  auto* icon = new QLabel(header);
  icon->setPixmap(ProgramIcon().pixmap(48, 48));
  auto* title = new QLabel(QString::fromLatin1(kProgramTitle), header);
  title->setObjectName(QStringLiteral("headerTitle"));
  title->setFont(ScaledFont(font(), 1.8, true));
  auto* description = new QLabel(QStringLiteral("A .script file interpreter"), header);
  description->setObjectName(QStringLiteral("headerDescription"));
  auto* texts = new QVBoxLayout;
  texts->addWidget(title);
  texts->addWidget(description);
  auto* layout = new QHBoxLayout(header);
  layout->addWidget(icon);
  layout->addLayout(texts, 1);
  return header;
}

QWidget* MainWindow::BuildDetails() {
  auto* details = new QFrame(content_);
  details->setObjectName(QStringLiteral("detailsPanel"));
  details->setFrameShape(QFrame::StyledPanel);
  details_title_ = new QLabel(details);
  details_title_->setObjectName(QStringLiteral("detailsTitle"));
  details_title_->setFont(ScaledFont(font(), 1.3, true));
  details_title_->setWordWrap(true);
  MakeShrinkable(*details_title_);
  details_description_ = new QLabel(details);
  details_description_->setObjectName(QStringLiteral("detailsDescription"));
  details_description_->setWordWrap(true);
  details_description_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  MakeShrinkable(*details_description_);
  // Long unbreakable texts are elided or broken, never widening the panel.
  details_author_ = new ElidedLabel(details);
  details_author_->setObjectName(QStringLiteral("detailsAuthor"));
  details_contact_ = new ElidedLabel(details);
  details_contact_->setObjectName(QStringLiteral("detailsContact"));
  details_contact_->setCursor(Qt::PointingHandCursor);
  details_contact_->setVisible(false);
  connect(details_contact_, &QLabel::linkActivated, this,
          [this] { state_.shell.OpenAddress(ToQt(contact_)); });
  details_findings_ = new QLabel(details);
  details_findings_->setObjectName(QStringLiteral("detailsFindings"));
  details_findings_->setWordWrap(true);
  details_findings_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  details_findings_->setVisible(false);
  MakeShrinkable(*details_findings_);
  auto* layout = new QVBoxLayout(details);
  layout->addWidget(details_title_);
  layout->addWidget(details_description_, 1);
  layout->addWidget(details_findings_);
  layout->addWidget(details_author_);
  layout->addWidget(details_contact_);
  return details;
}

QWidget* MainWindow::BuildButtons() {
  auto* row = new QWidget(content_);
  auto* open = MakeButton(QStringLiteral("Open"), QStringLiteral("openButton"), row);
  auto* update = MakeButton(QStringLiteral("Update.."), QStringLiteral("updateButton"), row);
  auto* paths = MakeButton(QStringLiteral("Paths"), QStringLiteral("pathsButton"), row);
  auto* configuration =
      MakeButton(QStringLiteral("Configuration"), QStringLiteral("configurationButton"), row);
  auto* log = MakeButton(QStringLiteral("Log window"), QStringLiteral("logWindowButton"), row);
  dry_run_ = MakeButton(QStringLiteral("Dry run"), QStringLiteral("dryRunButton"), row);
  dry_run_->setToolTip(
      QStringLiteral("Runs the checked scripts without changing anything and "
                     "shows in the log window what each line would change"));
  make_iso_ = MakeButton(QStringLiteral("Make ISO"), QStringLiteral("makeIsoButton"), row);
  make_iso_->setToolTip(
      QStringLiteral("Writes the bootable ISO image of the target folder to the ISO file"));
  start_ = MakeButton(QStringLiteral("Start"), QStringLiteral("startButton"), row);
  start_->setDefault(true);
  // The settings and update windows are enabled once they are set.
  update->setEnabled(false);
  update->setVisible(false);
  configuration->setEnabled(false);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 6, 0, 0);
  for (QPushButton* b : {open, update, paths, configuration}) layout->addWidget(b);
  layout->addStretch();
  layout->addWidget(log);
  layout->addWidget(dry_run_);
  layout->addWidget(make_iso_);
  layout->addWidget(start_);
  connect(paths, &QPushButton::clicked, this, [this] {
    if (paths_ != nullptr) paths_->show();
  });
  connect(log, &QPushButton::clicked, this, &MainWindow::ToggleLogWindow);
  connect(open, &QPushButton::clicked, this, &MainWindow::OpenEditor);
  connect(start_, &QPushButton::clicked, this, &MainWindow::StartBatch);
  connect(dry_run_, &QPushButton::clicked, this, &MainWindow::StartDryRun);
  connect(make_iso_, &QPushButton::clicked, this, &MainWindow::StartMakeIso);
  return row;
}

void MainWindow::BuildProgressPanel() {
  panel_ = new QFrame(this);
  panel_->setObjectName(QStringLiteral("progressPanel"));
  panel_->setFrameShape(QFrame::Panel);
  panel_->setFrameShadow(QFrame::Raised);
  panel_->setLineWidth(2);
  panel_->setAutoFillBackground(true);
  auto* icon = new QLabel(panel_);
  icon->setPixmap(ProgramIcon().pixmap(48, 48));
  panel_title_ = new QLabel(panel_);
  panel_title_->setObjectName(QStringLiteral("progressTitle"));
  panel_title_->setFont(ScaledFont(font(), 1.3, true));
  panel_status_ = new QLabel(panel_);
  panel_status_->setObjectName(QStringLiteral("progressStatus"));
  panel_progress_ = new QProgressBar(panel_);
  panel_progress_->setObjectName(QStringLiteral("progressBar"));
  panel_progress_->setTextVisible(false);
  stop_ = MakeButton(QStringLiteral("Stop"), QStringLiteral("stopButton"), panel_);
  connect(stop_, &QPushButton::clicked, this, &MainWindow::StopBatch);

  auto* texts = new QVBoxLayout;
  texts->addWidget(panel_title_);
  texts->addWidget(panel_status_);
  auto* top = new QHBoxLayout;
  top->addWidget(icon);
  top->addLayout(texts, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(panel_progress_, 1);
  bottom->addWidget(stop_);
  auto* layout = new QVBoxLayout(panel_);
  layout->setContentsMargins(16, 12, 16, 12);
  layout->addLayout(top);
  layout->addLayout(bottom);
  panel_->hide();
}

void MainWindow::PlaceProgressPanel() {
  const int width = qMin(qMax(320, this->width() * 3 / 4), this->width() - 20);
  const int height = panel_->sizeHint().height();
  panel_->setGeometry((this->width() - width) / 2, (this->height() - height) / 2, width, height);
}

void MainWindow::SetProgressPanelVisible(bool visible) {
  if (visible) {
    PlaceProgressPanel();
    panel_->raise();
  }
  panel_->setVisible(visible);
}

void MainWindow::SetCompanions(PathsWindow& paths, LogWindow& log) {
  paths_ = &paths;
  log_ = &log;
  RunSurface surface;
  surface.log = &log.model();
  surface.log_view = &log.list();
  surface.progress = panel_progress_;
  surface.status = panel_status_;
  surface.dialog_parent = this;
  surface.set_panel_visible = [this](bool visible) { SetProgressPanelVisible(visible); };
  surface.set_title = [this](const QString& text) { panel_title_->setText(text); };
  bridge_ = std::make_unique<RunBridge>(std::move(surface), state_.dialogs, state_.shell);
  connect(bridge_.get(), &RunBridge::Finished, this, &MainWindow::OnBatchFinished);
  connect(&paths, &QDialog::finished, this, [this] {
    raise();
    activateWindow();
  });
}

void MainWindow::SetEditor(ScriptEditorWindow& editor) {
  editor_ = &editor;
  connect(&editor, &ScriptEditorWindow::Closed, this, [this] {
    setEnabled(true);
    raise();
    activateWindow();
  });
}

void MainWindow::SetSettingsWindow(SettingsWindow& settings) {
  settings_ = &settings;
  auto* button = findChild<QPushButton*>(QStringLiteral("configurationButton"));
  button->setEnabled(true);
  connect(button, &QPushButton::clicked, this, [this] { settings_->show(); });
  connect(&settings, &SettingsWindow::CaptionsChanged, this, &MainWindow::ApplyCaptions);
  connect(&settings, &SettingsWindow::MainColoursChanged, this, &MainWindow::ApplyColours);
  connect(&settings, &QDialog::finished, this, [this] {
    raise();
    activateWindow();
  });
}

void MainWindow::OpenEditor() {
  if (editor_ == nullptr || running()) return;
  const QModelIndex current = tree_->currentIndex();
  const bool selected = current.isValid() && tree_->selectionModel()->isSelected(current);
  setEnabled(false);
  editor_->Open(selected ? scripts_->entry(current.row()).path : std::string());
}

void MainWindow::SetUpdateWindow(UpdateWindow& update) {
  update_window_ = &update;
  auto* button = findChild<QPushButton*>(QStringLiteral("updateButton"));
  button->setEnabled(true);
  button->setVisible(true);
  connect(button, &QPushButton::clicked, this, [&update] { update.show(); });
  connect(&update, &QDialog::finished, this, [this] {
    raise();
    activateWindow();
  });
}

std::string MainWindow::ChosenFolderPath() const {
  if (folders_->currentIndex() < 0) return {};
  return app::ScriptFolderPath(state_.location.folder, FromQt(folders_->currentText()));
}

void MainWindow::ApplyCaptions(const app::Captions& captions) {
  using app::CaptionIndex;
  const std::pair<const char*, size_t> targets[] = {
      {"headerTitle", CaptionIndex("ProgramTitle")},
      {"headerDescription", CaptionIndex("ProgramDescription")},
      {"openButton", CaptionIndex("Open")},
      {"pathsButton", CaptionIndex("Paths")},
      {"configurationButton", CaptionIndex("Configuration")},
      {"logWindowButton", CaptionIndex("LogWindow")},
      {"startButton", CaptionIndex("Start")},
      {"dryRunButton", CaptionIndex("DryRun")},
      {"updateButton", CaptionIndex("Update")},
      {"stopButton", CaptionIndex("Stop")}};
  for (const auto& [name, index] : targets) {
    QWidget* widget = findChild<QWidget*>(QLatin1String(name));
    const QString text = ToQt(captions[index]);
    if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(text);
    if (auto* button = qobject_cast<QPushButton*>(widget)) button->setText(text);
  }
  if (log_ != nullptr) log_->ApplyCaptions(captions);
  if (paths_ != nullptr) paths_->ApplyCaptions(captions);
  if (update_window_ != nullptr) update_window_->ApplyCaptions(captions);
  if (settings_ != nullptr) settings_->ApplyOwnCaptions(captions);
  if (editor_ != nullptr) editor_->ApplyCaptions(captions);
}

void MainWindow::ApplyColours(app::BgrColour text, app::BgrColour back) {
  PaintWindow(*this, text, back);
}

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (loaded_) return;
  if (QScreen* screen = this->screen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
  LoadConfiguration();
}

bool MainWindow::LoadConfiguration() {
  if (settings_ != nullptr) {
    // Before the file is looked for: without one the built-in texts show.
    settings_->LoadLanguages();
    ApplyCaptions(settings_->Captions());
  }
  state_.config = app::ProgramConfig::Load(state_.location.config_path);
  if (!state_.config.exists()) {
    state_.dialogs.Message(this, MessageKind::kError, QString::fromLatin1(kProgramTitle),
                           ToQt(app::MissingConfigMessage(state_.location.ConfigFileName())));
    emit QuitRequested(app::kExitMissingFile);
    return false;
  }
  loaded_ = true;
  const app::ProgramSettings settings = app::ReadProgramSettings(state_.config);
  if (paths_ != nullptr) paths_->SetPaths(settings.paths);
  if (log_ != nullptr) {
    log_->SetViewAfterSave(settings.view_log_after_save);
    log_->RestoreLayout(settings.log_width, settings.log_height, settings.log_column_width);
  }
  state_.run_options = settings.run_options;
  if (settings_ != nullptr) {
    settings_->SetRunOptions(settings.run_options);
    settings_->ApplySavedColours();
  }

  folders_->clear();
  const QIcon folder_icon = style()->standardIcon(QStyle::SP_DirIcon);
  int chosen = -1;
  for (const std::string& caption : app::ListScriptFolders(state_.location.folder)) {
    if (chosen < 0 && IEquals(caption, settings.last_used_folder)) chosen = folders_->count();
    // The folder's name as its bytes, for the path and the configuration.
    folders_->addItem(folder_icon, ToQt(caption),
                      QByteArray(caption.data(), static_cast<qsizetype>(caption.size())));
  }
  folders_->setCurrentIndex(chosen);
  ListChosenFolder();
  return true;
}

void MainWindow::ListChosenFolder() {
  if (folders_->currentIndex() < 0) return;
  const std::string caption = folders_->currentData().toByteArray().toStdString();
  auto entries = app::ListScripts(app::ScriptFolderPath(state_.location.folder, caption));
  if (!entries) return;
  scripts_->SetEntries(std::move(*entries));
  std::vector<std::string> paths;
  for (const app::ScriptEntry& entry : scripts_->entries()) paths.push_back(entry.path);
  checks_->Start(std::move(paths), paths_ != nullptr ? paths_->Paths() : state_.config.Paths(),
                 state_.config, state_.location);
  if (scripts_->rowCount() == 0) {
    ShowDetails(-1);
    // Said, so that an empty list is not taken for one still loading.
    details_description_->setText(
        QStringLiteral("This folder holds no script of level %1 to %2, its subfolders "
                       "included.")
            .arg(app::kMinLevel)
            .arg(app::kMaxLevel));
    return;
  }
  tree_->setCurrentIndex(scripts_->index(0, 0));
  ShowDetails(0);
  tree_->setFocus();
  WriteConfigKey(state_, this, app::config::kLastUsedFolder, caption);
}

void MainWindow::ReloadList() {
  if (running()) return;
  const QModelIndex current = tree_->currentIndex();
  const std::string path = current.isValid() ? scripts_->entry(current.row()).path : "";
  ListChosenFolder();
  for (int row = 0; row < scripts_->rowCount(); ++row) {
    if (scripts_->entry(row).path == path) {
      tree_->setCurrentIndex(scripts_->index(row, 0));
      break;
    }
  }
}

void MainWindow::ShowDetails(int row) {
  if (row < 0 || row >= scripts_->rowCount()) {
    details_title_->clear();
    details_description_->clear();
    details_author_->SetFullText({});
    details_contact_->SetFullText({}, true);
    details_contact_->setVisible(false);
    details_findings_->clear();
    details_findings_->setVisible(false);
    contact_.clear();
    return;
  }
  const app::ScriptEntry& entry = scripts_->entry(row);
  details_title_->setText(BreakableText(ToQt(entry.title)));
  details_description_->setText(BreakableText(ToQt(entry.description)));
  details_author_->SetFullText(ToQt(entry.author));
  contact_ = entry.contact;
  details_contact_->SetFullText(ToQt(entry.contact), true);
  details_contact_->setVisible(!entry.contact.empty());
  // The script's findings, one per line, as the check prints them.
  QStringList found;
  for (const app::Finding& finding : scripts_->findings(row)) {
    const std::string place =
        finding.line > 0 ? "line " + std::to_string(finding.line) + ": " : std::string();
    found << ToQt(place + app::FindingText(finding));
  }
  details_findings_->setText(found.join(QLatin1Char('\n')));
  details_findings_->setVisible(!found.isEmpty());
}

void MainWindow::UpdateUndoActions() {
  const app::ScriptHistory& history = scripts_->history();
  undo_->setEnabled(history.CanUndo());
  redo_->setEnabled(history.CanRedo());
  undo_->setText(history.CanUndo() ? QStringLiteral("Undo %1").arg(ToQt(history.UndoLabel()))
                                   : QStringLiteral("Undo"));
  redo_->setText(history.CanRedo() ? QStringLiteral("Redo %1").arg(ToQt(history.RedoLabel()))
                                   : QStringLiteral("Redo"));
}

void MainWindow::OnTreeContextMenu(const QPoint& pos) {
  menu_->popup(tree_->viewport()->mapToGlobal(pos));
}

void MainWindow::CheckSelected(bool checked) {
  std::vector<int> rows;
  for (const QModelIndex& index : tree_->selectionModel()->selectedRows()) {
    rows.push_back(index.row());
  }
  scripts_->SetChecked(rows, checked, app::CheckWriteForm::kMenu);
  tree_->selectionModel()->clearSelection();
}

void MainWindow::ToggleLogWindow() {
  if (log_ == nullptr) return;
  if (log_->isVisible()) {
    log_->hide();
  } else {
    log_->show();
    log_->raise();
  }
}

bool MainWindow::running() const {
  return bridge_ != nullptr && bridge_->running();
}

void MainWindow::StartBatch() {
  RunChecked(/*dry=*/false);
}

void MainWindow::StartDryRun() {
  RunChecked(/*dry=*/true);
}

void MainWindow::RunChecked(bool dry) {
  if (bridge_ == nullptr || running()) return;
  app::BatchRequest request;
  request.paths = paths_->Paths();
  request.entry_count = scripts_->entries().size();
  request.scripts = scripts_->CheckedScripts();
  request.options = state_.run_options;
  request.program_folder = state_.location.folder;
  // A failed check needs no worker.
  if (const auto problem = app::ValidateBatch(request.paths, request.entry_count)) {
    state_.dialogs.Message(this, MessageKind::kInformation, QString::fromLatin1(kProgramTitle),
                           ToQt(*problem));
    return;
  }
  SetRunControlsEnabled(false);
  log_->SetRunning(true);
  stop_->setEnabled(true);
  panel_title_->clear();
  panel_status_->clear();
  const app::Clock& clock = state_.clock;
  app::BatchOutcome* outcome = &last_outcome_;
  if (dry) {
    // Nothing of the run may change anything: no log file, no sound, no
    // closing message.
    request.options = {};
    request.dry_run = true;
    log_->show();
    auto services = std::make_shared<app::DryRunServices>(state_.config, state_.location);
    bridge_->Start([request, services, &clock, outcome](RunView& view, app::BatchHost& host) {
      app::DryRunView dry_view(view, services->journal());
      app::BatchRun batch(dry_view, host, clock, commands::BuiltinCommands(), services->services());
      *outcome = batch.Run(request);
      dry_view.FlushChanges();
    });
    return;
  }
  auto services = std::make_shared<app::ProgramServices>(state_.config, state_.location);
  bridge_->Start([request, services, &clock, outcome](RunView& view, app::BatchHost& host) {
    app::BatchRun batch(view, host, clock, commands::BuiltinCommands(), services->services());
    *outcome = batch.Run(request);
  });
}

void MainWindow::StartMakeIso() {
  if (bridge_ == nullptr || running()) return;
  const RunPaths paths = paths_->Paths();
  app::MakeIsoRequest request;
  request.target_dir = paths.target_dir;
  request.iso_file = paths.iso_file;
  SetRunControlsEnabled(false);
  log_->SetRunning(true);
  stop_->setEnabled(true);
  panel_title_->clear();
  panel_status_->clear();
  log_->show();
  auto services = std::make_shared<app::ProgramServices>(state_.config, state_.location);
  app::MakeIsoResult* result = &last_iso_result_;
  bridge_->Start([request, services, result](RunView& view, app::BatchHost& host) {
    *result = app::RunMakeIsoJob(request, services->services(), view, host);
  });
}

void MainWindow::SetRunControlsEnabled(bool enabled) {
  if (enabled) {
    for (const QPointer<QWidget>& widget : disabled_for_run_) {
      if (widget) widget->setEnabled(true);
    }
    disabled_for_run_.clear();
    return;
  }
  // The controls that are enabled now, but the log window's button; the
  // others keep their state for after the run.
  const QString keep = QStringLiteral("logWindowButton");
  for (QWidget* widget : content_->findChildren<QWidget*>()) {
    const bool control = qobject_cast<QAbstractButton*>(widget) != nullptr ||
                         qobject_cast<QComboBox*>(widget) != nullptr ||
                         qobject_cast<QAbstractItemView*>(widget) != nullptr;
    if (!control || widget->objectName() == keep || !widget->isEnabled()) continue;
    if (widget->window() != this) continue;  // the folder list's popup
    widget->setEnabled(false);
    disabled_for_run_.emplace_back(widget);
  }
}

void MainWindow::StopBatch() {
  if (!running()) return;
  stop_->setEnabled(false);
  bridge_->RequestStop();
}

void MainWindow::OnBatchFinished() {
  SetRunControlsEnabled(true);
  log_->SetRunning(false);
  if (panel_->isVisible()) SetProgressPanelVisible(false);
  emit BatchFinished();
  if (close_after_run_) close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (running()) {
    // The run ends after its current command; the window closes then.
    close_after_run_ = true;
    StopBatch();
    event->ignore();
    return;
  }
  if (loaded_) {
    if (log_ != nullptr && log_->isVisible()) log_->RememberLayout();
    try {
      app::SaveOnClose(state_.config, state_.run_options, paths_->Paths());
    } catch (const std::exception& error) {
      state_.dialogs.Message(this, MessageKind::kError, QString::fromLatin1(kProgramTitle),
                             ToQt(ErrorDisplayText(error.what())));
    }
  }
  event->accept();
  emit QuitRequested(0);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (panel_ != nullptr && panel_->isVisible()) PlaceProgressPanel();
}

}  // namespace pelvar::ui
