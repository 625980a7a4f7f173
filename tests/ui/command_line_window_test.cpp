// The command-line run window: the options, the end of the program after the
// run or on the close button, and the missing script or configuration.
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

#include "ui/command_line_window.h"
#include "ui/log_list_model.h"
#include "ui/main_window.h"
#include "ui/ui_test_support.h"

namespace pelvar::testing {

class CommandLineWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TestProgram> program_;
  ui::CommandLineWindow* window_ = nullptr;

  void Start(const std::optional<std::string>& config) {
    program_ = std::make_unique<TestProgram>(config);
    window_ = &program_->windows->command_line_window();
  }
  // Runs the window with a command line and waits for the run's end.
  void Run(const std::vector<std::string>& arguments) {
    QSignalSpy finished(window_, &ui::CommandLineWindow::RunFinished);
    std::vector<std::string> args{"pelvar"};
    args.insert(args.end(), arguments.begin(), arguments.end());
    window_->Run(app::ParseRunArguments(args));
    QVERIFY(window_->isVisible());
    QVERIFY(finished.wait(30'000));
  }
  QString Status() { return window_->findChild<QLabel*>(QStringLiteral("statusLabel"))->text(); }
  QStringList Log() {
    QStringList out;
    for (const LogLine& l : window_->log().lines()) out << QString::fromStdString(l.text);
    return out;
  }

 private slots:
  void cleanup() { program_.reset(); }

  void runsWithTheCommandLineFoldersAndEnds() {
    Start(std::string("[main]\ntargetdir=/cfg\nsourcedir=/cfg-src\n"));
    const std::string script =
        program_->home.Write("my script.script", "[process]\necho,1,%targetdir%|%sourcedir%\n");
    Run({script, "/targetdir=/first", "/TargetDir=/build"});
    QCOMPARE(Log(), QStringList{"/build|/cfg-src"});
    QCOMPARE(Status(), QStringLiteral("Process finished!"));
    QCOMPARE(program_->quit_requests, std::vector<int>{0});
    QVERIFY(!program_->windows->main_window().isVisible());
    // Nothing of the command line is written to the configuration.
    QCOMPARE(program_->home.Read("pelvar.ini"),
             std::string("[main]\ntargetdir=/cfg\nsourcedir=/cfg-src\n"));
  }

  void pressKeyKeepsTheWindowUntilClosed() {
    Start(std::string("[main]\n"));
    const std::string script = program_->home.Write("a.script", "[process]\necho,1,x\n");
    Run({script, "/PRESSKEY"});
    QCOMPARE(Status(), QStringLiteral("Process finished!"));
    QVERIFY(program_->quit_requests.empty());
    auto* close = window_->findChild<QToolButton*>(QStringLiteral("closeButton"));
    QCOMPARE(close->toolTip(), QStringLiteral("Close edit window"));
    QTest::mouseClick(close, Qt::LeftButton);
    QCOMPARE(program_->quit_requests, std::vector<int>{0});
  }

  void missingScriptSaysSoAndEnds() {
    Start(std::string("[main]\n"));
    Run({program_->home.Path("gone.script")});
    QCOMPARE(Status(), QStringLiteral("\"gone.script\" file was not found!"));
    QVERIFY(program_->dialogs.messages.isEmpty());
    QCOMPARE(program_->quit_requests, std::vector<int>{2});
  }

  void missingScriptWithPressKeyEndsWhenClosed() {
    Start(std::string("[main]\n"));
    Run({"/silent", program_->home.Path("a.script"), "/PressKey"});
    // Argument 1 is the script.
    QCOMPARE(Status(), QStringLiteral("\"silent\" file was not found!"));
    QVERIFY(program_->quit_requests.empty());
    QVERIFY(window_->isVisible());
    QTest::mouseClick(window_->findChild<QToolButton*>(QStringLiteral("closeButton")),
                      Qt::LeftButton);
    QCOMPARE(program_->quit_requests, std::vector<int>{2});
  }

  void failedLinesAreCountedAndTheFirstIsShown() {
    Start(std::string("[main]\n"));
    const std::string script =
        program_->home.Write("f.script",
                             "[process]\necho,1,fine\nfiledelete,1,%targetdir%\\none.txt\n"
                             "filedelete,1,%targetdir%\\other.txt\n");
    auto* failures = window_->findChild<QLabel*>(QStringLiteral("failureLabel"));
    auto* show_log = window_->findChild<QPushButton*>(QStringLiteral("showLogButton"));
    QVERIFY(!failures->isVisibleTo(window_));
    Run({script, "/TargetDir=" + program_->home.Path("t"), "/PressKey"});
    QCOMPARE(Status(), QStringLiteral("Process finished!"));
    QCOMPARE(failures->text(), QStringLiteral("2 commands failed\nf.script:3: no such file"));
    QVERIFY(failures->toolTip().startsWith(QString::fromStdString(script + ":3: Failed")));
    QVERIFY(failures->isVisibleTo(window_));
    QVERIFY(show_log->isVisibleTo(window_));
    // The window grows to show them and the log lines are a click away.
    QVERIFY(window_->height() > 154);
    QTest::mouseClick(show_log, Qt::LeftButton);
    auto* list = window_->findChild<QTreeView*>(QStringLiteral("runLogList"));
    QVERIFY(list != nullptr);
    QVERIFY(list->isVisible());
    QCOMPARE(list->model()->rowCount(), 3);
    QCOMPARE(list->currentIndex().row(), 1);
    QCOMPARE(list->model()->index(1, 1).data().toString(), QStringLiteral("no such file"));
    QVERIFY(program_->quit_requests.empty());
    QTest::mouseClick(window_->findChild<QToolButton*>(QStringLiteral("closeButton")),
                      Qt::LeftButton);
    // The status of a run without a window that logged failures.
    QCOMPARE(program_->quit_requests, std::vector<int>{4});
  }

  void showLogFollowsTheProfileInUse() {
    Start(
        std::string("[main]\nDefaultLanguage=de\n[language-de]\nShowLog=Protokoll zeigen\n"
                    "LogWindow=Protokoll\n"));
    const std::string script =
        program_->home.Write("g.script", "[process]\nfiledelete,1,/nonexistent/pelvar/x\n");
    Run({script, "/PressKey"});
    auto* show_log = window_->findChild<QPushButton*>(QStringLiteral("showLogButton"));
    QCOMPARE(show_log->text(), QStringLiteral("Protokoll zeigen"));
    QTest::mouseClick(show_log, Qt::LeftButton);
    QCOMPARE(window_->findChild<QDialog*>(QStringLiteral("runLogDialog"))->windowTitle(),
             QStringLiteral("Protokoll"));
  }

  void oneFailedLineWithoutPressKeyEndsWithFour() {
    Start(std::string("[main]\n"));
    const std::string script =
        program_->home.Write("g.script", "[process]\nfiledelete,1,/nonexistent/pelvar/x\n");
    Run({script});
    QCOMPARE(program_->quit_requests, std::vector<int>{4});
    QCOMPARE(window_->findChild<QLabel*>(QStringLiteral("failureLabel"))->text(),
             QStringLiteral("1 command failed\ng.script:2: no such file"));
  }

  void aLongReasonIsShortenedToOneLine() {
    Start(std::string("[main]\n"));
    // The place names the script's file, here a long name.
    const std::string script = program_->home.Write(std::string(150, 'n') + ".script",
                                                    "[process]\nfiledelete,1,/nonexistent/x\n");
    Run({script});
    auto* failures = window_->findChild<QLabel*>(QStringLiteral("failureLabel"));
    const QStringList lines = failures->text().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[1].endsWith(QStringLiteral(":2: no such file")), qPrintable(lines[1]));
    QVERIFY(lines[1].size() < 150);
    QVERIFY(failures->fontMetrics().horizontalAdvance(lines[1]) <= window_->width());
    QVERIFY(failures->toolTip().contains(QString(150, QLatin1Char('n'))));
  }

  void closingDuringTheRunStopsIt() {
    Start(std::string("[main]\n"));
    const std::string script =
        program_->home.Write("w.script", "[process]\nwait,1,30\necho,1,never\n");
    QSignalSpy finished(window_, &ui::CommandLineWindow::RunFinished);
    window_->Run(app::ParseRunArguments({"pelvar", script, "/PressKey"}));
    QVERIFY(window_->running());
    QTimer::singleShot(200, window_, [this] { window_->close(); });
    QVERIFY(finished.wait(10'000));
    QVERIFY(!Log().contains(QStringLiteral("never")));
    QCOMPARE(Log().last(), QStringLiteral("Run stopped by the user"));
    QCOMPARE(Status(), QStringLiteral("Run stopped by the user"));
    QCOMPARE(program_->quit_requests, std::vector<int>{5});
  }

  void missingConfigurationEndsBeforeTheRun() {
    Start(std::nullopt);
    const std::string script = program_->home.Write("a.script", "[process]\necho,1,x\n");
    Run({script, "/PressKey"});
    QCOMPARE(program_->dialogs.messages,
             QStringList{"Pelvar|\"pelvar.ini\" file was not found!\rIf the application name "
                         "has changed,\ryou may also need to rename the ini file."});
    QCOMPARE(program_->quit_requests, std::vector<int>{2});
    QVERIFY(Log().isEmpty());
  }

  void errorIsShownAndTheWindowStays() {
    Start(std::string("[main]\n"));
    const std::string script = program_->home.Write("a.script", "[process]\necho,1\n");
    Run({script});
    const QString place = QString::fromStdString(script) + QStringLiteral(":2");
    QCOMPARE(program_->dialogs.messages,
             QStringList{"Pelvar|" + place + ": List index out of bounds (2)\recho,1"});
    QVERIFY(program_->quit_requests.empty());
    QCOMPARE(Log(), (QStringList{"List index out of bounds (2)", place + ": echo,1"}));
    QTest::mouseClick(window_->findChild<QToolButton*>(QStringLiteral("closeButton")),
                      Qt::LeftButton);
    QCOMPARE(program_->quit_requests, std::vector<int>{1});
  }
};

}  // namespace pelvar::testing

QTEST_MAIN(pelvar::testing::CommandLineWindowTest)
#include "command_line_window_test.moc"
