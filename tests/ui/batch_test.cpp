// The batch run from the main window: the log window's lines and kinds, the
// log file, the checks, the closing options, errors, the Stop button, and the
// worker-thread bridge that carries it all to the windows.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTreeView>
#include <QtTest>
#include <atomic>

#include "ui/log_list_model.h"
#include "ui/log_window.h"
#include "ui/main_window.h"
#include "ui/run_bridge.h"
#include "ui/ui_test_support.h"

namespace pelvar::testing {

class BatchTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TestProgram> program_;
  ui::MainWindow* main_ = nullptr;

  void Start(const std::string& extra_config) {
    program_ = std::make_unique<TestProgram>(std::nullopt);
    program_->home.Write("pelvar.ini", RunnableConfig(program_->home, extra_config));
    main_ = &program_->windows->main_window();
  }
  void Show() {
    main_->show();
    QVERIFY(main_->configuration_loaded());
  }
  // Presses Start and waits for the batch to end.
  void RunBatch() {
    QSignalSpy finished(main_, &ui::MainWindow::BatchFinished);
    QTest::mouseClick(main_->findChild<QPushButton*>(QStringLiteral("startButton")),
                      Qt::LeftButton);
    if (main_->running()) QVERIFY(finished.wait(60'000));
  }
  const ui::LogListModel& Log() { return program_->windows->log_window().model(); }

 private slots:
  void cleanup() { program_.reset(); }

  void runsTheCheckedScriptsIntoTheLogWindow() {
    Start("log=1\nbeep=1\nbuildmsg=1\n");
    program_->home.Write("Scripts/b.script",
                         "[main]\ntitle=Second\nlevel=2\nselected=true\n[process]\necho,1,two\n");
    program_->home.Write("Scripts/a.script",
                         "[main]\ntitle=First\nselected=true\n[process]\necho,1,%targetdir%\n");
    program_->home.Write("Scripts/c.script", "[main]\ntitle=Off\n[process]\necho,1,no\n");
    Show();
    RunBatch();
    const QString target = QString::fromStdString(program_->home.Path("target"));
    const QString log_path = QString::fromStdString(program_->home.Path("log.txt"));
    const QStringList expected = {
        "2|Starting to process the following scripts: ",
        "6|Second",
        "6|First",
        "7|",
        "7|",
        "7|",
        "6|Processing script: Second",
        "8|two",
        "2|Finished processing script: Second",
        "7|",
        "7|",
        "6|Processing script: First",
        "8|" + target,
        "2|Finished processing script: First",
        "7|",
        "2|Log file created as \"" + log_path + "\"",
        "8|Processing time: 2 seconds and 3 miliseconds",
        "2|2 scripts have been processed!",
        "7|",
    };
    QCOMPARE(LogTexts(Log()), expected);
    QCOMPARE(main_->last_outcome(), app::BatchOutcome::kCompleted);
    // The count line is selected at the end.
    QCOMPARE(program_->windows->log_window().list().currentIndex().row(), 17);
    QCOMPARE(program_->home.Read("log.txt"),
             std::string("Starting to process the following scripts: \r\nSecond\r\nFirst\r\n"
                         "\r\n\r\n\r\nProcessing script: Second\r\ntwo\r\n"
                         "Finished processing script: Second\r\n\r\n\r\n"
                         "Processing script: First\r\n") +
                 program_->home.Path("target") + "\r\nFinished processing script: First\r\n\r\n");
    QVERIFY(main_->findChild<QWidget*>(QStringLiteral("progressPanel"))->isHidden());
    QCOMPARE(program_->shell.beeps, 1);
    QCOMPARE(program_->dialogs.messages, QStringList{"Pelvar|\rProcess finished!"});
    QVERIFY(program_->dialogs.on_window_thread);
    QVERIFY(main_->findChild<QWidget*>(QStringLiteral("mainContent"))->isEnabled());
  }

  void failedLinesAreCountedAtTheEndAndInTheMessage() {
    Start("buildmsg=1\n");
    program_->home.Write("Scripts/a.script",
                         "[main]\ntitle=First\nselected=true\n[process]\n"
                         "filedelete,1,%targetdir%\\none.txt\nfiledelete,1,%targetdir%\\b.txt\n"
                         "echo,1,after\n");
    Show();
    RunBatch();
    const QStringList texts = LogTexts(Log());
    QCOMPARE(texts.at(texts.size() - 2),
             QStringLiteral("0|Script has been processed: 2 commands failed"));
    QCOMPARE(program_->dialogs.messages,
             QStringList{"Pelvar|\rProcess finished!\r2 commands failed"});
    // The count line is the one selected at the end.
    QCOMPARE(program_->windows->log_window().list().currentIndex().row(),
             static_cast<int>(texts.size()) - 2);
  }

  void dryRunShowsTheChangesAndChangesNothing() {
    Start("log=1\nbeep=1\nbuildmsg=1\n");
    program_->home.Write("target/keep.txt", "kept");
    program_->home.Write("Scripts/a.script",
                         "[main]\ntitle=First\nselected=true\n[process]\n"
                         "dirmake,1,%targetdir%\\sub\n"
                         "filecopy,1,%targetdir%\\keep.txt,%targetdir%\\sub\\copy.txt\n"
                         "message,1,Hello,warning\n");
    Show();
    QSignalSpy finished(main_, &ui::MainWindow::BatchFinished);
    QTest::mouseClick(main_->findChild<QPushButton*>(QStringLiteral("dryRunButton")),
                      Qt::LeftButton);
    if (main_->running()) QVERIFY(finished.wait(60'000));
    QVERIFY(program_->windows->log_window().isVisible());
    const QString target = QString::fromStdString(program_->home.Path("target"));
    const QStringList texts = LogTexts(Log());
    const qsizetype at = texts.indexOf("6|Processing script: First");
    QVERIFY(at >= 0);
    QCOMPARE(texts.mid(at + 1, 6),
             (QStringList{"1|Sucessfully created directory: \"" + target + "\\sub\"",
                          "8|  + folder " + target + "/sub",
                          "1|Sucessfully copied file: \"" + target + "\\keep.txt\" to: \"" +
                              target + "\\sub\\copy.txt\"",
                          "8|  + create " + target + "/sub/copy.txt (4 bytes, copy of " + target +
                              "/keep.txt)",
                          "1|Message: \"Hello", "8|  ! would show message \"Warning\": Hello"}));
    // The log says first and last that nothing is changed.
    QCOMPARE(texts.first(), QStringLiteral("8|Dry run: nothing will be changed"));
    QCOMPARE(texts.at(texts.size() - 2), QStringLiteral("8|Dry run finished: nothing was changed"));
    QCOMPARE(main_->last_outcome(), app::BatchOutcome::kCompleted);
    // Nothing was changed, written, sounded or shown.
    QVERIFY(!program_->home.Exists("target/sub"));
    QVERIFY(!program_->home.Exists("log.txt"));
    QCOMPARE(program_->shell.beeps, 0);
    QVERIFY(program_->dialogs.messages.isEmpty());
    QVERIFY(main_->findChild<QWidget*>(QStringLiteral("dryRunButton"))->isEnabled());
  }

  void checksComeBeforeTheRun() {
    Start("");
    program_->home.Write("pelvar.ini", "[main]\nisofile=nofolder.iso\n");
    program_->home.Write("Scripts/a.script", "[main]\nselected=true\n[process]\necho,1,a\n");
    Show();
    RunBatch();
    QCOMPARE(program_->dialogs.messages,
             QStringList{"Pelvar|Invalid ISO filename or ISO filename path.\rPlease select a "
                         "valid path before continuing."});
    QCOMPARE(Log().rowCount(), 0);
  }

  void nothingCheckedLeavesTheLogEmpty() {
    Start("");
    program_->home.Write("Scripts/a.script", "[process]\necho,1,a\n");
    Show();
    RunBatch();
    QCOMPARE(program_->dialogs.messages,
             QStringList{"Pelvar|No scripts available to process.\rPlease select at least one "
                         "file to process before continuing.."});
    QCOMPARE(Log().rowCount(), 0);
    QCOMPARE(main_->last_outcome(), app::BatchOutcome::kNotStarted);
  }

  void errorIsShownInTheErrorBoxAndLogged() {
    Start("log=1\nbuildmsg=1\n");
    const QString place =
        QString::fromStdString(program_->home.Write(
            "Scripts/a.script", "[main]\nselected=true\n[process]\necho,1,before\necho,1\n")) +
        QStringLiteral(":5");
    Show();
    RunBatch();
    QCOMPARE(program_->dialogs.messages,
             QStringList{"Pelvar|" + place + ": List index out of bounds (2)\recho,1"});
    QCOMPARE(program_->dialogs.kinds, std::vector<MessageKind>{MessageKind::kError});
    QCOMPARE(
        LogTexts(Log()).mid(Log().rowCount() - 3),
        (QStringList{"8|before", "0|List index out of bounds (2)", "0|" + place + ": echo,1"}));
    QVERIFY(!program_->home.Exists("log.txt"));
    QCOMPARE(main_->last_outcome(), app::BatchOutcome::kError);
    QVERIFY(main_->findChild<QWidget*>(QStringLiteral("progressPanel"))->isHidden());
  }

  void stopButtonEndsTheRunAfterTheCurrentCommand() {
    Start("");
    // The run waits (for an hour at most) until Stop ends the pause; the
    // lines after it never run.
    std::string process = "[main]\nselected=true\n[process]\necho,1,line\nwait,1,3600\n";
    for (int i = 0; i < 1'000; ++i) process += "echo,1,after\n";
    program_->home.Write("Scripts/a.script", process);
    program_->home.Write("Scripts/b.script", "[main]\nselected=true\n[process]\necho,1,b\n");
    Show();
    QSignalSpy finished(main_, &ui::MainWindow::BatchFinished);
    QTest::mouseClick(main_->findChild<QPushButton*>(QStringLiteral("startButton")),
                      Qt::LeftButton);
    QVERIFY(main_->running());
    // The window takes no other input meanwhile, but Stop and the log window.
    QVERIFY(!main_->findChild<QWidget*>(QStringLiteral("startButton"))->isEnabled());
    QVERIFY(!main_->findChild<QWidget*>(QStringLiteral("scriptTree"))->isEnabled());
    QVERIFY(!main_->findChild<QWidget*>(QStringLiteral("folderList"))->isEnabled());
    QVERIFY(!main_->findChild<QWidget*>(QStringLiteral("configurationButton"))->isEnabled());
    auto* log_button = main_->findChild<QPushButton*>(QStringLiteral("logWindowButton"));
    QVERIFY(log_button->isEnabled());
    QTest::mouseClick(log_button, Qt::LeftButton);
    QVERIFY(program_->windows->log_window().isVisible());
    auto* stop = main_->findChild<QPushButton*>(QStringLiteral("stopButton"));
    QTRY_VERIFY(stop->isVisible());
    // Stopped while it waits, after the first line.
    QTRY_VERIFY(LogTexts(Log()).contains(QStringLiteral("8|line")));
    QTest::mouseClick(stop, Qt::LeftButton);
    QVERIFY(finished.wait(60'000));
    QCOMPARE(main_->last_outcome(), app::BatchOutcome::kStopped);
    const QStringList texts = LogTexts(Log());
    QVERIFY(texts.contains(QStringLiteral("8|line")));
    QVERIFY(!texts.contains(QStringLiteral("8|after")));
    // The cut pause says so, and a stopped run is not called processed.
    QVERIFY(texts.at(texts.size() - 5).startsWith(QStringLiteral("0|Waited ")));
    QVERIFY(texts.at(texts.size() - 5).endsWith(QStringLiteral(" of 3600 seconds: stopped")));
    QCOMPARE(texts.mid(texts.size() - 4),
             (QStringList{"0|Run stopped by the user", "7|",
                          "8|Processing time: 2 seconds and 3 miliseconds", "7|"}));
    QVERIFY(!texts.contains(QStringLiteral("6|Processing script: b")));
    QVERIFY(main_->findChild<QWidget*>(QStringLiteral("progressPanel"))->isHidden());
    // The controls are back.
    QVERIFY(main_->findChild<QWidget*>(QStringLiteral("startButton"))->isEnabled());
    QVERIFY(main_->findChild<QWidget*>(QStringLiteral("scriptTree"))->isEnabled());
    QVERIFY(main_->findChild<QWidget*>(QStringLiteral("openButton"))->isEnabled());
  }

  void logWindowButtonTogglesTheLogWindow() {
    Start("");
    Show();
    QWidget& log = program_->windows->log_window();
    auto* button = main_->findChild<QPushButton*>(QStringLiteral("logWindowButton"));
    QVERIFY(log.isHidden());
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(log.isVisible());
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(log.isHidden());
  }

  void bridgeShowsMessagesOnTheWindowThreadWhileTheJobWaits() {
    RecordingDialogs dialogs;
    RecordingShell shell;
    ui::LogListModel model(true);
    ui::RunSurface surface;
    surface.log = &model;
    ui::RunBridge bridge(surface, dialogs, shell);
    QSignalSpy finished(&bridge, &ui::RunBridge::Finished);
    std::vector<size_t> seen_by_job;
    bridge.Start([&](RunView& view, app::BatchHost& host) {
      view.AddLog("first", LogKind::kInfo, LogReveal::kSelect);
      view.ShowMessage(MessageKind::kWarning, "Caption", "Text");
      // The message returned only after the window thread showed it.
      seen_by_job.push_back(static_cast<size_t>(dialogs.messages.size()));
      host.Beep();
      view.AddLog("second", LogKind::kSuccess, LogReveal::kAppend);
    });
    QVERIFY(finished.wait(10'000));
    QCOMPARE(dialogs.messages, QStringList{"Caption|Text"});
    QVERIFY(dialogs.on_window_thread);
    QCOMPARE(seen_by_job, std::vector<size_t>{1});
    QCOMPARE(LogTexts(model), (QStringList{"8|first", "1|second"}));
    QCOMPARE(shell.beeps, 1);
  }

  void longOperationShowsItsFilesAndBytesUnderTheStatus() {
    RecordingDialogs dialogs;
    RecordingShell shell;
    QLabel status;
    ui::RunSurface surface;
    surface.status = &status;
    ui::RunBridge bridge(surface, dialogs, shell);
    QSignalSpy finished(&bridge, &ui::RunBridge::Finished);
    std::atomic<int> step{0};
    bridge.Start([&](RunView& view, app::BatchHost&) {
      view.SetStatus("Processing commands..");
      view.ShowOperationProgress("Copying", 0, 0, false);
      view.ShowOperationProgress("Copying", 3, 1'000'000, false);  // too soon to show
      QThread::msleep(350);
      view.ShowOperationProgress("Copying", 1'234, 56'700'000, false);
      step = 1;
      while (step != 2) QThread::msleep(5);
      view.ShowOperationProgress("Copying", 0, 0, true);
    });
    QTRY_COMPARE(step.load(), 1);
    QTRY_COMPARE(status.text(),
                 QStringLiteral("Processing commands..\nCopying: 1234 files, 56.7 MB"));
    step = 2;
    QVERIFY(finished.wait(10'000));
    QCOMPARE(status.text(), QStringLiteral("Processing commands.."));
  }
};

}  // namespace pelvar::testing

QTEST_MAIN(pelvar::testing::BatchTest)
#include "batch_test.moc"
