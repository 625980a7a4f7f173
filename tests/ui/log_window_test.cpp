// The log window: saving log.txt, viewing it after saving, the stored check
// box, the kind icons and a long log.
#include <QCheckBox>
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
    QCOMPARE(program_->home.Read("pelvar.ini"),
             std::string("[main]\r\nViewLogAfterSave=1\r\n\r\n"));
    log_->model().Append({{"x", LogKind::kInfo}});
    Save();
    QCOMPARE(program_->shell.opened_files,
             QStringList{QString::fromStdString(program_->home.Path("log.txt"))});
    QVERIFY(program_->dialogs.messages.isEmpty());
    box->click();
    QCOMPARE(program_->home.Read("pelvar.ini"),
             std::string("[main]\r\nViewLogAfterSave=0\r\n\r\n"));
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
