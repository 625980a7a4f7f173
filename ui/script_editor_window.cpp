#include "ui/script_editor_window.h"

#include "ui/captions.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileIconProvider>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMimeDatabase>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <thread>
#include <utility>

#include "app/command_list.h"
#include "app/headless_check.h"
#include "app/script_check.h"
#include "archive/embedded_files.h"
#include "commands/archive_failure.h"
#include "engine/script_error.h"
#include "engine/text.h"
#include "platform/file_system.h"
#include "platform/posix_file_system.h"
#include "platform/posix_process_launcher.h"
#include "ui/dialogs.h"
#include "ui/elided_label.h"
#include "ui/icons.h"

namespace pelvar::ui {

namespace {

constexpr const char* kDesignTitle = ".Script Edit";
constexpr const char* kDesignDescription =
    "Edit .script commands or manage encoded files - if you have doubts about the .script "
    "sintax you can always look in the help section for easy to follow sintax basics and "
    "examples";
constexpr const char* kDefaultFolder = "Folder";

// Script text is 8-bit: UTF-8 when it is valid UTF-8, else shown as Latin-1.
bool IsUtf8(std::string_view bytes) {
  const QByteArray data =
      QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
  return QString::fromUtf8(data).toUtf8() == data;
}

QString ShowText(std::string_view bytes) {
  if (IsUtf8(bytes)) return ToQt(bytes);
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// The bytes for a text the user entered in place of `original`: the original
// bytes when the text is unchanged, the original's 8-bit form when that holds
// it, else UTF-8.
std::string StoreText(const QString& text, std::string_view original) {
  if (text == ShowText(original)) return std::string(original);
  if (!IsUtf8(original)) {
    bool latin1 = true;
    for (const QChar c : text) latin1 = latin1 && c.unicode() < 256;
    if (latin1) return text.toLatin1().toStdString();
  }
  return FromQt(text);
}

// A button; an "&" in `text` marks its Alt key (the letter is underlined).
QPushButton* MakeButton(const QString& text, const QString& name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  return button;
}

void SetUpList(QTreeWidget* list, const QString& name) {
  list->setObjectName(name);
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setItemsExpandable(false);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setAllColumnsShowFocus(true);
}

QTreeWidget* MakeList(const QString& name, QWidget* parent) {
  auto* list = new QTreeWidget(parent);
  SetUpList(list, name);
  return list;
}

// The command list, whose rows can be dragged to another place. The view
// moves nothing itself: the drop tells where (the row the dragged rows go
// in front of; the row count: the end) and the editor writes the move.
class CommandListView : public QTreeWidget {
 public:
  CommandListView(QWidget* parent, std::function<void(int)> dropped)
      : QTreeWidget(parent), dropped_(std::move(dropped)) {
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::InternalMove);
    setDefaultDropAction(Qt::MoveAction);
  }

 protected:
  void dropEvent(QDropEvent* event) override {
    if (event->source() != nullptr && event->source() != this) {
      event->ignore();
      return;
    }
    const QPoint pos = event->position().toPoint();
    int at = topLevelItemCount();
    if (QTreeWidgetItem* item = itemAt(pos)) {
      at = indexOfTopLevelItem(item);
      if (pos.y() > visualItemRect(item).center().y()) ++at;
    }
    // Ignored, so that the view removes no rows after the drag; the editor
    // rebuilds the list once the view's event is over.
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
    QTimer::singleShot(0, this, [this, at] { dropped_(at); });
  }

 private:
  std::function<void(int)> dropped_;
};

// The Tab key goes through the widgets in the order given.
void ChainTabOrder(std::initializer_list<QWidget*> widgets) {
  QWidget* previous = nullptr;
  for (QWidget* widget : widgets) {
    if (previous != nullptr) QWidget::setTabOrder(previous, widget);
    previous = widget;
  }
}

QLabel* Note(const QString& text, QWidget* parent) {
  auto* note = new QLabel(text, parent);
  note->setWordWrap(true);
  return note;
}

QIcon FileNameIcon(const QString& name) {
  static QMimeDatabase mime_types;
  const QMimeType type = mime_types.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
  QIcon icon = QIcon::fromTheme(type.iconName());
  if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName());
  if (icon.isNull()) {
    static QFileIconProvider provider;
    icon = provider.icon(QAbstractFileIconProvider::File);
  }
  return icon;
}

}  // namespace

ScriptEditorWindow::ScriptEditorWindow(ProgramState& state)
    : state_(state),
      file_system_(std::make_unique<platform::PosixFileSystem>()),
      own_launcher_(std::make_unique<platform::PosixProcessLauncher>()) {
  launcher_ = own_launcher_.get();
  setObjectName(QStringLiteral("scriptEditor"));
  setWindowTitle(QString::fromLatin1(kProgramTitle));
  setWindowIcon(ProgramIcon());
  setMinimumSize(634, 437);
  resize(720, 500);

  tabs_ = new QTabWidget(this);
  tabs_->setObjectName(QStringLiteral("editorTabs"));
  tabs_->addTab(BuildCommandsTab(), QStringLiteral("Commands"));
  tabs_->addTab(BuildFilesTab(), QStringLiteral("Encoded files"));
  tabs_->addTab(BuildSyntaxTab(), QStringLiteral("Syntax"));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(BuildHeader());
  auto* body = new QVBoxLayout;
  body->setContentsMargins(9, 6, 9, 9);
  body->addWidget(tabs_, 1);
  body->addWidget(BuildBusyRow());
  layout->addLayout(body, 1);

  // Ctrl+Z takes the last change back; Ctrl+Shift+Z and Ctrl+Y put it back.
  auto* undo = new QAction(QStringLiteral("Undo"), this);
  undo->setObjectName(QStringLiteral("undoAction"));
  undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  auto* redo = new QAction(QStringLiteral("Redo"), this);
  redo->setObjectName(QStringLiteral("redoAction"));
  redo->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  addAction(undo);
  addAction(redo);
  connect(undo, &QAction::triggered, this, &ScriptEditorWindow::Undo);
  connect(redo, &QAction::triggered, this, &ScriptEditorWindow::Redo);
  // F5 reads the script again from disk; Escape hides the editor as "Ok".
  OnKeys(this, {QKeySequence(Qt::Key_F5)}, &ScriptEditorWindow::Reload);
  OnKeys(this, {QKeySequence(Qt::Key_Escape)}, &ScriptEditorWindow::Finish);
  UpdateUndoButtons();
}

ScriptEditorWindow::~ScriptEditorWindow() = default;

void ScriptEditorWindow::AddUndoButtons(QHBoxLayout* row, const QString& prefix, QWidget* parent) {
  auto* undo = MakeButton(QStringLiteral("&Undo"), prefix + QStringLiteral("UndoButton"), parent);
  auto* redo = MakeButton(QStringLiteral("&Redo"), prefix + QStringLiteral("RedoButton"), parent);
  row->addWidget(undo);
  row->addWidget(redo);
  undo_buttons_.push_back(undo);
  redo_buttons_.push_back(redo);
  connect(undo, &QPushButton::clicked, this, &ScriptEditorWindow::Undo);
  connect(redo, &QPushButton::clicked, this, &ScriptEditorWindow::Redo);
}

QWidget* ScriptEditorWindow::BuildHeader() {
  auto* header = new QFrame(this);
  header->setObjectName(QStringLiteral("editorHeader"));
  header->setAutoFillBackground(true);
  QPalette pal = header->palette();
  pal.setColor(QPalette::Window, Qt::white);
  pal.setColor(QPalette::WindowText, Qt::black);
  header->setPalette(pal);
  header->setFrameShape(QFrame::StyledPanel);
  title_ = new QLabel(QString::fromLatin1(kDesignTitle), header);
  title_->setObjectName(QStringLiteral("editorTitle"));
  QFont bold = title_->font();
  bold.setPointSizeF(bold.pointSizeF() * 1.3);
  bold.setBold(true);
  title_->setFont(bold);
  description_ = new QLabel(QString::fromLatin1(kDesignDescription), header);
  description_->setObjectName(QStringLiteral("editorDescription"));
  description_->setWordWrap(true);
  auto* icon = new QLabel(header);
  icon->setPixmap(ProgramIcon().pixmap(40, 40));
  // The script's file, shortened when long (whole in its tooltip), and
  // selectable for copying.
  path_ = new ElidedLabel(header);
  path_->setObjectName(QStringLiteral("editorPath"));
  path_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* texts = new QVBoxLayout;
  texts->addWidget(title_);
  texts->addWidget(description_);
  texts->addWidget(path_);
  auto* layout = new QHBoxLayout(header);
  layout->addWidget(icon, 0, Qt::AlignTop);
  layout->addLayout(texts, 1);
  return header;
}

QWidget* ScriptEditorWindow::BuildCommandsTab() {
  auto* tab = new QWidget(this);
  tab->setObjectName(QStringLiteral("commandsTab"));
  auto* buttons = new QGroupBox(QStringLiteral("Commands"), tab);
  auto* create =
      MakeButton(QStringLiteral("&Create"), QStringLiteral("createCommandButton"), buttons);
  auto* edit = MakeButton(QStringLiteral("&Edit"), QStringLiteral("editCommandButton"), buttons);
  auto* remove =
      MakeButton(QStringLiteral("&Delete"), QStringLiteral("deleteCommandButton"), buttons);
  auto* up = MakeButton(QStringLiteral("Move u&p"), QStringLiteral("moveUpButton"), buttons);
  auto* down = MakeButton(QStringLiteral("Move do&wn"), QStringLiteral("moveDownButton"), buttons);
  up->setToolTip(QStringLiteral("Moves the current line up (Ctrl+Up)"));
  down->setToolTip(QStringLiteral("Moves the current line down (Ctrl+Down)"));
  auto* button_layout = new QHBoxLayout(buttons);
  button_layout->addWidget(create);
  button_layout->addWidget(edit);
  button_layout->addWidget(remove);
  button_layout->addStretch();
  button_layout->addWidget(up);
  button_layout->addWidget(down);

  auto* list_box = new QGroupBox(QStringLiteral("Commands to process"), tab);
  commands_ = new CommandListView(list_box, [this](int at) { DropCommands(at); });
  SetUpList(commands_, QStringLiteral("commandList"));
  commands_->setHeaderHidden(true);
  commands_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  auto* list_layout = new QVBoxLayout(list_box);
  list_layout->addWidget(commands_);

  auto* ok = MakeButton(QStringLiteral("&Ok"), QStringLiteral("commandsOkButton"), tab);
  auto* bottom = new QHBoxLayout;
  AddUndoButtons(bottom, QStringLiteral("commands"), tab);
  bottom->addStretch();
  bottom->addWidget(ok);

  auto* layout = new QVBoxLayout(tab);
  layout->addWidget(Note(QStringLiteral("Edit the commands from this .script file"), tab));
  layout->addWidget(buttons);
  layout->addWidget(list_box, 1);
  layout->addLayout(bottom);

  connect(create, &QPushButton::clicked, this, &ScriptEditorWindow::CreateCommand);
  connect(edit, &QPushButton::clicked, this, &ScriptEditorWindow::EditCommand);
  connect(remove, &QPushButton::clicked, this, &ScriptEditorWindow::DeleteCommand);
  connect(up, &QPushButton::clicked, this, &ScriptEditorWindow::MoveCommandUp);
  connect(down, &QPushButton::clicked, this, &ScriptEditorWindow::MoveCommandDown);
  // The handlers rebuild the list, so they run after the view's own event.
  connect(commands_, &QTreeWidget::itemDoubleClicked, this,
          [this] { QTimer::singleShot(0, this, &ScriptEditorWindow::EditCommand); });
  // A click on a check mark: the view has switched it; the flag follows.
  connect(commands_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) {
    if (filling_) return;
    const int row = commands_->indexOfTopLevelItem(item);
    QTimer::singleShot(0, this, [this, row] { ToggleFlag(row); });
  });
  connect(ok, &QPushButton::clicked, this, &ScriptEditorWindow::Finish);
  // Delete removes the selected lines, Enter edits the current one.
  OnKeys(commands_, {QKeySequence::Delete}, &ScriptEditorWindow::DeleteCommand);
  OnKeys(commands_, {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)},
         &ScriptEditorWindow::EditCommand);
  OnKeys(commands_, {QKeySequence(Qt::CTRL | Qt::Key_Up)}, &ScriptEditorWindow::MoveCommandUp);
  OnKeys(commands_, {QKeySequence(Qt::CTRL | Qt::Key_Down)}, &ScriptEditorWindow::MoveCommandDown);
  // The order of the Tab key: top to bottom, left to right.
  ChainTabOrder(
      {create, edit, remove, up, down, commands_, undo_buttons_.back(), redo_buttons_.back(), ok});
  return tab;
}

void ScriptEditorWindow::OnKeys(QWidget* widget, std::initializer_list<QKeySequence> keys,
                                void (ScriptEditorWindow::*handler)()) {
  for (const QKeySequence& key : keys) {
    auto* shortcut = new QShortcut(key, widget);
    shortcut->setContext(widget == this ? Qt::WindowShortcut : Qt::WidgetShortcut);
    connect(shortcut, &QShortcut::activated, this, handler);
  }
}

QWidget* ScriptEditorWindow::BuildFilesTab() {
  auto* tab = new QWidget(this);
  tab->setObjectName(QStringLiteral("filesTab"));
  auto* buttons = new QGroupBox(QStringLiteral("Encoded files"), tab);
  auto* add = MakeButton(QStringLiteral("&Add.."), QStringLiteral("addFilesButton"), buttons);
  auto* remove =
      MakeButton(QStringLiteral("Re&move"), QStringLiteral("removeFilesButton"), buttons);
  auto* run = MakeButton(QStringLiteral("Ru&n.."), QStringLiteral("runFileButton"), buttons);
  auto* extract =
      MakeButton(QStringLiteral("E&xtract.."), QStringLiteral("extractFilesButton"), buttons);
  auto* folder =
      MakeButton(QStringLiteral("New &folder.."), QStringLiteral("newFolderButton"), buttons);
  auto* button_layout = new QHBoxLayout(buttons);
  for (QPushButton* b : {add, remove, run, extract, folder}) button_layout->addWidget(b);
  button_layout->addStretch();

  auto* splitter = new QSplitter(Qt::Horizontal, tab);
  splitter->setObjectName(QStringLiteral("filesSplitter"));
  folder_tree_ = MakeList(QStringLiteral("folderTree"), splitter);
  folder_tree_->setHeaderHidden(true);
  folder_tree_->setSelectionMode(QAbstractItemView::SingleSelection);
  file_list_ = MakeList(QStringLiteral("fileList"), splitter);
  file_list_->setColumnCount(3);
  file_list_->setHeaderLabels(
      {QStringLiteral("Filename"), QStringLiteral("Size"), QStringLiteral("Encoded")});
  file_list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  file_list_->setColumnWidth(0, 240);
  file_list_->headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
  file_list_->headerItem()->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
  splitter->addWidget(folder_tree_);
  splitter->addWidget(file_list_);
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 3);

  auto* ok = MakeButton(QStringLiteral("&Ok"), QStringLiteral("filesOkButton"), tab);
  auto* bottom = new QHBoxLayout;
  AddUndoButtons(bottom, QStringLiteral("files"), tab);
  bottom->addStretch();
  bottom->addWidget(ok);

  auto* layout = new QVBoxLayout(tab);
  layout->addWidget(
      Note(QStringLiteral("Add, remove or edit encoded files from the current .script file"), tab));
  layout->addWidget(buttons);
  layout->addWidget(splitter, 1);
  layout->addLayout(bottom);

  connect(add, &QPushButton::clicked, this, &ScriptEditorWindow::AddFiles);
  connect(remove, &QPushButton::clicked, this, &ScriptEditorWindow::RemoveFiles);
  connect(run, &QPushButton::clicked, this, &ScriptEditorWindow::RunFile);
  connect(extract, &QPushButton::clicked, this, &ScriptEditorWindow::ExtractFiles);
  connect(folder, &QPushButton::clicked, this, &ScriptEditorWindow::NewFolder);
  // The list follows the selection: a click changes the current folder
  // before it selects it, and the list is filled once both are done.
  connect(folder_tree_, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (!filling_) FillFileList();
  });
  connect(file_list_, &QTreeWidget::itemDoubleClicked, this,
          [this] { QTimer::singleShot(0, this, &ScriptEditorWindow::RunFile); });
  connect(ok, &QPushButton::clicked, this, &ScriptEditorWindow::Finish);
  // Delete removes the selected files; on the folder tree, the folder.
  OnKeys(file_list_, {QKeySequence::Delete}, &ScriptEditorWindow::RemoveFiles);
  OnKeys(folder_tree_, {QKeySequence::Delete}, &ScriptEditorWindow::RemoveFolder);
  OnKeys(folder_tree_, {QKeySequence(Qt::Key_F2)}, &ScriptEditorWindow::RenameFolder);
  ChainTabOrder({add, remove, run, extract, folder, folder_tree_, file_list_, undo_buttons_.back(),
                 redo_buttons_.back(), ok});
  return tab;
}

QWidget* ScriptEditorWindow::BuildSyntaxTab() {
  syntax_ = new QTextBrowser(this);
  syntax_->setObjectName(QStringLiteral("syntaxBrowser"));
  syntax_->setOpenExternalLinks(true);
  QFile reference(QStringLiteral(":/docs/scripts.md"));
  if (reference.open(QIODevice::ReadOnly)) {
    syntax_->setMarkdown(QString::fromUtf8(reference.readAll()));
  }
  return syntax_;
}

QWidget* ScriptEditorWindow::BuildBusyRow() {
  busy_row_ = new QWidget(this);
  busy_row_->setObjectName(QStringLiteral("busyRow"));
  busy_label_ = new QLabel(busy_row_);
  busy_label_->setObjectName(QStringLiteral("busyLabel"));
  busy_bar_ = new QProgressBar(busy_row_);
  busy_bar_->setObjectName(QStringLiteral("busyBar"));
  busy_bar_->setTextVisible(false);
  auto* layout = new QHBoxLayout(busy_row_);
  layout->setContentsMargins(0, 4, 0, 0);
  layout->addWidget(busy_label_, 1);
  layout->addWidget(busy_bar_, 1);
  busy_row_->hide();
  return busy_row_;
}

void ScriptEditorWindow::SetLauncher(platform::ProcessLauncher* launcher) {
  launcher_ = launcher;
}

void ScriptEditorWindow::Open(const std::string& script) {
  if (script != script_) ForgetHistory();
  script_ = script;
  if (isVisible()) {
    ReadScript();
  } else {
    show();
  }
  raise();
  activateWindow();
}

void ScriptEditorWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;
  if (QScreen* screen = this->screen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
  tabs_->setCurrentIndex(0);
  ReadScript();
  commands_->setFocus();
}

void ScriptEditorWindow::closeEvent(QCloseEvent* event) {
  if (busy_) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
  ForgetHistory();
  emit Closed();
}

void ScriptEditorWindow::Finish() {
  if (busy_) return;
  hide();
  ForgetHistory();
  emit Closed();
}

void ScriptEditorWindow::ReadScript() {
  filling_ = true;
  commands_->clear();
  folder_tree_->clear();
  file_list_->clear();
  lines_.clear();
  line_numbers_.clear();
  folders_.clear();
  files_.clear();
  fingerprint_.reset();
  known_.clear();
  title_->setText(QString::fromLatin1(kDesignTitle));
  description_->setText(QString::fromLatin1(kDesignDescription));
  // The title bar names the script, the header shows where it is.
  const size_t slash = script_.find_last_of("/\\");
  const std::string file_name = slash == std::string::npos ? script_ : script_.substr(slash + 1);
  setWindowTitle(script_.empty() ? QString::fromLatin1(kProgramTitle)
                                 : QStringLiteral("%1 - %2").arg(
                                       ShowText(file_name), QString::fromLatin1(kProgramTitle)));
  path_->SetFullText(ShowText(script_));
  if (script_.empty()) {
    filling_ = false;
    return;
  }
  app::EditedScript loaded;
  try {
    loaded = app::ReadEditedScript(script_);
  } catch (const std::exception& error) {
    filling_ = false;
    ShowError(error.what());
    return;
  }
  fingerprint_ = loaded.fingerprint;
  known_ = std::move(loaded.bytes);
  const IniModel& model = loaded.model;

  folders_ = app::EncodedFolderNames(model);
  const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
  const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
  QIcon folder_icon;
  for (const QSize& size : closed.availableSizes()) {
    folder_icon.addPixmap(closed.pixmap(size), QIcon::Normal);
  }
  for (const QSize& size : open.availableSizes()) {
    folder_icon.addPixmap(open.pixmap(size), QIcon::Selected);
  }
  for (const std::string& name : folders_) {
    auto* item = new QTreeWidgetItem(folder_tree_);
    item->setText(0, ShowText(name));
    item->setIcon(0, folder_icon);
  }

  title_->setText(ShowText(model.ReadString("main", "title", script_)));
  description_->setText(
      ShowText(model.ReadString("main", "description", "List of commands in " + file_name)));

  lines_ = app::ListCommandLines(model);
  line_numbers_.clear();
  for (const IniModel::Section& section : model.sections()) {
    if (!IEquals(section.name, "process")) continue;
    for (size_t i = 0; i < section.lines.size(); ++i) {
      if (!section.lines[i].empty()) line_numbers_.push_back(section.LineNumber(i));
    }
  }
  FillCommandList();
  filling_ = false;
  if (!folders_.empty()) {
    folder_tree_->setCurrentItem(folder_tree_->topLevelItem(0));
    FillFileList();
  }
}

void ScriptEditorWindow::FillCommandList() {
  const bool filling = filling_;
  filling_ = true;
  commands_->clear();
  commands_->setUpdatesEnabled(false);
  for (const std::string& line : lines_) {
    auto* item = new QTreeWidgetItem(commands_);
    item->setText(0, ShowText(line));
    item->setIcon(0, CommandIcon(app::CommandImage(line)));
    const app::FlagMark mark = app::LineFlagMark(line);
    if (mark == app::FlagMark::kOn || mark == app::FlagMark::kOff) {
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(0, mark == app::FlagMark::kOn ? Qt::Checked : Qt::Unchecked);
    } else {
      item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
    }
  }
  commands_->setUpdatesEnabled(true);
  SelectCommandRow(0);
  filling_ = filling;
}

void ScriptEditorWindow::SelectCommandRow(int row) {
  const int count = commands_->topLevelItemCount();
  if (count == 0) return;
  // Only this row: Delete takes the selected rows.
  commands_->setCurrentItem(commands_->topLevelItem(qMin(row, count - 1)), 0,
                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void ScriptEditorWindow::Reload() {
  const int row = CurrentCommandRow();
  const std::optional<std::string> folder = SelectedFolder();
  ReadScript();
  if (row >= 0) SelectCommandRow(row);
  if (folder) SelectFolder(*folder);
}

void ScriptEditorWindow::FillFileList() {
  file_list_->clear();
  files_.clear();
  const std::optional<std::string> folder = SelectedFolder();
  if (!folder || script_.empty()) return;
  try {
    files_ = app::EmbeddedFileRows(app::ReadEditedScript(script_).model, *folder);
  } catch (const std::exception& error) {
    ShowError(error.what());
    return;
  }
  for (const app::EmbeddedFileRow& row : files_) {
    auto* item = new QTreeWidgetItem(file_list_);
    const QString name = ShowText(row.name);
    item->setText(0, name);
    item->setIcon(0, FileNameIcon(name));
    item->setText(1, ShowText(row.size));
    item->setText(2, ShowText(row.encoded));
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
  }
}

void ScriptEditorWindow::SelectFolder(const std::string& name) {
  for (size_t i = 0; i < folders_.size(); ++i) {
    if (IEquals(folders_[i], name)) {
      folder_tree_->setCurrentItem(folder_tree_->topLevelItem(static_cast<int>(i)));
      folder_tree_->setFocus();
      FillFileList();
      return;
    }
  }
}

std::optional<std::string> ScriptEditorWindow::SelectedFolder() const {
  QTreeWidgetItem* item = folder_tree_->currentItem();
  if (item == nullptr || !item->isSelected()) return std::nullopt;
  const int index = folder_tree_->indexOfTopLevelItem(item);
  if (index < 0 || static_cast<size_t>(index) >= folders_.size()) return std::nullopt;
  return folders_[static_cast<size_t>(index)];
}

std::vector<int> ScriptEditorWindow::SelectedFileRows() const {
  std::vector<int> rows;
  for (int row = 0; row < file_list_->topLevelItemCount(); ++row) {
    if (file_list_->topLevelItem(row)->isSelected()) rows.push_back(row);
  }
  return rows;
}

int ScriptEditorWindow::CurrentCommandRow() const {
  QTreeWidgetItem* item = commands_->currentItem();
  return item == nullptr ? -1 : commands_->indexOfTopLevelItem(item);
}

bool ScriptEditorWindow::BeginChange() {
  if (script_.empty() || busy_) return false;
  const std::optional<size_t> now = app::FileFingerprint(script_);
  if (now && now == fingerprint_) return true;
  TellChanged(now.has_value());
  return false;
}

bool ScriptEditorWindow::BeginCommandChange() const {
  return !script_.empty() && !busy_;
}

void ScriptEditorWindow::TellChanged(bool exists) {
  const QString path = ShowText(script_);
  // The kept steps were made on the version read; they no longer apply.
  ForgetHistory();
  ReadScript();
  state_.dialogs.Message(
      this, MessageKind::kWarning, QString::fromLatin1(kProgramTitle),
      exists
          ? QStringLiteral("The script \"%1\" was changed by another program since it was "
                           "loaded. It has been loaded again; nothing was changed.")
                .arg(path)
          : QStringLiteral("The script \"%1\" no longer exists; nothing was changed.").arg(path));
}

void ScriptEditorWindow::CommitCommands(int row, const char* label) {
  // The write runs beside the window, which keeps painting (a script that
  // carries large embedded files takes a moment to write) and keeps the
  // keys and clicks made meanwhile for when it is done.
  // The write goes only over the version loaded, whose bytes are known_.
  const std::string before = known_;
  app::WrittenScript written;
  app::WriteOutcome outcome = app::WriteOutcome::kWritten;
  busy_bar_->setRange(0, 0);
  const std::optional<std::string> error = RunBusy(QStringLiteral("Saving the commands ..."), [&] {
    outcome = app::WriteCommandLines(*file_system_, script_, lines_, fingerprint_, &written);
  });
  busy_row_->hide();
  if (error) {
    ShowError(*error);
    ReadScript();
  } else if (outcome == app::WriteOutcome::kChanged) {
    TellChanged(file_system_->IsFile(script_));
    return;
  } else {
    // The write changed only the command lines and says how the script now
    // reads: the list is filled from that, without reading a script that
    // may carry megabytes of embedded files again.
    fingerprint_ = written.fingerprint;
    known_ = std::move(written.bytes);
    lines_ = std::move(written.lines);
    line_numbers_ = std::move(written.numbers);
    FillCommandList();
    RecordChange(label, before);
  }
  if (row >= 0) SelectCommandRow(row);
}

void ScriptEditorWindow::ShowError(const std::string& text) {
  state_.dialogs.Message(this, MessageKind::kError, QString::fromLatin1(kProgramTitle),
                         ToQt(ErrorDisplayText(text)));
}

LineCheck ScriptEditorWindow::MakeLineCheck(uint32_t number) const {
  if (script_.empty()) return {};
  // The script is read once, when the dialog opens; the services live as
  // long as the check.
  struct Checker {
    Checker(const ProgramState& state, const std::string& script)
        : services(state.config, state.location),
          check(script, state.config.Paths(), services.services()) {}
    app::CheckServices services;
    app::LineChecker check;
  };
  auto checker = std::make_shared<Checker>(state_, script_);
  return [checker, number](std::string_view line) { return checker->check.Check(line, number); };
}

void ScriptEditorWindow::CreateCommand() {
  if (busy_) return;
  const uint32_t next = line_numbers_.empty() ? 0 : line_numbers_.back() + 1;
  const std::optional<QString> text =
      state_.dialogs.EditScriptLine(this, QStringLiteral("New command to add.."),
                                    QStringLiteral("Text:"), QString(), MakeLineCheck(next));
  if (!text || !BeginCommandChange()) return;
  lines_.push_back(StoreText(*text, {}));
  CommitCommands(static_cast<int>(lines_.size()) - 1, "Create command");
}

void ScriptEditorWindow::EditCommand() {
  const int row = CurrentCommandRow();
  if (busy_ || row < 0) return;
  const std::string original = lines_[static_cast<size_t>(row)];
  const size_t index = static_cast<size_t>(row);
  const std::optional<QString> text = state_.dialogs.EditScriptLine(
      this, QStringLiteral("Edit command"), QStringLiteral("New value"), ShowText(original),
      MakeLineCheck(index < line_numbers_.size() ? line_numbers_[index] : 0));
  if (!text || !BeginCommandChange()) return;
  lines_[static_cast<size_t>(row)] = StoreText(*text, original);
  CommitCommands(row, "Edit command");
}

void ScriptEditorWindow::DeleteCommand() {
  // The selected lines go, in one write and one step to undo; without a
  // selection, the current line.
  std::vector<int> rows;
  for (int row = 0; row < commands_->topLevelItemCount(); ++row) {
    if (commands_->topLevelItem(row)->isSelected()) rows.push_back(row);
  }
  if (rows.empty() && CurrentCommandRow() >= 0) rows.push_back(CurrentCommandRow());
  if (rows.empty() || !BeginCommandChange()) return;
  for (auto row = rows.rbegin(); row != rows.rend(); ++row) lines_.erase(lines_.begin() + *row);
  CommitCommands(rows.front(), rows.size() == 1 ? "Delete command" : "Delete commands");
}

void ScriptEditorWindow::MoveCommandUp() {
  MoveCommand(-1);
}

void ScriptEditorWindow::MoveCommandDown() {
  MoveCommand(1);
}

void ScriptEditorWindow::MoveCommand(int step) {
  const int row = CurrentCommandRow();
  const int to = row + step;
  if (row < 0 || to < 0 || to >= static_cast<int>(lines_.size()) || !BeginCommandChange()) return;
  std::swap(lines_[static_cast<size_t>(row)], lines_[static_cast<size_t>(to)]);
  CommitCommands(to, step < 0 ? "Move command up" : "Move command down");
}

void ScriptEditorWindow::DropCommands(int at) {
  std::vector<size_t> rows;
  for (int row = 0; row < commands_->topLevelItemCount(); ++row) {
    if (commands_->topLevelItem(row)->isSelected()) rows.push_back(static_cast<size_t>(row));
  }
  if (rows.empty() || at < 0 || !BeginCommandChange()) return;
  size_t first = 0;
  std::vector<std::string> moved = app::MoveLines(lines_, rows, static_cast<size_t>(at), &first);
  if (moved == lines_) return;
  lines_ = std::move(moved);
  CommitCommands(static_cast<int>(first), rows.size() == 1 ? "Move command" : "Move commands");
}

void ScriptEditorWindow::RemoveFolder() {
  file_list_->clearSelection();
  RemoveFiles();
}

void ScriptEditorWindow::ToggleFlag(int row) {
  if (row < 0 || static_cast<size_t>(row) >= lines_.size()) return;
  const std::optional<std::string> toggled = app::ToggleLineFlag(lines_[static_cast<size_t>(row)]);
  if (!toggled || !BeginCommandChange()) {
    Reload();
    return;
  }
  lines_[static_cast<size_t>(row)] = *toggled;
  CommitCommands(row, "Switch run flag");
}

std::optional<std::string> ScriptEditorWindow::RunBusy(const QString& status,
                                                       const std::function<void()>& work) {
  busy_ = true;
  // Disabling the tabs takes the focus away; it comes back afterwards.
  const QPointer<QWidget> focus = QApplication::focusWidget();
  tabs_->setEnabled(false);
  busy_label_->setText(status);
  // The row appears only for work that takes a moment.
  QTimer reveal;
  reveal.setSingleShot(true);
  connect(&reveal, &QTimer::timeout, busy_row_, &QWidget::show);
  reveal.start(300);
  std::optional<std::string> error;
  QEventLoop loop;
  std::thread worker([&] {
    try {
      work();
    } catch (const std::exception& e) {
      error = e.what();
    }
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  worker.join();
  reveal.stop();
  tabs_->setEnabled(true);
  if (focus != nullptr && focus->isVisible()) focus->setFocus();
  busy_ = false;
  return error;
}

void ScriptEditorWindow::AddFiles() {
  if (busy_ || script_.empty()) return;
  const QStringList chosen =
      state_.dialogs.ChooseFiles(this, QStringLiteral("Select files to encode inside script.."),
                                 QStringLiteral("All files (*)"));
  if (chosen.isEmpty() || !BeginChange()) return;
  const std::string before = known_;
  std::optional<std::string> folder = SelectedFolder();
  if (!folder) {
    try {
      app::AddEncodedFolder(script_, kDefaultFolder);
    } catch (const std::exception& error) {
      ShowError(error.what());
      Reload();
      RecordChange("Add files", before);
      return;
    }
    ReadScript();
    SelectFolder(kDefaultFolder);
    folder = SelectedFolder();
    if (!folder) {
      RecordChange("Add files", before);
      return;
    }
  }
  // All files go into the script in one rewrite of it; the bar counts the
  // files packed, then the script written.
  std::vector<std::string> sources;
  for (const QString& path : chosen) sources.push_back(FromQt(path));
  const int steps = static_cast<int>(chosen.size()) + 1;
  busy_bar_->setRange(0, steps);
  busy_bar_->setValue(0);
  const QString status = chosen.size() == 1
                             ? QStringLiteral("Adding %1 ...").arg(chosen.front())
                             : QStringLiteral("Adding %1 files ...").arg(chosen.size());
  std::vector<bool> embedded;
  QProgressBar* bar = busy_bar_;
  const std::optional<std::string> error = RunBusy(status, [&] {
    // In one command's scope, the scratch folder's listing is read once.
    platform::FileSystem& files = platform::ThreadFileSystem();
    const platform::CommandScope scope(&files);
    embedded = commands::ValueOrRaise(
        archive::EmbedFiles(files, sources, script_, *folder, false, [bar](uint64_t done) {
          QMetaObject::invokeMethod(
              bar, [bar, done] { bar->setValue(static_cast<int>(done)); }, Qt::QueuedConnection);
        }));
  });
  QStringList missing;
  for (size_t i = 0; !error && i < embedded.size(); ++i) {
    if (!embedded[i]) missing << chosen[static_cast<qsizetype>(i)];
  }
  busy_row_->hide();
  Reload();
  RecordChange("Add files", before);
  if (error) ShowError(*error);
  if (!missing.isEmpty()) {
    state_.dialogs.Message(
        this, MessageKind::kWarning, QString::fromLatin1(kProgramTitle),
        QStringLiteral("Not added (no such file):\r%1").arg(missing.join(QLatin1Char('\r'))));
  }
}

void ScriptEditorWindow::RemoveFiles() {
  if (busy_ || script_.empty()) return;
  const std::optional<std::string> folder = SelectedFolder();
  const std::vector<int> rows = SelectedFileRows();
  if (!folder) return;
  if (!ConfirmRemoval(*folder, rows)) return;
  if (!BeginChange()) return;
  const std::string before = known_;
  try {
    if (!rows.empty()) {
      for (int row : rows) {
        archive::DeleteEmbeddedFile(script_, *folder, files_[static_cast<size_t>(row)].name);
      }
    } else {
      std::vector<std::string> remaining;
      for (const std::string& name : folders_) {
        if (name != *folder) remaining.push_back(name);
      }
      app::RemoveEncodedFolder(script_, *folder, remaining);
    }
  } catch (const std::exception& error) {
    ShowError(error.what());
  }
  Reload();
  RecordChange(rows.empty() ? "Remove folder" : "Remove files", before);
}

bool ScriptEditorWindow::ConfirmRemoval(const std::string& folder, const std::vector<int>& rows) {
  // The removed files are the selected rows, else every file of the folder.
  std::vector<size_t> removed;
  for (int row : rows) removed.push_back(static_cast<size_t>(row));
  if (rows.empty()) {
    for (size_t i = 0; i < files_.size(); ++i) removed.push_back(i);
  }
  uint64_t bytes = 0;
  for (size_t i : removed) bytes += QString::fromStdString(files_[i].size).toULongLong();
  const QString count = removed.size() == 1 ? QStringLiteral("1 file")
                                            : QStringLiteral("%1 files").arg(removed.size());
  const QString what = removed.empty()
                           ? QStringLiteral("no files")
                           : QStringLiteral("%1, %2 bytes stored").arg(count).arg(bytes);
  const QString name = ShowText(folder);
  const QString question =
      rows.empty()
          ? QStringLiteral("Remove the folder \"%1\" with everything in it (%2)?").arg(name, what)
          : QStringLiteral("Remove %1, from the folder \"%2\"?").arg(what, name);
  return state_.dialogs.Confirm(
      this, QString::fromLatin1(kProgramTitle),
      question + QStringLiteral("\rThis can be undone until the editor is closed."),
      QStringLiteral("Remove"));
}

void ScriptEditorWindow::RunFile() {
  if (busy_ || script_.empty()) return;
  const std::optional<std::string> folder = SelectedFolder();
  const std::vector<int> rows = SelectedFileRows();
  if (!folder || rows.empty()) return;
  const std::string name = files_[static_cast<size_t>(rows.front())].name;
  archive::RunOutcome outcome = archive::RunOutcome::kNotExtracted;
  busy_bar_->setRange(0, 0);
  const std::optional<std::string> error =
      RunBusy(QStringLiteral("Running %1 ...").arg(ShowText(name)), [&] {
        outcome =
            commands::ValueOrRaise(archive::RunEmbeddedFile(script_, *folder, name, launcher_));
      });
  busy_row_->hide();
  if (error) {
    ShowError(*error);
  } else if (outcome != archive::RunOutcome::kRan) {
    state_.dialogs.Message(this, MessageKind::kWarning, QString::fromLatin1(kProgramTitle),
                           QStringLiteral("Could not start \"%1\".").arg(ShowText(name)));
  }
}

void ScriptEditorWindow::ExtractFiles() {
  if (busy_ || script_.empty()) return;
  const std::optional<std::string> folder = SelectedFolder();
  const std::vector<int> rows = SelectedFileRows();
  if (!folder || rows.empty()) return;
  const std::optional<QString> destination =
      state_.dialogs.ChooseFolder(this, QStringLiteral("Select a directory"));
  if (!destination) return;
  const std::string target = FromQt(*destination);
  std::vector<std::string> names;
  for (int row : rows) names.push_back(files_[static_cast<size_t>(row)].name);
  busy_bar_->setRange(0, 0);
  const std::optional<std::string> error =
      RunBusy(QStringLiteral("Extracting to %1 ...").arg(*destination), [&] {
        for (const std::string& name : names) {
          commands::RaiseIfFailed(
              archive::ExtractEmbeddedFile(script_, *folder, name, target).status);
        }
      });
  busy_row_->hide();
  if (error) ShowError(*error);
}

void ScriptEditorWindow::RenameFolder() {
  if (busy_ || script_.empty()) return;
  const std::optional<std::string> folder = SelectedFolder();
  if (!folder) return;
  const std::optional<QString> answer =
      state_.dialogs.AskText(this, QStringLiteral("Rename folder"),
                             QStringLiteral("New name of the folder"), ShowText(*folder));
  if (!answer) return;
  const std::string name = StoreText(answer->trimmed(), *folder);
  if (name.empty() || name == *folder) return;
  if (!FolderNameAllowed(name) || !BeginChange()) return;
  const std::string before = known_;
  bool renamed = false;
  try {
    renamed = app::RenameEncodedFolder(script_, *folder, name);
  } catch (const std::exception& error) {
    ShowError(error.what());
  }
  ReadScript();
  SelectFolder(renamed ? name : *folder);
  RecordChange("Rename folder", before);
  if (!renamed) {
    state_.dialogs.Message(
        this, MessageKind::kWarning, QString::fromLatin1(kProgramTitle),
        QStringLiteral("The name \"%1\" is taken in this script.").arg(ShowText(name)));
  }
}

bool ScriptEditorWindow::FolderNameAllowed(const std::string& name) {
  if (name.front() != '[' && name.front() != ';' && name.find(']') == std::string::npos) {
    return true;
  }
  state_.dialogs.Message(this, MessageKind::kWarning, QString::fromLatin1(kProgramTitle),
                         QStringLiteral("A folder name cannot begin with \"[\" or \";\" or "
                                        "hold \"]\"."));
  return false;
}

void ScriptEditorWindow::NewFolder() {
  if (busy_ || script_.empty()) return;
  const std::optional<QString> answer = state_.dialogs.AskText(
      this, QStringLiteral("Make a new folder.."), QStringLiteral("Please choose a name"),
      QString::fromLatin1(kDefaultFolder));
  if (!answer) return;
  const std::string name = FromQt(answer->trimmed());
  if (name.empty()) return;
  if (!FolderNameAllowed(name) || !BeginChange()) return;
  const std::string before = known_;
  try {
    app::AddEncodedFolder(script_, name);
  } catch (const std::exception& error) {
    ShowError(error.what());
  }
  ReadScript();
  SelectFolder(name);
  RecordChange("New folder", before);
}

void ScriptEditorWindow::RecordChange(const char* label, const std::string& before) {
  // A script that could not be read again leaves nothing to compare with.
  if (fingerprint_) history_.Record(app::DiffScript(script_, label, before, known_));
  UpdateUndoButtons();
}

void ScriptEditorWindow::Undo() {
  StepHistory(true);
}

void ScriptEditorWindow::Redo() {
  StepHistory(false);
}

void ScriptEditorWindow::StepHistory(bool undo) {
  if (busy_ || script_.empty() || !(undo ? history_.CanUndo() : history_.CanRedo())) return;
  app::StepOutcome outcome = app::StepOutcome::kNothing;
  busy_bar_->setRange(0, 0);
  const std::optional<std::string> error = RunBusy(
      undo ? QStringLiteral("Undoing ...") : QStringLiteral("Redoing ..."),
      [&] { outcome = undo ? history_.Undo(*file_system_) : history_.Redo(*file_system_); });
  busy_row_->hide();
  if (error) {
    ShowError(*error);
  } else if (outcome == app::StepOutcome::kChanged) {
    TellChanged(file_system_->IsFile(script_));
    return;
  }
  Reload();
  UpdateUndoButtons();
}

void ScriptEditorWindow::UpdateUndoButtons() {
  const QString undo = ToQt(history_.UndoLabel());
  const QString redo = ToQt(history_.RedoLabel());
  for (QPushButton* button : undo_buttons_) {
    button->setEnabled(history_.CanUndo());
    button->setToolTip(undo.isEmpty() ? QStringLiteral("Nothing to undo (Ctrl+Z)")
                                      : QStringLiteral("Undo: %1 (Ctrl+Z)").arg(undo));
  }
  for (QPushButton* button : redo_buttons_) {
    button->setEnabled(history_.CanRedo());
    button->setToolTip(redo.isEmpty()
                           ? QStringLiteral("Nothing to redo (Ctrl+Shift+Z, Ctrl+Y)")
                           : QStringLiteral("Redo: %1 (Ctrl+Shift+Z, Ctrl+Y)").arg(redo));
  }
}

void ScriptEditorWindow::ForgetHistory() {
  history_.Clear();
  UpdateUndoButtons();
}

void ScriptEditorWindow::ApplyCaptions(const app::Captions& captions) {
  tabs_->setTabText(0, CaptionText(captions, "CommandsPage"));
  tabs_->setTabText(1, CaptionText(captions, "EncodedFilesPage"));
  tabs_->setTabText(2, CaptionText(captions, "SyntaxPage"));
  // Each button keeps its Alt key when its caption holds the letter.
  struct Button {
    const char* name;
    const char* key;
    char letter;
  };
  const Button buttons[] = {{"createCommandButton", "CreateCommand", 'c'},
                            {"editCommandButton", "EditCommand", 'e'},
                            {"deleteCommandButton", "DeleteCommand", 'd'},
                            {"addFilesButton", "AddFiles", 'a'},
                            {"removeFilesButton", "RemoveFiles", 'm'},
                            {"runFileButton", "RunFile", 'n'},
                            {"extractFilesButton", "ExtractFiles", 'x'},
                            {"newFolderButton", "NewFolder", 'f'},
                            {"commandsOkButton", "Ok", 'o'},
                            {"filesOkButton", "Ok", 'o'}};
  for (const Button& button : buttons) {
    QString text = CaptionText(captions, button.key);
    const qsizetype at = text.indexOf(QLatin1Char(button.letter), 0, Qt::CaseInsensitive);
    if (!text.contains(QLatin1Char('&')) && at >= 0) text.insert(at, QLatin1Char('&'));
    SetCaption(*this, button.name, text);
  }
}

}  // namespace pelvar::ui
