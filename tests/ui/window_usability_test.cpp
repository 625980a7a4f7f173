// The main window and its companions as a user meets them: long texts that
// must not squeeze the script tree, check-box clicks that select, the log's
// long lines (scrolling, tool tips, copying), the command-line window's edge
// and names for screen readers.
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTreeView>
#include <QtTest>

#include "ui/command_line_window.h"
#include "ui/elided_label.h"
#include "ui/log_list_model.h"
#include "ui/log_view_tools.h"
#include "ui/log_window.h"
#include "ui/main_window.h"
#include "ui/paths_window.h"
#include "ui/ui_test_support.h"

namespace pelvar::testing {

class WindowUsabilityTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TestProgram> program_;
  ui::MainWindow* main_ = nullptr;
  QTreeView* tree_ = nullptr;

  void Start() {
    program_ = std::make_unique<TestProgram>(std::nullopt);
    program_->home.Write("pelvar.ini", RunnableConfig(program_->home));
    const std::string endless(300, 'x');
    program_->home.Write("Scripts/a.script", "[main]\ntitle=Short\nlevel=1\n[process]\n");
    program_->home.Write("Scripts/b.script", "[main]\ntitle=Long" + endless + "\nlevel=2\n" +
                                                 "description=" + endless + "\nauthor=" + endless +
                                                 "\ncontact=https://example.org/" + endless +
                                                 "\n[process]\n");
    main_ = &program_->windows->main_window();
    tree_ = main_->findChild<QTreeView*>(QStringLiteral("scriptTree"));
    main_->resize(760, 540);
    main_->show();
    QVERIFY(main_->configuration_loaded());
  }

 private slots:
  void cleanup() { program_.reset(); }

  // Escape closes the paths and settings windows, and the main window takes
  // the keys again.
  void escapeClosesTheDialogs() {
    Start();
    for (const char* button : {"pathsButton", "configurationButton"}) {
      QTest::mouseClick(main_->findChild<QPushButton*>(QString::fromLatin1(button)),
                        Qt::LeftButton);
      QWidget* dialog = QApplication::activeModalWidget();
      if (dialog == nullptr) dialog = QApplication::activeWindow();
      QVERIFY(dialog != nullptr && dialog != main_);
      QVERIFY(QTest::qWaitForWindowActive(dialog));
      QTest::keyClick(dialog, Qt::Key_Escape);
      QTRY_VERIFY(!dialog->isVisible());
      QVERIFY(main_->isEnabled());
    }
  }

  void longDetailsNeverTakeTheTreesWidth() {
    Start();
    QApplication::processEvents();
    const int tree_width = tree_->width();
    tree_->setCurrentIndex(tree_->model()->index(1, 0));
    QApplication::processEvents();
    QCOMPARE(tree_->width(), tree_width);
    QVERIFY(tree_width > 300);
    // The window can still be made narrow.
    const int minimum = main_->minimumSizeHint().width();
    tree_->setCurrentIndex(tree_->model()->index(0, 0));
    QApplication::processEvents();
    QCOMPARE(main_->minimumSizeHint().width(), minimum);
    tree_->setCurrentIndex(tree_->model()->index(1, 0));
    QApplication::processEvents();
    auto* contact = main_->findChild<ui::ElidedLabel*>(QStringLiteral("detailsContact"));
    QVERIFY(contact->text().contains(QChar(0x2026)));  // elided
    QVERIFY(contact->toolTip().endsWith(QString(300, QLatin1Char('x'))));
    auto* author = main_->findChild<ui::ElidedLabel*>(QStringLiteral("detailsAuthor"));
    QCOMPARE(author->full_text(), QString(300, QLatin1Char('x')));
    QVERIFY(author->width() <= main_->width());
    // A click on the link still opens the whole address.
    emit contact->linkActivated(QStringLiteral("#"));
    QCOMPARE(program_->shell.opened_addresses.size(), 1);
    QVERIFY(program_->shell.opened_addresses[0].endsWith(QString(300, QLatin1Char('x'))));
  }

  void clickOnACheckBoxSelectsItsEntry() {
    Start();
    QCOMPARE(tree_->currentIndex().row(), 0);
    QTest::mouseClick(tree_->viewport(), Qt::LeftButton, {}, CheckBoxCentre(tree_, 1));
    QCOMPARE(tree_->model()->index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(tree_->currentIndex().row(), 1);
    QCOMPARE(tree_->selectionModel()->selectedRows().size(), 1);
    QVERIFY(program_->home.Read("Scripts/b.script").find("selected=true") != std::string::npos);
  }

  void logLinesScrollShowWholeAndCopy() {
    Start();
    ui::LogWindow& log = program_->windows->log_window();
    log.resize(600, 400);
    log.show();
    const std::string long_line = "Sucessfully copied file: \"" + std::string(400, 'p') + "\"";
    log.model().Append(
        {{"first", LogKind::kInfo}, {long_line, LogKind::kSuccess}, {"third", LogKind::kFailure}});
    QTreeView& list = log.list();
    QApplication::processEvents();
    // The line is not cut: the view scrolls sideways to its end.
    QVERIFY(list.columnWidth(0) >
            list.fontMetrics().horizontalAdvance(QString::fromStdString(long_line)));
    QVERIFY(list.horizontalScrollBar()->maximum() > 0);
    // Ctrl+C copies the selected lines in list order.
    list.setFocus();
    list.selectionModel()->select(log.model().index(2, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    list.selectionModel()->select(log.model().index(0, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::keyClick(&list, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("first\nthird\n"));
    auto* tools = list.findChild<ui::LogViewTools*>();
    QVERIFY(tools != nullptr);
    list.selectionModel()->clearSelection();
    list.selectionModel()->select(log.model().index(1, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(tools->SelectedText(), QString::fromStdString(long_line) + QLatin1Char('\n'));
  }

  void commandLineWindowHasAVisibleEdge() {
    Start();
    ui::CommandLineWindow& window = program_->windows->command_line_window();
    window.show();
    const QImage image = window.grab().toImage();
    const int inside = qGray(image.pixel(4, image.height() / 2));
    for (const QPoint& edge : {QPoint(0, image.height() / 2), QPoint(image.width() - 1, 5),
                               QPoint(image.width() / 2, image.height() - 1)}) {
      QVERIFY2(inside - qGray(image.pixel(edge)) > 60,
               qPrintable(QStringLiteral("edge %1,%2").arg(edge.x()).arg(edge.y())));
    }
  }

  void pathButtonsHaveNamesForScreenReaders() {
    Start();
    ui::PathsWindow& paths = program_->windows->paths_window();
    const std::pair<const char*, const char*> names[] = {
        {"sourceDirBrowse", "Choose source folder"},
        {"sourceDirClear", "Clear source folder"},
        {"targetDirBrowse", "Choose target folder"},
        {"targetDirClear", "Clear target folder"},
        {"isoFileBrowse", "Choose the folder of the ISO file"},
        {"isoFileClear", "Clear ISO file"}};
    for (const auto& [object, name] : names) {
      QCOMPARE(paths.findChild<QPushButton*>(QLatin1String(object))->accessibleName(),
               QLatin1String(name));
    }
  }
};

}  // namespace pelvar::testing

QTEST_MAIN(pelvar::testing::WindowUsabilityTest)
#include "window_usability_test.moc"
