#include "ui/paths_window.h"

#include "ui/captions.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/paths_rules.h"
#include "ui/dialogs.h"
#include "ui/icons.h"

namespace pelvar::ui {

PathsWindow::PathsWindow(ProgramState& state, QWidget* parent)
    : QDialog(parent),
      state_(state),
      source_{nullptr, app::config::kSourceDir, false},
      target_{nullptr, app::config::kTargetDir, false},
      iso_{nullptr, app::config::kIsoFile, true} {
  setObjectName(QStringLiteral("pathsWindow"));
  setWindowTitle(QStringLiteral("Paths"));
  setWindowIcon(ProgramIcon());
  // The main window takes no input while the paths window is shown.
  setWindowModality(Qt::ApplicationModal);

  auto* title = new QLabel(QStringLiteral("Paths"), this);
  title->setObjectName(QStringLiteral("pathsTitle"));
  QFont big = title->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  title->setFont(big);
  auto* header = new QLabel(
      QStringLiteral("Edit defaults paths to folders. You can use these values in .script files "
                     "as variables in your commands. e.g.: message,1,\"%IsoFile%\" will output "
                     "the Filename of your ISO file."),
      this);
  header->setObjectName(QStringLiteral("pathsDescription"));
  header->setWordWrap(true);

  auto* ok = new QPushButton(QStringLiteral("Ok"), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title);
  layout->addWidget(header);
  layout->addWidget(MakeGroup(
      QStringLiteral("Source directory (%SourceDir%)"), QStringLiteral("sourceDir"),
      QStringLiteral("Source directory is a folder where you want to copy your files from. In "
                     "most cases, it's your Windows Install CD files."),
      source_));
  layout->addWidget(MakeGroup(
      QStringLiteral("Target directory (%TargetDir%)"), QStringLiteral("targetDir"),
      QStringLiteral("Target Directory is the folder where you want to apply your changes - "
                     "please make a backup folder before starting to make changes."),
      target_));
  layout->addWidget(MakeGroup(
      QStringLiteral("ISO File (%IsoFile%)"), QStringLiteral("isoFile"),
      QStringLiteral("Select a path and insert a filename to the bootable ISO file. If the file "
                     "doesn't exist it will be created."),
      iso_));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  layout->addLayout(buttons);
  // Word-wrapped texts take their height from the width.
  constexpr int kWidth = 560;
  resize(kWidth,
         layout->hasHeightForWidth() ? layout->totalHeightForWidth(kWidth) : sizeHint().height());
}

void PathsWindow::ApplyCaptions(const app::Captions& captions) {
  const QString title = CaptionText(captions, "Paths");
  setWindowTitle(title);
  SetCaption(*this, "pathsTitle", title);
  SetCaption(*this, "pathsDescription", CaptionText(captions, "Description_Paths"));
  SetCaption(*this, "sourceDirGroup", CaptionText(captions, "SourceDir"));
  SetCaption(*this, "sourceDirText", CaptionText(captions, "Description_SourceDir"));
  SetCaption(*this, "targetDirGroup", CaptionText(captions, "TargetDir"));
  SetCaption(*this, "targetDirText", CaptionText(captions, "Description_TargetDir"));
  SetCaption(*this, "isoFileGroup", CaptionText(captions, "IsoFile"));
  SetCaption(*this, "isoFileText", CaptionText(captions, "Description_IsoFile"));
  SetCaption(*this, "okButton", CaptionText(captions, "Ok"));
}

QWidget* PathsWindow::MakeGroup(const QString& title, const QString& name, const QString& text,
                                PathBox& box) {
  auto* group = new QGroupBox(title, this);
  group->setObjectName(name + QStringLiteral("Group"));
  box.edit = new QLineEdit(group);
  box.edit->setObjectName(name + QStringLiteral("Edit"));
  auto* browse = new QPushButton(group);
  browse->setObjectName(name + QStringLiteral("Browse"));
  browse->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  browse->setToolTip(QStringLiteral("Select a directory"));
  auto* clear = new QPushButton(group);
  clear->setObjectName(name + QStringLiteral("Clear"));
  clear->setIcon(style()->standardIcon(QStyle::SP_DialogDiscardButton));
  clear->setToolTip(QStringLiteral("Clear"));
  // The buttons show icons only: screen readers read these names.
  const QString what = box.iso            ? QStringLiteral("ISO file")
                       : &box == &source_ ? QStringLiteral("source folder")
                                          : QStringLiteral("target folder");
  box.edit->setAccessibleName(title);
  browse->setAccessibleName(box.iso ? QStringLiteral("Choose the folder of the ISO file")
                                    : QStringLiteral("Choose ") + what);
  clear->setAccessibleName(QStringLiteral("Clear ") + what);
  auto* label = new QLabel(text, group);
  label->setObjectName(name + QStringLiteral("Text"));
  label->setWordWrap(true);

  auto* row = new QHBoxLayout;
  row->addWidget(box.edit, 1);
  row->addWidget(browse);
  row->addWidget(clear);
  auto* layout = new QVBoxLayout(group);
  layout->addLayout(row);
  layout->addWidget(label);

  connect(browse, &QPushButton::clicked, this, [this, &box] { ChooseFolder(box); });
  connect(clear, &QPushButton::clicked, this, [this, &box] { Clear(box); });
  return group;
}

void PathsWindow::SetPaths(const RunPaths& paths) {
  loaded_ = paths;
  source_.edit->setText(ToQt(paths.source_dir));
  target_.edit->setText(ToQt(paths.target_dir));
  iso_.edit->setText(ToQt(paths.iso_file));
}

RunPaths PathsWindow::Paths() const {
  return RunPaths{KeptText(loaded_.target_dir, target_.edit->text()),
                  KeptText(loaded_.source_dir, source_.edit->text()),
                  KeptText(loaded_.iso_file, iso_.edit->text())};
}

void PathsWindow::ChooseFolder(PathBox& box) {
  const std::optional<QString> folder =
      state_.dialogs.ChooseFolder(this, QString::fromLatin1(kChooserTitle));
  if (!folder) return;
  const std::string chosen = FromQt(*folder);
  const std::string text =
      box.iso ? app::IsoFileForFolder(KeptText(loaded_.iso_file, box.edit->text()), chosen)
              : chosen;
  box.edit->setText(ToQt(text));
  WriteConfigKey(state_, this, box.key, text);
}

void PathsWindow::Clear(PathBox& box) {
  if (WriteConfigKey(state_, this, box.key, "")) box.edit->clear();
}

}  // namespace pelvar::ui
