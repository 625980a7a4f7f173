// The paths window: folder buttons, the ISO naming rule, clearing, and the
// keys each writes at once into the configuration file.
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "ui/main_window.h"
#include "ui/paths_window.h"
#include "ui/ui_test_support.h"

namespace pelvar::testing {

class PathsWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TestProgram> program_;
  ui::PathsWindow* paths_ = nullptr;

  void Click(const char* name) {
    auto* button = paths_->findChild<QPushButton*>(QString::fromLatin1(name));
    QVERIFY2(button != nullptr, name);
    QTest::mouseClick(button, Qt::LeftButton);
  }
  QString Box(const char* name) {
    return paths_->findChild<QLineEdit*>(QString::fromLatin1(name))->text();
  }
  std::string Ini() { return program_->home.Read("pelvar.ini"); }

 private slots:
  void init() {
    program_ = std::make_unique<TestProgram>(std::string("[main]\nsourcedir=/old/src\n"));
    program_->windows->main_window().show();
    paths_ = &program_->windows->paths_window();
    paths_->show();
  }
  void cleanup() { program_.reset(); }

  void folderButtonsWriteTheirKeysAtOnce() {
    QCOMPARE(Box("sourceDirEdit"), QStringLiteral("/old/src"));
    program_->dialogs.folder_answers = {QStringLiteral("/new/src"), QStringLiteral("/new/t")};
    Click("sourceDirBrowse");
    Click("targetDirBrowse");
    QCOMPARE(program_->dialogs.chooser_titles,
             (QStringList{"Select a directory", "Select a directory"}));
    QCOMPARE(Box("sourceDirEdit"), QStringLiteral("/new/src"));
    QCOMPARE(Box("targetDirEdit"), QStringLiteral("/new/t"));
    QCOMPARE(Ini(), std::string("[main]\nSourceDir=/new/src\nTargetDir=/new/t\n"));
  }

  void cancellingChangesNothing() {
    const std::string before = Ini();
    Click("sourceDirBrowse");  // no answer queued: cancelled
    QCOMPARE(Box("sourceDirEdit"), QStringLiteral("/old/src"));
    QCOMPARE(Ini(), before);
  }

  void isoButtonKeepsOrMakesTheName() {
    program_->dialogs.folder_answers = {QStringLiteral("/out"), QStringLiteral("/b"),
                                        QStringLiteral("/")};
    Click("isoFileBrowse");
    QCOMPARE(Box("isoFileEdit"), QStringLiteral("/out/BootablePE.ISO"));
    paths_->findChild<QLineEdit*>(QStringLiteral("isoFileEdit"))
        ->setText(QStringLiteral("/a/image.img"));
    Click("isoFileBrowse");
    QCOMPARE(Box("isoFileEdit"), QStringLiteral("/b/image.iso"));
    Click("isoFileBrowse");
    QCOMPARE(Box("isoFileEdit"), QStringLiteral("/image.iso"));
    QVERIFY(Ini().find("IsoFile=/image.iso\n") != std::string::npos);
  }

  void clearWritesAnEmptyValue() {
    Click("sourceDirClear");
    QCOMPARE(Box("sourceDirEdit"), QString());
    QCOMPARE(Ini(), std::string("[main]\nSourceDir=\n"));
    Click("targetDirClear");
    QVERIFY(Ini().find("TargetDir=\n") != std::string::npos);
  }

  void okHidesItAndTheMainWindowTakesInputAgain() {
    QVERIFY(paths_->isModal());
    Click("okButton");
    QVERIFY(paths_->isHidden());
  }

  void withoutAConfigurationFileNothingIsWritten() {
    std::remove(program_->home.Path("pelvar.ini").c_str());
    program_->dialogs.folder_answers = {QStringLiteral("/x")};
    Click("targetDirBrowse");
    QCOMPARE(Box("targetDirEdit"), QStringLiteral("/x"));
    QVERIFY(!program_->home.Exists("pelvar.ini"));
  }
};

}  // namespace pelvar::testing

QTEST_MAIN(pelvar::testing::PathsWindowTest)
#include "paths_window_test.moc"
