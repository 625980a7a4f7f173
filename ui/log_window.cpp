#include "ui/log_window.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <exception>
#include <optional>

#include "app/log_file.h"
#include "app/program_settings.h"
#include "engine/script_error.h"
#include "ui/dialogs.h"
#include "ui/icons.h"
#include "ui/log_list_model.h"
#include "ui/log_view_tools.h"

namespace pelvar::ui {

namespace {

constexpr int kDefaultWidth = 601;
constexpr int kDefaultHeight = 591;

}  // namespace

LogWindow::LogWindow(ProgramState& state, QWidget* parent)
    : QWidget(parent, Qt::Window),
      state_(state),
      model_(new LogListModel(/*with_icons=*/true, this)),
      list_(new QTreeView(this)),
      title_(new QLabel(QStringLiteral("Log window"), this)),
      description_(new QLabel(this)),
      save_(new QPushButton(QStringLiteral("Save log"), this)),
      save_as_(new QPushButton(QStringLiteral("Save log as..."), this)),
      view_after_save_(new QCheckBox(QStringLiteral("View after saving log"), this)) {
  setObjectName(QStringLiteral("logWindow"));
  setWindowTitle(QStringLiteral("Log window"));
  setWindowIcon(ProgramIcon());
  resize(kDefaultWidth, kDefaultHeight);
  remembered_size_ = app::LogSizeText(kDefaultWidth, kDefaultHeight);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::white);
  setPalette(pal);

  title_->setObjectName(QStringLiteral("logTitle"));
  QFont big = title_->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  title_->setFont(big);
  description_->setObjectName(QStringLiteral("logDescription"));
  description_->setWordWrap(true);
  description_->setText(QStringLiteral(
      "See the output messages from the processed .script files. It is also possible to follow "
      "the processing in real-time, altought it will slow down performance considerably."));

  list_->setObjectName(QStringLiteral("logList"));
  list_->setModel(model_);
  list_->setUniformRowHeights(true);
  list_->setRootIsDecorated(false);
  list_->setItemsExpandable(false);
  list_->setAllColumnsShowFocus(true);
  list_->setHeaderHidden(list_->model()->columnCount() < 2);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setIconSize(QSize(16, 16));
  // Long lines scroll sideways, show whole as tool tips, and copy (Ctrl+C).
  tools_ = new LogViewTools(*list_);

  save_->setObjectName(QStringLiteral("saveLogButton"));
  save_as_->setObjectName(QStringLiteral("saveLogAsButton"));
  view_after_save_->setObjectName(QStringLiteral("viewAfterSaveBox"));

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(view_after_save_);
  buttons->addStretch();
  buttons->addWidget(save_as_);
  buttons->addWidget(save_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title_);
  layout->addWidget(description_);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);

  connect(save_, &QPushButton::clicked, this, &LogWindow::SaveLog);
  connect(save_as_, &QPushButton::clicked, this, &LogWindow::SaveLogAs);
  connect(view_after_save_, &QCheckBox::clicked, this, &LogWindow::OnViewAfterSaveClicked);
}

void LogWindow::ApplyCaptions(const app::Captions& captions) {
  using app::CaptionIndex;
  const auto text = [&captions](std::string_view key) { return ToQt(captions[CaptionIndex(key)]); };
  title_->setText(text("LogWindow"));
  setWindowTitle(text("LogWindow"));
  description_->setText(text("Description_LogWindow"));
  model_->SetHeaders(text("LogColumnLine"), text("LogColumnDetails"));
  save_->setText(text("SaveLog"));
  save_as_->setText(text("SaveLogAs"));
  view_after_save_->setText(text("ViewLogAfterSave"));
}

void LogWindow::SetViewAfterSave(bool on) {
  view_after_save_->setChecked(on);
}

void LogWindow::SetRunning(bool running) {
  save_->setEnabled(!running);
  save_as_->setEnabled(!running);
}

void LogWindow::RestoreLayout(int width, int height, int column_width) {
  if (width > 0 && height > 0) {
    resize(width, height);
    remembered_size_ = app::LogSizeText(width, height);
  }
  if (column_width > 0) {
    tools_->SetFirstColumnWidth(column_width);
    remembered_column_ = std::to_string(column_width);
  }
}

void LogWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  RememberLayout();
}

void LogWindow::RememberLayout() {
  // Only a loaded configuration is written to.
  if (!state_.config.exists()) return;
  const std::string size = app::LogSizeText(width(), height());
  if (size != remembered_size_ && WriteConfigKey(state_, this, app::config::kLogWindowSize, size)) {
    remembered_size_ = size;
  }
  if (!tools_->first_column_set()) return;
  const std::string column = std::to_string(tools_->FirstColumnWidth());
  if (column != remembered_column_ &&
      WriteConfigKey(state_, this, app::config::kLogColumnWidth, column)) {
    remembered_column_ = column;
  }
}

void LogWindow::SaveLogAs() {
  if (model_->lines().empty()) return;
  const std::optional<QString> chosen = state_.dialogs.ChooseSaveFile(
      this, QStringLiteral("Save log as..."), QStringLiteral("log.tsv"),
      QStringLiteral("Log files (*.tsv *.txt);;All files (*)"));
  if (!chosen) return;
  const std::string path = chosen->toStdString();
  try {
    app::WriteDetailedLogFile(path, model_->lines());
  } catch (const std::exception& error) {
    state_.dialogs.Message(this, MessageKind::kError, QString::fromLatin1(kProgramTitle),
                           ToQt(ErrorDisplayText(error.what())));
    return;
  }
  if (view_after_save_->isChecked()) {
    state_.shell.OpenFile(*chosen);
  } else {
    state_.dialogs.Message(this, MessageKind::kInformation, QString::fromLatin1(kProgramTitle),
                           ToQt("Saved as:\"" + path + "\""));
  }
}

void LogWindow::SaveLog() {
  if (model_->lines().empty()) return;
  std::string path;
  try {
    path = app::WriteLogFile(state_.location.folder, model_->lines());
  } catch (const std::exception& error) {
    state_.dialogs.Message(this, MessageKind::kError, QString::fromLatin1(kProgramTitle),
                           ToQt(ErrorDisplayText(error.what())));
    return;
  }
  if (view_after_save_->isChecked()) {
    state_.shell.OpenFile(ToQt(path));
  } else {
    state_.dialogs.Message(this, MessageKind::kInformation, QString::fromLatin1(kProgramTitle),
                           ToQt("Saved as:\"" + path + "\""));
  }
}

void LogWindow::OnViewAfterSaveClicked(bool checked) {
  WriteConfigKey(state_, this, app::config::kViewLogAfterSave, app::FlagText(checked));
}

}  // namespace pelvar::ui
