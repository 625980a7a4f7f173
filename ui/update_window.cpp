#include "ui/update_window.h"

#include "ui/captions.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <chrono>
#include <exception>

#include "engine/ini_model.h"
#include "engine/script_error.h"
#include "platform/curl_downloader.h"
#include "ui/dialogs.h"
#include "ui/icons.h"

namespace pelvar::ui {

namespace {

constexpr int kNodeRole = Qt::UserRole + 1;
constexpr int kEntryRole = Qt::UserRole + 2;

QPushButton* MakeButton(const QString& text, const QString& name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  return button;
}

}  // namespace

UpdateWindow::UpdateWindow(ProgramState& state, QWidget* parent,
                           std::function<std::string()> script_folder,
                           std::function<void()> scripts_changed)
    : QDialog(parent),
      state_(state),
      script_folder_(std::move(script_folder)),
      scripts_changed_(std::move(scripts_changed)) {
  setObjectName(QStringLiteral("updateWindow"));
  setWindowTitle(QStringLiteral("Updates"));
  setWindowIcon(ProgramIcon());
  setWindowModality(Qt::ApplicationModal);
  resize(560, 440);

  auto* header = new QFrame(this);
  header->setObjectName(QStringLiteral("updateHeader"));
  auto* title = new QLabel(QStringLiteral("Updates"), header);
  title->setObjectName(QStringLiteral("updateTitle"));
  QFont big = title->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  title->setFont(big);
  auto* text = new QLabel(QStringLiteral("Update application and files in your computer"), header);
  text->setObjectName(QStringLiteral("updateDescription"));
  auto* ok = MakeButton(QStringLiteral("Ok"), QStringLiteral("okButton"), header);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* texts = new QVBoxLayout;
  texts->addWidget(title);
  texts->addWidget(text);
  auto* header_layout = new QHBoxLayout(header);
  header_layout->setContentsMargins(0, 0, 0, 0);
  header_layout->addLayout(texts, 1);
  header_layout->addWidget(ok, 0, Qt::AlignTop);

  pages_ = new QTabWidget(this);
  pages_->setObjectName(QStringLiteral("updatePages"));
  pages_->addTab(BuildUpdatePage(), QStringLiteral("Update"));
  pages_->addTab(BuildServersPage(), QStringLiteral("Servers"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(header);
  layout->addWidget(pages_, 1);
}

UpdateWindow::~UpdateWindow() {
  cancelled_ = true;
  if (worker_.joinable()) worker_.join();
}

QWidget* UpdateWindow::BuildUpdatePage() {
  auto* page = new QWidget;
  tree_ = new QTreeWidget(page);
  tree_->setObjectName(QStringLiteral("updateTree"));
  tree_->setHeaderHidden(true);
  tree_->setColumnCount(1);
  connect(tree_, &QTreeWidget::currentItemChanged, this, &UpdateWindow::ShowComments);
  auto* comments = new QGroupBox(QStringLiteral("Comments"), page);
  comments->setObjectName(QStringLiteral("commentsGroup"));
  comments_ = new QPlainTextEdit(comments);
  comments_->setObjectName(QStringLiteral("commentsText"));
  comments_->setReadOnly(true);
  auto* comments_layout = new QVBoxLayout(comments);
  comments_layout->addWidget(comments_);
  auto* middle = new QHBoxLayout;
  middle->addWidget(tree_, 3);
  middle->addWidget(comments, 2);

  status_ = new QLabel(page);
  status_->setObjectName(QStringLiteral("updateStatus"));
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  progress_ = new QProgressBar(page);
  progress_->setObjectName(QStringLiteral("updateProgress"));
  progress_->setVisible(false);
  update_ = MakeButton(QStringLiteral("Update"), QStringLiteral("updateButton"), page);
  auto* cancel = MakeButton(QStringLiteral("Cancel"), QStringLiteral("cancelButton"), page);
  connect(update_, &QPushButton::clicked, this, &UpdateWindow::UpdateSelected);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(progress_, 1);
  bottom->addStretch();
  bottom->addWidget(update_);
  bottom->addWidget(cancel);

  auto* layout = new QVBoxLayout(page);
  layout->addLayout(middle, 1);
  layout->addWidget(status_);
  layout->addLayout(bottom);
  return page;
}

QWidget* UpdateWindow::BuildServersPage() {
  auto* page = new QWidget;
  auto* text = new QLabel(QStringLiteral("Add or remove servers from where you wish to add or "
                                         "update files in your computer"),
                          page);
  text->setObjectName(QStringLiteral("serversDescription"));
  text->setWordWrap(true);
  table_ = new QTableWidget(0, 2, page);
  table_->setObjectName(QStringLiteral("serverTable"));
  table_->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Web adress")});
  table_->verticalHeader()->setVisible(false);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setColumnWidth(0, 140);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  auto* add = MakeButton(QStringLiteral("Add server"), QStringLiteral("addServerButton"), page);
  auto* remove =
      MakeButton(QStringLiteral("Remove server"), QStringLiteral("removeServerButton"), page);
  auto* save =
      MakeButton(QStringLiteral("Save changes"), QStringLiteral("saveServersButton"), page);
  connect(add, &QPushButton::clicked, this, [this] {
    const int row = table_->rowCount();
    table_->insertRow(row);
    table_->setItem(row, 0, new QTableWidgetItem);
    table_->setItem(row, 1, new QTableWidgetItem);
    table_->setCurrentCell(row, 0);
    table_->editItem(table_->item(row, 0));
  });
  connect(remove, &QPushButton::clicked, this, [this] {
    if (table_->currentRow() >= 0) table_->removeRow(table_->currentRow());
  });
  connect(save, &QPushButton::clicked, this, &UpdateWindow::SaveServers);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(add);
  buttons->addWidget(remove);
  buttons->addStretch();
  buttons->addWidget(save);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(text);
  layout->addWidget(table_, 1);
  layout->addLayout(buttons);
  return page;
}

void UpdateWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  BuildTree();
}

void UpdateWindow::done(int result) {
  cancelled_ = true;  // a download going on stops
  QDialog::done(result);
}

std::vector<app::UpdateServer> UpdateWindow::TableServers() const {
  std::vector<app::UpdateServer> servers;
  for (int row = 0; row < table_->rowCount(); ++row) {
    const QTableWidgetItem* name = table_->item(row, 0);
    const QTableWidgetItem* address = table_->item(row, 1);
    app::UpdateServer server{name ? FromQt(name->text().trimmed()) : std::string(),
                             address ? FromQt(address->text().trimmed()) : std::string()};
    if (!server.name.empty()) servers.push_back(std::move(server));
  }
  return servers;
}

void UpdateWindow::SetTableServers(const std::vector<app::UpdateServer>& servers) {
  table_->setRowCount(0);
  table_->setRowCount(static_cast<int>(servers.size()));
  for (int row = 0; row < table_->rowCount(); ++row) {
    table_->setItem(row, 0, new QTableWidgetItem(ToQt(servers[static_cast<size_t>(row)].name)));
    table_->setItem(row, 1, new QTableWidgetItem(ToQt(servers[static_cast<size_t>(row)].address)));
  }
}

void UpdateWindow::ApplyCaptions(const app::Captions& captions) {
  const QString title = CaptionText(captions, "Updates");
  setWindowTitle(title);
  SetCaption(*this, "updateTitle", title);
  SetCaption(*this, "updateDescription", CaptionText(captions, "Description_Updates"));
  SetCaption(*this, "okButton", CaptionText(captions, "Ok"));
  pages_->setTabText(0, CaptionText(captions, "UpdatePage"));
  pages_->setTabText(1, CaptionText(captions, "ServersPage"));
  SetCaption(*this, "commentsGroup", CaptionText(captions, "Comments"));
  SetCaption(*this, "updateButton", CaptionText(captions, "UpdateEntry"));
  SetCaption(*this, "cancelButton", CaptionText(captions, "Cancel"));
  SetCaption(*this, "serversDescription", CaptionText(captions, "Description_Servers"));
  table_->setHorizontalHeaderLabels(
      {CaptionText(captions, "ServerName"), CaptionText(captions, "ServerAddress")});
  SetCaption(*this, "addServerButton", CaptionText(captions, "AddServer"));
  SetCaption(*this, "removeServerButton", CaptionText(captions, "RemoveServer"));
  SetCaption(*this, "saveServersButton", CaptionText(captions, "SaveServers"));
  root_caption_ = CaptionText(captions, "Internet");
  if (QTreeWidgetItem* root = tree_->topLevelItem(0)) root->setText(0, root_caption_);
}

void UpdateWindow::BuildTree() {
  pages_->setCurrentIndex(0);
  raise();
  tree_->setFocus();
  tree_->clear();
  servers_.clear();
  entries_.clear();
  auto* root = new QTreeWidgetItem(tree_, {root_caption_});
  root->setIcon(0, style()->standardIcon(QStyle::SP_DriveNetIcon));
  IniModel config;
  try {
    config = IniModel::Load(state_.location.config_path);
  } catch (const std::exception& error) {
    status_->setText(ToQt(ErrorDisplayText(error.what())));
  }
  if (config.SectionExists("updates")) SetTableServers(app::ReadUpdateServers(config));
  tree_->setCurrentItem(root);
  root->setExpanded(true);
  // Every server is listed, those without entries too: "Update" on one
  // fetches its list.
  QTreeWidgetItem* chosen = nullptr;
  for (const app::UpdateServer& server : TableServers()) {
    const int index = static_cast<int>(servers_.size());
    servers_.push_back(server);
    entries_.push_back(app::ReadUpdateEntries(config, server.name));
    auto* node = new QTreeWidgetItem(root, {ToQt(server.name)});
    node->setIcon(0, style()->standardIcon(QStyle::SP_ComputerIcon));
    node->setData(0, kNodeRole, index);
    node->setData(0, kEntryRole, -1);
    const auto& entries = entries_.back();
    for (size_t e = 0; e < entries.size(); ++e) {
      QString caption = ToQt(entries[e].name);
      if (!entries[e].version.empty()) caption += QLatin1Char(' ') + ToQt(entries[e].version);
      auto* leaf = new QTreeWidgetItem(node, {caption});
      leaf->setIcon(0, style()->standardIcon(QStyle::SP_FileIcon));
      leaf->setData(0, kNodeRole, index);
      leaf->setData(0, kEntryRole, static_cast<int>(e));
      leaf->setToolTip(0, ToQt(entries[e].url));
    }
    tree_->setCurrentItem(node);
    node->setExpanded(true);
    if (!keep_server_.empty() && server.name == keep_server_) chosen = node;
  }
  // After an update the server that was updated stays selected.
  if (chosen != nullptr) tree_->setCurrentItem(chosen);
  keep_server_.clear();
  ShowComments();
}

UpdateWindow::Node UpdateWindow::NodeOf(const QTreeWidgetItem* item) const {
  if (item == nullptr || !item->data(0, kNodeRole).isValid()) return {};
  return {item->data(0, kNodeRole).toInt(), item->data(0, kEntryRole).toInt()};
}

void UpdateWindow::ShowComments() {
  const Node node = NodeOf(tree_->currentItem());
  update_->setEnabled(node.server >= 0 && !busy());
  if (node.server < 0) {
    comments_->clear();
    return;
  }
  const app::UpdateServer& server = servers_[static_cast<size_t>(node.server)];
  if (node.entry < 0) {
    comments_->setPlainText(ToQt(server.address));
    return;
  }
  const app::UpdateEntry& entry =
      entries_[static_cast<size_t>(node.server)][static_cast<size_t>(node.entry)];
  comments_->setPlainText(ToQt(entry.description));
}

void UpdateWindow::SaveServers() {
  const std::vector<app::UpdateServer> servers = TableServers();
  try {
    app::SaveUpdateServers(state_.location.config_path, servers);
  } catch (const std::exception& error) {
    state_.dialogs.Message(this, MessageKind::kError, QString::fromLatin1(kProgramTitle),
                           ToQt(ErrorDisplayText(error.what())));
    return;
  }
  SetTableServers(servers);
  BuildTree();
}

void UpdateWindow::UpdateSelected() {
  const Node node = NodeOf(tree_->currentItem());
  if (node.server < 0 || busy()) return;
  const app::UpdateServer server = servers_[static_cast<size_t>(node.server)];
  updated_server_ = server.name;
  if (node.entry < 0) {
    const std::string config_path = state_.location.config_path;
    Start(ToQt(server.address),
          [server, config_path](platform::Downloader& downloader, const app::ProgressFn& progress,
                                const std::function<bool()>& cancelled) {
            return app::FetchServerList(downloader, config_path, server, progress, cancelled);
          });
    return;
  }
  const app::UpdateEntry entry =
      entries_[static_cast<size_t>(node.server)][static_cast<size_t>(node.entry)];
  const std::string folder = script_folder_ ? script_folder_() : std::string();
  if (folder.empty()) {
    status_->setText(QStringLiteral("Choose a script folder in the main window first."));
    emit UpdateFinished(false);
    return;
  }
  Start(ToQt(entry.url),
        [entry, folder](platform::Downloader& downloader, const app::ProgressFn& progress,
                        const std::function<bool()>& cancelled) {
          return app::InstallOfferedScript(downloader, folder, entry, progress, cancelled);
        });
}

void UpdateWindow::Start(const QString& address, Job job) {
  if (!app::IsWebAddress(FromQt(address))) {
    status_->setText(
        QStringLiteral("Only http and https addresses can be fetched: \"%1\"").arg(address));
    emit UpdateFinished(false);
    return;
  }
  if (!state_.shell.NetworkReachable(address)) {
    status_->setText(QStringLiteral("Not online: nothing was downloaded."));
    emit UpdateFinished(false);
    return;
  }
  cancelled_ = false;
  update_->setEnabled(false);
  progress_->setRange(0, 0);
  progress_->setVisible(true);
  status_->setText(QStringLiteral("Downloading %1 ...").arg(address));
  worker_ = std::thread([this, job = std::move(job)] {
    platform::CurlDownloader downloader;
    auto last = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    const app::ProgressFn progress = [this, &last](uint64_t done, uint64_t total) {
      const auto now = std::chrono::steady_clock::now();
      if (now - last < std::chrono::milliseconds(100)) return;
      last = now;
      QMetaObject::invokeMethod(
          this,
          [this, done, total] {
            if (total > 0) {
              progress_->setRange(0, 1000);
              progress_->setValue(static_cast<int>(done * 1000 / total));
            }
            progress_->setFormat(QStringLiteral("%1 KB").arg(done / 1024));
          },
          Qt::QueuedConnection);
    };
    app::UpdateOutcome outcome;
    try {
      outcome = job(downloader, progress, [this] { return cancelled_.load(); });
    } catch (const std::exception& error) {
      outcome.ok = false;
      outcome.message = ErrorDisplayText(error.what());
    }
    QMetaObject::invokeMethod(
        this, [this, outcome] { OnFinished(outcome); }, Qt::QueuedConnection);
  });
}

void UpdateWindow::OnFinished(const app::UpdateOutcome& outcome) {
  if (worker_.joinable()) worker_.join();
  progress_->setVisible(false);
  status_->setText(ToQt(outcome.message));
  if (outcome.ok) {
    if (!outcome.file.empty()) {
      if (scripts_changed_) scripts_changed_();
    } else {
      keep_server_ = updated_server_;
      BuildTree();
      status_->setText(ToQt(outcome.message));
    }
  }
  ShowComments();
  emit UpdateFinished(outcome.ok);
}

}  // namespace pelvar::ui
