// The main window's catalogue: configuration load, folder list, script tree
// order, details, check marks written into the scripts, saving on close.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTreeView>
#include <QtTest>

#include "ui/catalogue_checks.h"
#include "ui/log_window.h"
#include "ui/main_window.h"
#include "ui/paths_window.h"
#include "ui/script_editor_window.h"
#include "ui/script_list_model.h"
#include "ui/ui_test_support.h"

namespace pelvar::testing {

namespace {

std::string Script(const std::string& title, int level, const std::string& extra = "") {
  return "[main]\ntitle=" + title + "\nlevel=" + std::to_string(level) + "\n" + extra +
         "[process]\necho,1,x\n";
}

QStringList TreeTitles(QTreeView* tree) {
  QStringList out;
  for (int row = 0; row < tree->model()->rowCount(); ++row) {
    out << tree->model()->index(row, 0).data().toString();
  }
  return out;
}

}  // namespace

class CatalogueTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TestProgram> program_;
  ui::MainWindow* main_ = nullptr;
  QTreeView* tree_ = nullptr;

  void Start(const std::string& extra_config = "", int many = 0) {
    program_ = std::make_unique<TestProgram>(std::nullopt);
    const TempDir& home = program_->home;
    home.Write("pelvar.ini", RunnableConfig(home, extra_config));
    home.Write("Scripts/a.script", Script("Five", 5, "contact=mailto:me@example.org\n"));
    home.Write("Scripts/b.script", Script("One", 1, "description=First of all\nauthor=Ann\n"));
    home.Write("Scripts/c.script", Script("Three", 3, "selected=TRUE\n"));
    home.Write("Scripts/d.script", Script("Seven", 7));
    home.Write("Scripts/e.script", Script("Zero", 0));
    home.Write("Scripts/sub/a.script", Script("SubThree", 3));
    home.Write("Scripts/f.script", "[process]\necho,1,untitled\n");
    home.Write("More/x.script", Script("Other folder", 2));
    home.Write("Empty/readme.txt", "");
    home.Write("with.dot/y.script", Script("Dotted", 1));
    for (int i = 0; i < many; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "Many/s%04d.script", i);
      home.Write(name, Script("S" + std::to_string(i), 6 - i % 6));
    }
    main_ = &program_->windows->main_window();
    tree_ = main_->findChild<QTreeView*>(QStringLiteral("scriptTree"));
    main_->show();
  }

 private slots:
  void cleanup() { program_.reset(); }

  void loadsFoldersAndOrdersScriptsByLevel() {
    Start("LastUsedFolder=scripts\n");
    QVERIFY(main_->configuration_loaded());
    auto* folders = main_->findChild<QComboBox*>(QStringLiteral("folderList"));
    QStringList captions;
    for (int i = 0; i < folders->count(); ++i) captions << folders->itemText(i);
    QCOMPARE(captions, (QStringList{"Empty", "More", "Scripts"}));
    QCOMPARE(folders->currentText(), QStringLiteral("Scripts"));
    const QString untitled = QString::fromStdString(program_->home.Path("Scripts/f.script"));
    QCOMPARE(TreeTitles(tree_), (QStringList{"One", "Three", untitled, "SubThree", "Five"}));
    QCOMPARE(tree_->model()->index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(tree_->model()->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    // The first entry is selected and described.
    QCOMPARE(tree_->currentIndex().row(), 0);
    QCOMPARE(main_->findChild<QLabel*>(QStringLiteral("detailsTitle"))->text(),
             QStringLiteral("One"));
    QCOMPARE(main_->findChild<QLabel*>(QStringLiteral("detailsDescription"))->text(),
             QStringLiteral("First of all"));
    QCOMPARE(main_->findChild<QLabel*>(QStringLiteral("detailsAuthor"))->text(),
             QStringLiteral("Ann"));
    QVERIFY(main_->findChild<QLabel*>(QStringLiteral("detailsContact"))->isHidden());
    // The listing remembers the folder under its caption.
    QVERIFY(program_->home.Read("pelvar.ini").find("LastUsedFolder=Scripts\n") !=
            std::string::npos);
    // The paths window took the three paths.
    QCOMPARE(program_->windows->paths_window().Paths().target_dir, program_->home.Path("target"));
    // The editor, settings and update windows open from their buttons.
    QVERIFY(main_->findChild<QPushButton*>(QStringLiteral("openButton"))->isEnabled());
    QVERIFY(main_->findChild<QPushButton*>(QStringLiteral("configurationButton"))->isEnabled());
    QVERIFY(!main_->findChild<QPushButton*>(QStringLiteral("updateButton"))->isHidden());
    QVERIFY(main_->findChild<QWidget*>(QStringLiteral("progressPanel"))->isHidden());
  }

  void contactLinkOpensTheAddressUnchanged() {
    Start();
    tree_->setCurrentIndex(tree_->model()->index(4, 0));
    auto* contact = main_->findChild<QLabel*>(QStringLiteral("detailsContact"));
    QVERIFY(!contact->isHidden());
    QVERIFY(contact->text().contains(QStringLiteral("mailto:me@example.org")));
    emit contact->linkActivated(QStringLiteral("#"));
    QCOMPARE(program_->shell.opened_addresses, QStringList{"mailto:me@example.org"});
  }

  void pickingAFolderListsItAndRemembersIt() {
    Start();
    auto* folders = main_->findChild<QComboBox*>(QStringLiteral("folderList"));
    folders->setCurrentIndex(1);
    emit folders->activated(1);
    QCOMPARE(TreeTitles(tree_), QStringList{"Other folder"});
    QVERIFY(program_->home.Read("pelvar.ini").find("LastUsedFolder=More\n") != std::string::npos);
    // A folder without scripts empties the tree and is not remembered.
    folders->setCurrentIndex(0);
    emit folders->activated(0);
    QCOMPARE(tree_->model()->rowCount(), 0);
    QVERIFY(program_->home.Read("pelvar.ini").find("LastUsedFolder=More\n") != std::string::npos);
    QCOMPARE(main_->findChild<QLabel*>(QStringLiteral("detailsTitle"))->text(), QString());
    // The details say why the list is empty.
    QCOMPARE(
        main_->findChild<QLabel*>(QStringLiteral("detailsDescription"))->text(),
        QStringLiteral("This folder holds no script of level 1 to 6, its subfolders included."));
  }

  void scriptsWithFindingsAreMarked() {
    Start();
    program_->home.Write("More/y.script",
                         "[main]\ntitle=Faulty\nlevel=2\n[process]\n; copy\nfilecopi,1,a,b\n"
                         "shellexecute,1,open,x\n");
    auto* folders = main_->findChild<QComboBox*>(QStringLiteral("folderList"));
    folders->setCurrentIndex(1);
    emit folders->activated(1);
    main_->checks().WaitForResults();
    QCOMPARE(TreeTitles(tree_), (QStringList{"Other folder", "Faulty"}));
    auto& scripts = main_->scripts();
    QVERIFY(scripts.findings(0).empty());
    QCOMPARE(scripts.findings(1).size(), size_t{2});
    const QIcon error = QApplication::style()->standardIcon(QStyle::SP_MessageBoxCritical);
    QCOMPARE(
        qvariant_cast<QIcon>(scripts.index(1, 0).data(Qt::DecorationRole)).pixmap(16).toImage(),
        error.pixmap(16).toImage());
    auto* findings = main_->findChild<QLabel*>(QStringLiteral("detailsFindings"));
    QVERIFY(findings->isHidden());
    tree_->setCurrentIndex(scripts.index(1, 0));
    QCOMPARE(findings->text(),
             QStringLiteral("line 6: warning: unknown command \"filecopi\": the line does "
                            "nothing; did you mean \"filecopy\"?\n"
                            "line 7: error: List index out of bounds (4): shellexecute reads its "
                            "parameters from field 4, and the line has fields 0 to 3"));
    QVERIFY(!findings->isHidden());
    tree_->setCurrentIndex(scripts.index(0, 0));
    QVERIFY(findings->isHidden());
  }

  void clickOnTheCheckBoxRewritesTheScript() {
    Start();
    const QPoint box = CheckBoxCentre(tree_, 0);
    QTest::mouseClick(tree_->viewport(), Qt::LeftButton, {}, box);
    QCOMPARE(tree_->model()->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(program_->home.Read("Scripts/b.script"),
             std::string("[main]\ntitle=One\nlevel=1\ndescription=First of all\nauthor=Ann\n"
                         "selected=true\n[process]\necho,1,x\n"));
    QTest::mouseClick(tree_->viewport(), Qt::LeftButton, {}, box);
    QCOMPARE(tree_->model()->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QVERIFY(program_->home.Read("Scripts/b.script").find("selected=false\n") != std::string::npos);
    // A click on the text selects and describes, and writes nothing.
    const std::string before = program_->home.Read("Scripts/a.script");
    QTest::mouseClick(tree_->viewport(), Qt::LeftButton, {},
                      tree_->visualRect(tree_->model()->index(4, 0)).center());
    QCOMPARE(main_->findChild<QLabel*>(QStringLiteral("detailsTitle"))->text(),
             QStringLiteral("Five"));
    QCOMPARE(program_->home.Read("Scripts/a.script"), before);
  }

  void contextMenuChecksAndUnchecksTheSelection() {
    Start();
    auto* model = tree_->model();
    auto* selection = tree_->selectionModel();
    selection->clearSelection();
    for (int row : {0, 2, 4}) {
      selection->select(model->index(row, 0), QItemSelectionModel::Select);
    }
    auto* check = main_->findChild<QAction*>(QStringLiteral("checkSelectedAction"));
    QCOMPARE(check->text(), QStringLiteral("Check selected"));
    check->trigger();
    for (int row : {0, 2, 4}) {
      QCOMPARE(model->index(row, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    }
    QVERIFY(selection->selectedRows().isEmpty());
    QVERIFY(program_->home.Read("Scripts/a.script").find("Selected=True\n") != std::string::npos);
    QVERIFY(program_->home.Read("Scripts/f.script").find("[Main]\nSelected=True\n") !=
            std::string::npos);
    selection->select(model->index(1, 0), QItemSelectionModel::Select);
    main_->findChild<QAction*>(QStringLiteral("uncheckSelectedAction"))->trigger();
    QCOMPARE(model->index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QVERIFY(program_->home.Read("Scripts/c.script").find("Selected=False\n") != std::string::npos);
    // A script file gone since the listing: the mark changes, nothing is written.
    std::remove(program_->home.Path("Scripts/sub/a.script").c_str());
    selection->select(model->index(3, 0), QItemSelectionModel::Select);
    check->trigger();
    QCOMPARE(model->index(3, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QVERIFY(!program_->home.Exists("Scripts/sub/a.script"));
  }

  // Ctrl+Z takes back the last change of check marks (one click, or one
  // "Check selected" of several scripts), writing each script's exact bytes.
  void checkMarksAreUndoneAndRedone() {
    Start();
    QVERIFY(QTest::qWaitForWindowActive(main_));
    auto* model = tree_->model();
    const TempDir& home = program_->home;
    const std::vector<std::string> names{"Scripts/b.script", "Scripts/a.script",
                                         "Scripts/c.script"};
    auto texts = [&] {
      std::vector<std::string> out;
      for (const std::string& name : names) out.push_back(home.Read(name));
      return out;
    };
    const std::vector<std::string> start = texts();
    QTest::mouseClick(tree_->viewport(), Qt::LeftButton, {}, CheckBoxCentre(tree_, 0));
    const std::vector<std::string> clicked = texts();
    QVERIFY(clicked != start);
    // a.script is row 4; c.script (row 2) is checked already and stays.
    auto* selection = tree_->selectionModel();
    selection->clearSelection();
    for (int row : {2, 4}) selection->select(model->index(row, 0), QItemSelectionModel::Select);
    main_->findChild<QAction*>(QStringLiteral("checkSelectedAction"))->trigger();
    const std::vector<std::string> menu = texts();
    QVERIFY(menu != clicked);

    QTest::keyClick(tree_, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(texts() == clicked);
    QCOMPARE(model->index(4, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QCOMPARE(model->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QTest::keyClick(tree_, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(texts() == start);
    QCOMPARE(model->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QTest::keyClick(tree_, Qt::Key_Y, Qt::ControlModifier);
    QVERIFY(texts() == clicked);
    QTest::keyClick(tree_, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(texts() == menu);
    QCOMPARE(model->index(4, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QVERIFY(program_->dialogs.messages.isEmpty());

    // A script changed by another program is not undone over.
    home.Write("Scripts/a.script", "[main]\ntitle=Five\nlevel=5\n");
    auto* undo = main_->findChild<QAction*>(QStringLiteral("undoChecksAction"));
    undo->trigger();
    QCOMPARE(home.Read("Scripts/a.script"), std::string("[main]\ntitle=Five\nlevel=5\n"));
    QCOMPARE(program_->dialogs.messages.size(), 1);
    QVERIFY(!main_->scripts().history().CanUndo());
  }

  // Enter on the script list opens the editor; F5 lists the folder again.
  void enterOpensTheEditorAndF5ListsAgain() {
    Start();
    QVERIFY(QTest::qWaitForWindowActive(main_));
    tree_->setFocus();
    tree_->setCurrentIndex(tree_->model()->index(4, 0));
    program_->home.Write("Scripts/g.script", Script("New one", 1));
    QTest::keyClick(tree_, Qt::Key_F5);
    QCOMPARE(TreeTitles(tree_).count(QStringLiteral("New one")), 1);
    QCOMPARE(tree_->currentIndex().data().toString(), QStringLiteral("Five"));
    QTest::keyClick(tree_, Qt::Key_Return);
    ui::ScriptEditorWindow& editor = program_->windows->script_editor();
    QVERIFY(editor.isVisible());
    QCOMPARE(editor.script(), program_->home.Path("Scripts/a.script"));
    QVERIFY(!main_->isEnabled());
    editor.close();
  }

  void missingConfigurationShowsTheMessageAndEnds() {
    program_ = std::make_unique<TestProgram>(std::nullopt);
    program_->home.Write("Scripts/a.script", Script("A", 1));
    program_->windows->main_window().show();
    QCOMPARE(program_->dialogs.messages,
             QStringList{"Pelvar|\"pelvar.ini\" file was not found!\rIf the application name "
                         "has changed,\ryou may also need to rename the ini file."});
    QCOMPARE(program_->quit_requests, std::vector<int>{2});
    QCOMPARE(program_->windows->main_window().scripts().rowCount(), 0);
  }

  void closingSavesOptionsAndPaths() {
    Start("log=true\nbeep=1\n");
    program_->windows->paths_window().SetPaths({"/typed/target", "", "/typed/x.iso"});
    main_->close();
    QCOMPARE(program_->quit_requests, std::vector<int>{0});
    const std::string ini = program_->home.Read("pelvar.ini");
    // Each changed value is written on its own line; beep=1 did not change.
    QCOMPARE(ini,
             "[main]\nTargetDir=/typed/target\nSourceDir=\nIsoFile=/typed/x.iso\n"
             "LastUsedFolder=Scripts\nlog=0\nbeep=1\nbuildmsg=0\n");
  }

  void closingKeepsEightBitPathsAndCommentsThatWereNotEdited() {
    program_ = std::make_unique<TestProgram>(std::nullopt);
    const std::string ini =
        "; my paths\r\n[main]\r\nsourcedir=/data/caf\xE9\r\ntargetdir=" + program_->home.Path("t") +
        "\r\nisofile=\r\nlog=1\r\nbeep=0\r\n"
        "buildmsg=0\r\n\r\n; end\r\n";
    program_->home.Write("pelvar.ini", ini);
    program_->home.Write("Scripts/l.script", "[main]\ntitle=Caf\xE9 au lait\nlevel=1\n");
    main_ = &program_->windows->main_window();
    tree_ = main_->findChild<QTreeView*>(QStringLiteral("scriptTree"));
    main_->show();
    // Shown as meant (Windows-1252), kept as the bytes.
    QCOMPARE(tree_->model()->index(0, 0).data().toString(), QStringLiteral("Caf\u00e9 au lait"));
    auto* source =
        program_->windows->paths_window().findChild<QLineEdit*>(QStringLiteral("sourceDirEdit"));
    QVERIFY(source != nullptr);
    QCOMPARE(source->text(), QStringLiteral("/data/caf\u00e9"));
    QCOMPARE(program_->windows->paths_window().Paths().source_dir, std::string("/data/caf\xE9"));
    main_->close();
    // Only the folder listed is remembered, on a line of its own.
    std::string expected = ini;
    expected.insert(expected.find("\r\n\r\n; end") + 2, "LastUsedFolder=Scripts\r\n");
    QCOMPARE(program_->home.Read("pelvar.ini"), expected);
  }

  void thousandScriptsListInLevelOrder() {
    Start("", 1000);
    auto* folders = main_->findChild<QComboBox*>(QStringLiteral("folderList"));
    folders->setCurrentIndex(folders->findText(QStringLiteral("Many")));
    emit folders->activated(folders->currentIndex());
    QCOMPARE(tree_->model()->rowCount(), 1000);
    QCOMPARE(tree_->model()->index(0, 0).data().toString(), QStringLiteral("S5"));
    QCOMPARE(tree_->model()->index(999, 0).data().toString(), QStringLiteral("S996"));
  }
};

}  // namespace pelvar::testing

QTEST_MAIN(pelvar::testing::CatalogueTest)
#include "catalogue_test.moc"
