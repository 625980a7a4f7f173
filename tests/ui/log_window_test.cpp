// The log window: saving log.txt, viewing it after saving, the stored check
// box, the kind icons and a long log.
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

#include "ui/icons.h"
#include "ui/log_list_model.h"
#include "ui/log_window.h"
#include "ui/main_window.h"
#include "ui/ui_test_support.h"

namespace pelvar::testing {

class LogWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TestProgram> program_;
  ui::LogWindow* log_ = nullptr;

  void Save() {
    QTest::mouseClick(log_->findChild<QPushButton*>(QStringLiteral("saveLogButton")),
                      Qt::LeftButton);
  }

 private slots:
  void init() {
    program_ = std::make_unique<TestProgram>(std::string("[main]\nViewLogAfterSave=0\n"));
    program_->windows->main_window().show();
    log_ = &program_->windows->log_window();
    log_->show();
  }
  void cleanup() { program_.reset(); }

  void emptyLogSavesNothing() {
    Save();
    QVERIFY(!program_->home.Exists("log.txt"));
    QVERIFY(program_->dialogs.messages.isEmpty());
  }

  void savingReplacesTheFileAndSaysWhere() {
    log_->model().Append({{"first", LogKind::kInfo}, {"", LogKind::kSpacer}});
    Save();
    QCOMPARE(program_->home.Read("log.txt"), std::string("first\r\n\r\n"));
    const QString path = QString::fromStdString(program_->home.Path("log.txt"));
    QCOMPARE(program_->dialogs.messages, QStringList{"Pelvar|Saved as:\"" + path + "\""});
    log_->model().Clear();
    log_->model().Append({{"second", LogKind::kSuccess}});
    Save();
    QCOMPARE(program_->home.Read("log.txt"), std::string("second\r\n"));
  }

  void viewAfterSavingOpensTheFileAndIsStored() {
    auto* box = log_->findChild<QCheckBox*>(QStringLiteral("viewAfterSaveBox"));
    QCOMPARE(box->text(), QStringLiteral("View after saving log"));
    QVERIFY(!box->isChecked());
    box->click();
    QCOMPARE(program_->home.Read("pelvar.ini"), std::string("[main]\nViewLogAfterSave=1\n"));
    log_->model().Append({{"x", LogKind::kInfo}});
    Save();
    QCOMPARE(program_->shell.opened_files,
             QStringList{QString::fromStdString(program_->home.Path("log.txt"))});
    QVERIFY(program_->dialogs.messages.isEmpty());
    box->click();
    QCOMPARE(program_->home.Read("pelvar.ini"), std::string("[main]\nViewLogAfterSave=0\n"));
  }

  void unwritableProgramFolderShowsTheError() {
    log_->model().Append({{"x", LogKind::kInfo}});
    // A folder where log.txt should be makes the file impossible to write.
    QVERIFY(QDir().mkpath(QString::fromStdString(program_->home.Path("log.txt/inner"))));
    Save();
    QCOMPARE(program_->dialogs.messages.size(), 1);
    QVERIFY(program_->dialogs.messages[0].startsWith(
        QString::fromStdString("Pelvar|Cannot create file \"" + program_->home.Path("log.txt"))));
  }

  void everyKindHasItsIcon() {
    for (int kind = 0; kind < ui::kLogKindCount; ++kind) {
      const QImage image = ui::LogKindIcon(kind).pixmap(16, 16).toImage();
      bool painted = false;
      for (int y = 0; y < 16 && !painted; ++y) {
        for (int x = 0; x < 16 && !painted; ++x) painted = qAlpha(image.pixel(x, y)) != 0;
      }
      QCOMPARE(painted, kind != 7);
    }
    QCOMPARE(ui::LogKindIcon(3).pixmap(16, 16).toImage(),
             ui::LogKindIcon(0).pixmap(16, 16).toImage());
    const QModelIndex first =
        (log_->model().Append({{"t", LogKind::kWarning}}), log_->model().index(0, 0));
    QVERIFY(!first.data(Qt::DecorationRole).value<QIcon>().isNull());
  }

  void failureReasonsShowAsToolTipAndInTheDetailsColumn() {
    log_->model().Append(
        {LogLine{"Failed to load registry hive", LogKind::kFailure, "no such file"},
         LogLine{"ok", LogKind::kSuccess}});
    const QAbstractItemModel& model = log_->model();
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Details"));
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("Failed to load registry hive"));
    QCOMPARE(model.index(0, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("no such file"));
    QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("no such file"));
    QVERIFY(!model.index(1, 0).data(Qt::ToolTipRole).isValid());
    QCOMPARE(model.index(1, 1).data().toString(), QString());
  }

  void detailsStayInViewBesideALongLine() {
    log_->resize(601, 591);
    QTreeView& list = log_->list();
    const std::string long_line = "Failed to copy file: \"" + std::string(300, 'q') + "\"";
    log_->model().Append({{"first", LogKind::kInfo},
                          {long_line, LogKind::kFailure, "no such file", "/s/a.script", 3}});
    QApplication::processEvents();
    const int viewport = list.viewport()->width();
    // The Details column starts inside the view at the default size, with
    // room for a reason.
    QVERIFY(list.header()->sectionViewportPosition(1) + 150 <= viewport);
    QVERIFY(list.columnWidth(0) >= 200);
  }

  void saveAsWritesKindTextReasonAndPlace() {
    auto* save_as = log_->findChild<QPushButton*>(QStringLiteral("saveLogAsButton"));
    QCOMPARE(save_as->text(), QStringLiteral("Save log as..."));
    // Nothing to save: no question.
    QTest::mouseClick(save_as, Qt::LeftButton);
    QVERIFY(program_->dialogs.save_questions.isEmpty());
    log_->model().Append(
        {{"Processing script: A", LogKind::kScript},
         {"Failed\tto delete", LogKind::kFailure, "no such file", "/s/a.script", 7},
         {"", LogKind::kSpacer}});
    // Cancelled: nothing written.
    QTest::mouseClick(save_as, Qt::LeftButton);
    QCOMPARE(program_->dialogs.save_questions, QStringList{"Save log as...|log.tsv"});
    const QString path = QString::fromStdString(program_->home.Path("sent/run.tsv"));
    QVERIFY(QDir().mkpath(QString::fromStdString(program_->home.Path("sent"))));
    program_->dialogs.save_answers.push_back(path);
    QTest::mouseClick(save_as, Qt::LeftButton);
    QCOMPARE(program_->home.Read("sent/run.tsv"),
             std::string("6\tProcessing script: A\t\t\r\n"
                         "0\tFailed to delete\tno such file\t/s/a.script:7\r\n"
                         "7\t\t\t\r\n"));
    QCOMPARE(program_->dialogs.messages, QStringList{"Pelvar|Saved as:\"" + path + "\""});
    // log.txt keeps its form: the texts alone.
    Save();
    QCOMPARE(program_->home.Read("log.txt"),
             std::string("Processing script: A\r\nFailed\tto delete\r\n\r\n"));
  }

  void sizeAndColumnWidthAreRemembered() {
    // An untouched window writes nothing when hidden.
    log_->hide();
    QCOMPARE(program_->home.Read("pelvar.ini"), std::string("[main]\nViewLogAfterSave=0\n"));
    log_->show();
    log_->resize(700, 500);
    log_->list().header()->resizeSection(0, 250);
    log_->hide();
    const std::string ini = program_->home.Read("pelvar.ini");
    QVERIFY(ini.find("LogWindowSize=700,500\n") != std::string::npos);
    QVERIFY(ini.find("LogColumnWidth=250\n") != std::string::npos);

    // The next start takes them back.
    program_.reset();
    program_ = std::make_unique<TestProgram>(ini);
    program_->windows->main_window().show();
    log_ = &program_->windows->log_window();
    log_->show();
    QCOMPARE(log_->size(), QSize(700, 500));
    log_->model().Append({{std::string(300, 'w'), LogKind::kInfo}});
    QApplication::processEvents();
    QCOMPARE(log_->list().columnWidth(0), 250);
    // Closing the program with the window shown keeps its size too.
    log_->resize(650, 450);
    program_->windows->main_window().close();
    QVERIFY(program_->home.Read("pelvar.ini").find("LogWindowSize=650,450\n") != std::string::npos);
  }

  void hundredThousandLinesInOneAppend() {
    std::vector<LogLine> lines(100'000, LogLine{"echo text", LogKind::kInfo});
    log_->model().Append(std::move(lines));
    QCOMPARE(log_->model().rowCount(), 100'000);
    auto& list = log_->list();
    QVERIFY(list.uniformRowHeights());
    list.scrollToBottom();
    QCOMPARE(list.model()->index(99'999, 0).data().toString(), QStringLiteral("echo text"));
  }
};

}  // namespace pelvar::testing

QTEST_MAIN(pelvar::testing::LogWindowTest)
#include "log_window_test.moc"
