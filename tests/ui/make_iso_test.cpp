// "Make ISO" in the main window and MakeIsoAfterBatch: the image written
// by the real xorriso on a worker thread, the log window's lines, the
// refusal dialog, Stop, and the image after a batch without failures.
#include <unistd.h>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <cstdlib>

#include "ui/log_list_model.h"
#include "ui/log_window.h"
#include "ui/main_window.h"
#include "ui/settings_window.h"
#include "ui/ui_test_support.h"

namespace pelvar::testing {

namespace {

bool HaveXorriso() {
  return std::system("command -v xorriso >/dev/null 2>&1") == 0;
}

}  // namespace

class MakeIsoTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TestProgram> program_;
  ui::MainWindow* main_ = nullptr;

  // `script`: the text of a checked script in the Scripts folder, if any.
  void Start(const std::string& extra_config, const std::string& script = "") {
    program_ = std::make_unique<TestProgram>(std::nullopt);
    program_->home.Write("pelvar.ini", RunnableConfig(program_->home, extra_config));
    program_->home.Write("target/.keep", "");
    if (!script.empty()) {
      program_->home.Write("Scripts/a.script",
                           "[main]\ntitle=First\nselected=true\n[process]\n" + script);
    }
    main_ = &program_->windows->main_window();
    main_->show();
    QVERIFY(main_->configuration_loaded());
  }
  QPushButton* Button(const char* name) {
    return main_->findChild<QPushButton*>(QString::fromLatin1(name));
  }
  // Presses a button and waits for its run to end.
  void Press(const char* name) {
    QSignalSpy finished(main_, &ui::MainWindow::BatchFinished);
    QTest::mouseClick(Button(name), Qt::LeftButton);
    if (main_->running()) QVERIFY(finished.wait(60'000));
  }
  const ui::LogListModel& Log() { return program_->windows->log_window().model(); }
  QString Path(const std::string& relative) {
    return QString::fromStdString(program_->home.Path(relative));
  }

 private slots:
  void init() {
    if (!HaveXorriso()) QSKIP("xorriso missing (scripts/setup.sh)");
  }
  void cleanup() { program_.reset(); }

  void theButtonMakesTheBootableImage() {
    Start("");
    program_->home.Write("target/boot/etfsboot.com", std::string(4096, 'b'));
    program_->home.Write("target/efi/microsoft/boot/efisys.bin", std::string(8192, 'e'));
    program_->home.Write("target/sources/readme.txt", "hello");
    QPushButton* button = Button("makeIsoButton");
    QVERIFY(button != nullptr);
    QCOMPARE(button->text(), QStringLiteral("Make ISO"));
    Press("makeIsoButton");
    QCOMPARE(main_->last_iso_result(), app::MakeIsoResult::kMade);
    const QStringList lines = LogTexts(Log());
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], "8|Creating ISO image: \"" + Path("out.iso") + "\" from \"" +
                           Path("target") + "\" with BIOS and UEFI boot entries");
    QVERIFY2(lines[1].startsWith("1|Successfully created ISO image: \"" + Path("out.iso") + "\" ("),
             qPrintable(lines[1]));
    QVERIFY(lines[1].endsWith(" bytes, BIOS and UEFI boot entries)"));
    // An ISO 9660 volume descriptor at sector 16.
    QCOMPARE(program_->home.Read("out.iso").substr(32769, 5), std::string("CD001"));
    QVERIFY(program_->windows->log_window().isVisible());
    QVERIFY(main_->findChild<QWidget*>(QStringLiteral("progressPanel"))->isHidden());
    QVERIFY(program_->dialogs.messages.isEmpty());
    QVERIFY(button->isEnabled());
  }

  void aRefusalIsShownInADialogAndWritesNothing() {
    program_ = std::make_unique<TestProgram>(std::nullopt);
    program_->home.Write("pelvar.ini", "[main]\ntargetdir=" + program_->home.Path("target") +
                                           "\nisofile=" + program_->home.Path("target/in.iso") +
                                           "\n");
    program_->home.Write("target/a.txt", "a");
    main_ = &program_->windows->main_window();
    main_->show();
    Press("makeIsoButton");
    QCOMPARE(main_->last_iso_result(), app::MakeIsoResult::kRefused);
    QCOMPARE(program_->dialogs.messages,
             QStringList{"Pelvar|Failed to create ISO image: \"" + Path("target/in.iso") +
                         "\"\rthe ISO file lies inside the target folder, so the image would "
                         "hold itself"});
    QCOMPARE(LogTexts(Log()),
             QStringList{"0|Failed to create ISO image: \"" + Path("target/in.iso") + "\""});
    QVERIFY(!program_->home.Exists("target/in.iso"));
  }

  void stopRemovesThePartialImage() {
    Start("");
    const std::string big = program_->home.Write("target/big.bin", "");
    QCOMPARE(::truncate(big.c_str(), 3'000'000'000), 0);
    QSignalSpy finished(main_, &ui::MainWindow::BatchFinished);
    QTest::mouseClick(Button("makeIsoButton"), Qt::LeftButton);
    auto* status = main_->findChild<QLabel*>(QStringLiteral("progressStatus"));
    QTRY_VERIFY_WITH_TIMEOUT(status->text().contains(QStringLiteral("Writing the ISO image: ")),
                             30'000);
    QVERIFY(status->text().startsWith(QStringLiteral("Writing the ISO image: ")));
    QVERIFY(status->text().endsWith(QStringLiteral(" MB")));
    QTest::mouseClick(Button("stopButton"), Qt::LeftButton);
    QVERIFY(finished.wait(60'000));
    QCOMPARE(main_->last_iso_result(), app::MakeIsoResult::kStopped);
    QCOMPARE(LogTexts(Log()).last(), "0|Failed to create ISO image: \"" + Path("out.iso") + "\"");
    QCOMPARE(Log().lines().back().reason, std::string("stopped by the user; no image was left"));
    QVERIFY(!program_->home.Exists("out.iso"));
    // Nothing else was left beside it either.
    QDir home(QString::fromStdString(program_->home.path()));
    for (const QString& name : home.entryList(QDir::Files | QDir::Hidden)) {
      QVERIFY2(!name.contains(QStringLiteral("out.iso")), qPrintable(name));
    }
  }

  void aBatchWithoutFailuresEndsWithTheImage() {
    Start("MakeIsoAfterBatch=1\n", "dirmake,1,%targetdir%\\docs\n");
    QVERIFY(program_->windows->settings_window()
                .findChild<QCheckBox*>(QStringLiteral("makeIsoAfterBatchBox"))
                ->isChecked());
    Press("startButton");
    const QStringList lines = LogTexts(Log());
    const int created = static_cast<int>(lines.indexOf(
        QRegularExpression(QStringLiteral("^1\\|Successfully created ISO image: .*"))));
    QVERIFY2(created > 0, qPrintable(lines.join('\n')));
    QVERIFY(lines.indexOf(QStringLiteral("2|Finished processing script: First")) < created);
    QVERIFY(program_->home.Exists("out.iso"));
  }

  void aBatchWithAFailureMakesNoImage() {
    Start("MakeIsoAfterBatch=1\n", "filedelete,1,%targetdir%\\missing\\nothing.txt\n");
    program_->home.Write("target/a.txt", "a");
    Press("startButton");
    const QStringList lines = LogTexts(Log());
    QVERIFY2(lines.contains(QStringLiteral("2|ISO image not made: the scripts logged 1 failure")),
             qPrintable(lines.join('\n')));
    QVERIFY(!program_->home.Exists("out.iso"));
  }
};

}  // namespace pelvar::testing

QTEST_MAIN(pelvar::testing::MakeIsoTest)
#include "make_iso_test.moc"
