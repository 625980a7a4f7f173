// The script editor on the real windows: opening from the main window, the
// command list and its write-back, the embedded files, and scripts written
// by the editor read back through the independent test vectors.
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

#include "app/embedded_folders.h"
#include "archive/embedded_files.h"
#include "engine/ini_file.h"
#include "engine/ini_model.h"
#include "platform/posix_process_launcher.h"
#include "ui/elided_label.h"
#include "ui/icons.h"
#include "ui/main_window.h"
#include "ui/script_editor_window.h"
#include "ui/ui_test_support.h"

namespace pelvar::testing {

namespace {

const std::string kVectors = std::string(PELVAR_TEST_DATA) + "/embedded";

QStringList Texts(QTreeWidget* list, int column = 0) {
  QStringList out;
  for (int row = 0; row < list->topLevelItemCount(); ++row) {
    out << list->topLevelItem(row)->text(column);
  }
  return out;
}

QPoint CheckBoxCentre(QTreeWidget* list, int row) {
  QStyleOptionViewItem option;
  option.initFrom(list->viewport());
  option.rect = list->visualItemRect(list->topLevelItem(row));
  option.features = QStyleOptionViewItem::HasCheckIndicator;
  return list->style()
      ->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list)
      .center();
}

// Sections of a script with the keys of each, text lines given by length.
// The sizes of big.log depend on the compressor, so its index value and text
// are left out.
std::vector<std::string> Layout(const std::string& script) {
  std::vector<std::string> out;
  const IniModel model = IniModel::Load(script);
  for (const IniModel::Section& section : model.sections()) {
    out.push_back("[" + section.name + "]");
    const bool text = section.name.rfind("EncodedFile-", 0) == 0;
    if (section.name == "EncodedFile-Data-big.log") continue;
    for (const std::string& line : section.lines) {
      if (line.rfind("big.log=", 0) == 0) {
        out.push_back("big.log=...");
        continue;
      }
      std::string_view key;
      if (text && IniModel::KeyOfLine(line, key) && key != "lines") {
        out.push_back(std::string(key) + "=" + std::to_string(line.size() - key.size() - 1));
      } else {
        out.push_back(line);
      }
    }
  }
  return out;
}

}  // namespace

class ScriptEditorTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TestProgram> program_;
  ui::MainWindow* main_ = nullptr;
  ui::ScriptEditorWindow* editor_ = nullptr;
  QTreeWidget* commands_ = nullptr;
  QTreeWidget* folders_ = nullptr;
  QTreeWidget* files_ = nullptr;

  // A program whose only script is Scripts/a.script with `text`; the editor
  // is opened on it from the main window.
  void Open(const std::string& text) {
    program_ = std::make_unique<TestProgram>(std::nullopt);
    const TempDir& home = program_->home;
    home.Write("pelvar.ini", RunnableConfig(home));
    home.Write("Scripts/a.script", text);
    main_ = &program_->windows->main_window();
    editor_ = &program_->windows->script_editor();
    commands_ = editor_->findChild<QTreeWidget*>(QStringLiteral("commandList"));
    folders_ = editor_->findChild<QTreeWidget*>(QStringLiteral("folderTree"));
    files_ = editor_->findChild<QTreeWidget*>(QStringLiteral("fileList"));
    main_->show();
    QTest::mouseClick(main_->findChild<QPushButton*>(QStringLiteral("openButton")), Qt::LeftButton);
    QVERIFY(editor_->isVisible());
  }

  std::string Script() const { return program_->home.Read("Scripts/a.script"); }
  std::string ScriptPath() const { return program_->home.Path("Scripts/a.script"); }
  QPushButton* Button(const char* name) {
    return editor_->findChild<QPushButton*>(QString::fromLatin1(name));
  }
  void SelectFolder(int row) { folders_->setCurrentItem(folders_->topLevelItem(row)); }
  void SelectFiles(const std::vector<int>& rows) {
    files_->clearSelection();
    for (int row : rows) files_->topLevelItem(row)->setSelected(true);
  }

 private slots:
  void cleanup() { program_.reset(); }

  void opensOnTheSelectedScriptWithTheMainWindowDisabled() {
    Open(
        "[main]\ntitle=Tools\nlevel=1\n[process]\necho,1,hello\nfilerename,0,a,b\n"
        "regwritestring,x,k\nnocomma\nwait,7,1\n");
    QVERIFY(!main_->isEnabled());
    QCOMPARE(editor_->minimumSize(), QSize(634, 437));
    QCOMPARE(editor_->findChild<QTabWidget*>(QStringLiteral("editorTabs"))->currentIndex(), 0);
    QCOMPARE(editor_->findChild<QLabel*>(QStringLiteral("editorTitle"))->text(),
             QStringLiteral("Tools"));
    QCOMPARE(editor_->findChild<QLabel*>(QStringLiteral("editorDescription"))->text(),
             QStringLiteral("List of commands in a.script"));
    // The title bar names the script; the header shows its file.
    QCOMPARE(editor_->windowTitle(), QStringLiteral("a.script - Pelvar"));
    QCOMPARE(editor_->findChild<ui::ElidedLabel*>(QStringLiteral("editorPath"))->full_text(),
             QString::fromStdString(ScriptPath()));
    QCOMPARE(Texts(commands_), (QStringList{"echo,1,hello", "filerename,0,a,b",
                                            "regwritestring,x,k", "nocomma", "wait,7,1"}));
    const std::vector<int> images = {15, 9, 3, 0, 11};
    for (int row = 0; row < 5; ++row) {
      QCOMPARE(commands_->topLevelItem(row)->icon(0).cacheKey(),
               ui::CommandIcon(images[static_cast<size_t>(row)]).cacheKey());
    }
    const QVariant none;
    QCOMPARE(commands_->topLevelItem(0)->data(0, Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(commands_->topLevelItem(1)->data(0, Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QCOMPARE(commands_->topLevelItem(2)->data(0, Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QCOMPARE(commands_->topLevelItem(3)->data(0, Qt::CheckStateRole), none);
    QCOMPARE(commands_->topLevelItem(4)->data(0, Qt::CheckStateRole), none);
    QCOMPARE(commands_->currentItem(), commands_->topLevelItem(0));

    QTest::mouseClick(Button("commandsOkButton"), Qt::LeftButton);
    QVERIFY(!editor_->isVisible());
    QVERIFY(main_->isEnabled());
    // A double click on the tree opens it again; the script is read anew.
    program_->home.Write("Scripts/a.script", "[main]\nlevel=1\n[process]\necho,1,x\n");
    auto* tree = main_->findChild<QTreeView*>(QStringLiteral("scriptTree"));
    emit tree->doubleClicked(tree->currentIndex());
    QVERIFY(editor_->isVisible());
    QCOMPARE(Texts(commands_), QStringList{"echo,1,x"});
    QCOMPARE(editor_->findChild<QLabel*>(QStringLiteral("editorTitle"))->text(),
             QString::fromStdString(ScriptPath()));
    editor_->close();
    QVERIFY(main_->isEnabled());
  }

  void clickingACheckMarkSwitchesTheFlagInTheFile() {
    Open("[main]\nlevel=1\n[process]\necho,0,a\necho,1,b\nnocomma\n");
    QTest::mouseClick(commands_->viewport(), Qt::LeftButton, {}, CheckBoxCentre(commands_, 0));
    QTRY_COMPARE(Script(),
                 std::string("[main]\nlevel=1\n[process]\necho,1,a\necho,1,b\nnocomma\n"));
    QCOMPARE(commands_->topLevelItem(0)->checkState(0), Qt::Checked);
    QTest::mouseClick(commands_->viewport(), Qt::LeftButton, {}, CheckBoxCentre(commands_, 1));
    QTRY_COMPARE(Script(),
                 std::string("[main]\nlevel=1\n[process]\necho,1,a\necho,0,b\nnocomma\n"));
    QCOMPARE(commands_->topLevelItem(1)->checkState(0), Qt::Unchecked);
    // A line without a flag has no check mark to click.
    const std::string before = Script();
    QTest::mouseClick(commands_->viewport(), Qt::LeftButton, {}, CheckBoxCentre(commands_, 2));
    QTest::qWait(20);
    QCOMPARE(Script(), before);
    QVERIFY(program_->dialogs.messages.isEmpty());
  }

  void aChangeKeepsEveryOtherByteOfTheScript() {
    Open(
        "; Tools script\r\n[main]\r\ntitle = Tools\r\n\r\n[process]\r\n; the files first\r\n"
        "echo,0,a\r\n  echo,1,b  \n[EncodedFolders]\r\nTools");
    QTest::mouseClick(commands_->viewport(), Qt::LeftButton, {}, CheckBoxCentre(commands_, 1));
    QTRY_COMPARE(Script(), std::string("; Tools script\r\n[main]\r\ntitle = Tools\r\n\r\n[process]"
                                       "\r\n; the files first\r\necho,0,a\r\necho,0,b\n"
                                       "[EncodedFolders]\r\nTools"));
    QCOMPARE(commands_->topLevelItem(1)->checkState(0), Qt::Unchecked);
    // The list read back from the write is the base of the next change.
    QTest::mouseClick(commands_->viewport(), Qt::LeftButton, {}, CheckBoxCentre(commands_, 0));
    QTRY_COMPARE(Script(), std::string("; Tools script\r\n[main]\r\ntitle = Tools\r\n\r\n[process]"
                                       "\r\n; the files first\r\necho,1,a\r\necho,0,b\n"
                                       "[EncodedFolders]\r\nTools"));
    QCOMPARE(Texts(commands_), (QStringList{"echo,1,a", "echo,0,b"}));
    QVERIFY(program_->dialogs.messages.isEmpty());
  }

  // A script that carries megabytes of embedded text: a click changes its
  // one line, and the list is filled from the write (the script is not read
  // again).
  void aLargeScriptIsChangedInItsOneLine() {
    std::string data = "[EncodedFile-F-big.bin]\r\nlines=99999\r\n";
    const std::string text(76, 'Q');
    for (int i = 0; i < 100000; ++i) data += std::to_string(i) + "=" + text + "\r\n";
    const std::string head = "[main]\r\nlevel=1\r\n[process]\r\necho,1,a\r\n";
    Open(head + "echo,0,b\r\n; c\r\n" + data);
    QTest::mouseClick(commands_->viewport(), Qt::LeftButton, {}, CheckBoxCentre(commands_, 1));
    QTRY_VERIFY(Script() == head + "echo,1,b\r\n; c\r\n" + data);
    QCOMPARE(commands_->topLevelItem(1)->checkState(0), Qt::Checked);
    program_->dialogs.line_answers.push_back(QStringLiteral("echo,1,c"));
    editor_->CreateCommand();
    QVERIFY(Script() == head + "echo,1,b\r\necho,1,c\r\n; c\r\n" + data);
    QCOMPARE(Texts(commands_), (QStringList{"echo,1,a", "echo,1,b", "echo,1,c"}));
    QVERIFY(program_->dialogs.messages.isEmpty());
  }

  void createEditAndDeleteWriteTheListBack() {
    Open("; comment\n[process]\necho,1,one\n[main]\nlevel = 1\n; inner\n[Process]\necho,1,two\n");
    QCOMPARE(Texts(commands_), (QStringList{"echo,1,one", "echo,1,two"}));
    // Cancelled: nothing changes, not even the layout.
    const std::string original = Script();
    QTest::mouseClick(Button("createCommandButton"), Qt::LeftButton);
    QCOMPARE(Script(), original);
    QCOMPARE(program_->dialogs.questions, QStringList{"New command to add..|Text:|"});

    program_->dialogs.line_answers.push_back(QStringLiteral("filerename,1,a,b"));
    QTest::mouseClick(Button("createCommandButton"), Qt::LeftButton);
    // Each change is its own line; the comments and the layout stay.
    QCOMPARE(Script(), std::string("; comment\n[process]\necho,1,one\n[main]\nlevel = 1\n; inner\n"
                                   "[Process]\necho,1,two\nfilerename,1,a,b\n"));
    QCOMPARE(commands_->currentItem()->text(0), QStringLiteral("filerename,1,a,b"));
    QCOMPARE(commands_->currentItem()->icon(0).cacheKey(), ui::CommandIcon(9).cacheKey());

    commands_->setCurrentItem(commands_->topLevelItem(0));
    program_->dialogs.line_answers.push_back(QStringLiteral("echo,0,first"));
    QTest::mouseClick(Button("editCommandButton"), Qt::LeftButton);
    QCOMPARE(program_->dialogs.questions.last(),
             QStringLiteral("Edit command|New value|echo,1,one"));
    QCOMPARE(Script(), std::string("; comment\n[process]\necho,0,first\n[main]\nlevel = 1\n"
                                   "; inner\n[Process]\necho,1,two\nfilerename,1,a,b\n"));
    QCOMPARE(commands_->topLevelItem(0)->checkState(0), Qt::Unchecked);

    // A double click edits too.
    program_->dialogs.line_answers.push_back(QStringLiteral("echo,1,second"));
    const QRect second = commands_->visualItemRect(commands_->topLevelItem(1));
    QTest::mouseClick(commands_->viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseDClick(commands_->viewport(), Qt::LeftButton, {}, second.center());
    QTRY_COMPARE(Texts(commands_),
                 (QStringList{"echo,0,first", "echo,1,second", "filerename,1,a,b"}));

    commands_->setCurrentItem(commands_->topLevelItem(1));
    QTest::mouseClick(Button("deleteCommandButton"), Qt::LeftButton);
    QCOMPARE(Script(), std::string("; comment\n[process]\necho,0,first\n[main]\nlevel = 1\n"
                                   "; inner\n[Process]\nfilerename,1,a,b\n"));
    commands_->setCurrentItem(commands_->topLevelItem(0));
    QTest::mouseClick(Button("deleteCommandButton"), Qt::LeftButton);
    QTest::mouseClick(Button("deleteCommandButton"), Qt::LeftButton);
    QCOMPARE(Script(),
             std::string("; comment\n[process]\n[main]\nlevel = 1\n; inner\n[Process]\n"));
    QCOMPARE(commands_->topLevelItemCount(), 0);
    QVERIFY(program_->dialogs.messages.isEmpty());
  }

  void theLineDialogChecksTheLineAgainstTheScript() {
    Open("[main]\nlevel=1\n[variables]\n%known%=1\n[process]\necho,1,%known%\n");
    program_->dialogs.line_answers.push_back(QStringLiteral("echo,1,%known% %unknown%"));
    editor_->CreateCommand();
    commands_->setCurrentItem(commands_->topLevelItem(0));
    program_->dialogs.line_answers.push_back(QStringLiteral("wait,1,soon"));
    QTest::mouseClick(Button("editCommandButton"), Qt::LeftButton);
    QCOMPARE(program_->dialogs.line_findings,
             (std::vector<std::vector<std::string>>{
                 {"warning: %unknown% is defined nowhere: it stays as written"},
                 {"warning: \"soon\" is not a number of seconds from 0 to 86400: the line logs "
                  "a failure and waits not at all"}}));
  }

  void aScriptWithoutCommandsGetsItsSectionAtTheEnd() {
    Open("[main]\nlevel=1\n[variables]\n%a%=1\n");
    QCOMPARE(commands_->topLevelItemCount(), 0);
    program_->dialogs.line_answers.push_back(QStringLiteral("echo,1,x"));
    editor_->CreateCommand();
    QCOMPARE(Script(), std::string("[main]\nlevel=1\n[variables]\n%a%=1\n\n[process]\necho,1,x\n"));
  }

  // Ctrl+Z takes back each command-list change, writing the exact bytes
  // the script had; Ctrl+Shift+Z and Ctrl+Y put them back.
  void undoAndRedoWriteBackTheExactBytes() {
    Open(
        "; tools\r\n[main]\r\ntitle = Tools\r\n\r\n[process]\r\n; first\r\necho,0,a\r\n"
        "echo,1,b\n[EncodedFolders]\r\nTools");
    QVERIFY(QTest::qWaitForWindowActive(editor_));
    QVERIFY(!Button("commandsUndoButton")->isEnabled());
    std::vector<std::string> states{Script()};
    QTest::mouseClick(commands_->viewport(), Qt::LeftButton, {}, CheckBoxCentre(commands_, 0));
    QTRY_VERIFY(Script() != states.back());
    states.push_back(Script());
    program_->dialogs.line_answers.push_back(QStringLiteral("echo,1,c"));
    QTest::mouseClick(Button("createCommandButton"), Qt::LeftButton);
    states.push_back(Script());
    commands_->setCurrentItem(commands_->topLevelItem(1));
    program_->dialogs.line_answers.push_back(QStringLiteral("echo,1,edited"));
    QTest::mouseClick(Button("editCommandButton"), Qt::LeftButton);
    states.push_back(Script());
    commands_->setCurrentItem(commands_->topLevelItem(0));
    QTest::mouseClick(Button("deleteCommandButton"), Qt::LeftButton);
    states.push_back(Script());
    QCOMPARE(editor_->history().size(), size_t{4});
    QCOMPARE(Button("commandsUndoButton")->toolTip(),
             QStringLiteral("Undo: Delete command (Ctrl+Z)"));

    for (size_t i = states.size() - 1; i > 0; --i) {
      QTest::keyClick(commands_, Qt::Key_Z, Qt::ControlModifier);
      QCOMPARE(Script(), states[i - 1]);
    }
    QCOMPARE(Texts(commands_), (QStringList{"echo,0,a", "echo,1,b"}));
    QCOMPARE(commands_->topLevelItem(0)->checkState(0), Qt::Unchecked);
    // After the reload only the current row is selected.
    QCOMPARE(commands_->selectedItems().size(), 1);
    QVERIFY(!Button("commandsUndoButton")->isEnabled());
    QTest::keyClick(commands_, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(Script(), states[1]);
    QTest::keyClick(commands_, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(Script(), states[2]);
    QTest::mouseClick(Button("commandsRedoButton"), Qt::LeftButton);
    QCOMPARE(Script(), states[3]);
    // A new change drops what could be redone.
    QTest::mouseClick(Button("commandsUndoButton"), Qt::LeftButton);
    QCOMPARE(Script(), states[2]);
    commands_->setCurrentItem(commands_->topLevelItem(2));
    QTest::mouseClick(Button("deleteCommandButton"), Qt::LeftButton);
    QVERIFY(!Button("commandsRedoButton")->isEnabled());
    QTest::keyClick(commands_, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(Script(), states[2]);
    QVERIFY(program_->dialogs.messages.isEmpty());

    // Hiding the editor forgets the steps.
    QTest::mouseClick(Button("commandsOkButton"), Qt::LeftButton);
    QCOMPARE(editor_->history().size(), size_t{0});
  }

  // Removed embedded files and folders come back byte for byte.
  void undoBringsBackRemovedEmbeddedData() {
    Open("[main]\r\nlevel=1\r\n[process]\r\necho,1,a\r\n");
    QVERIFY(QTest::qWaitForWindowActive(editor_));
    const std::string one = program_->home.Write("in/one.txt", std::string(20000, 'o'));
    const std::string two = program_->home.Write("in/two.bin", std::string("\0\x01\x02", 3));
    std::vector<std::string> states{Script()};
    program_->dialogs.text_answers.push_back(QStringLiteral("Data"));
    editor_->NewFolder();
    states.push_back(Script());
    program_->dialogs.files_answers.push_back(
        {QString::fromStdString(one), QString::fromStdString(two)});
    editor_->AddFiles();
    states.push_back(Script());
    SelectFiles({1});
    editor_->RemoveFiles();
    states.push_back(Script());
    files_->clearSelection();
    editor_->RemoveFiles();
    states.push_back(Script());
    QCOMPARE(folders_->topLevelItemCount(), 0);
    QCOMPARE(editor_->history().UndoLabel(), std::string("Remove folder"));

    QTabWidget* tabs = editor_->findChild<QTabWidget*>(QStringLiteral("editorTabs"));
    tabs->setCurrentIndex(1);
    for (size_t i = states.size() - 1; i > 0; --i) {
      QTest::keyClick(folders_, Qt::Key_Z, Qt::ControlModifier);
      QCOMPARE(Script(), states[i - 1]);
      if (i == 4) {
        QCOMPARE(Texts(folders_), QStringList{"Data"});
        QCOMPARE(Texts(files_), QStringList{"one.txt"});
      }
    }
    for (size_t i = 1; i < states.size(); ++i) {
      QTest::mouseClick(Button("filesRedoButton"), Qt::LeftButton);
      QCOMPARE(Script(), states[i]);
    }
    for (size_t i = 0; i < 3; ++i) editor_->Undo();
    QCOMPARE(Script(), states[1]);
    QCOMPARE(Texts(folders_), QStringList{"Data"});
    QVERIFY(program_->dialogs.messages.isEmpty());
  }

  // Removing files or a folder asks first, saying how many files and bytes go.
  void removingAsksWithTheCountAndBytes() {
    Open("[main]\nlevel=1\n");
    const std::string one = program_->home.Write("in/one.txt", std::string(3000, 'o'));
    const std::string two = program_->home.Write("in/two.txt", "two");
    program_->dialogs.files_answers.push_back(
        {QString::fromStdString(one), QString::fromStdString(two)});
    editor_->AddFiles();
    const std::vector<app::EmbeddedFileRow> rows =
        app::EmbeddedFileRows(IniModel::Load(ScriptPath()), "Folder");
    QCOMPARE(rows.size(), size_t{2});
    const QString both = QString::number(std::stoull(rows[0].size) + std::stoull(rows[1].size));
    const std::string added = Script();
    SelectFiles({0, 1});
    program_->dialogs.confirm_answers = {false};
    QTest::mouseClick(Button("removeFilesButton"), Qt::LeftButton);
    QCOMPARE(Script(), added);
    QCOMPARE(program_->dialogs.confirmations,
             QStringList{QStringLiteral("Pelvar|Remove 2 files, %1 bytes stored, from the folder "
                                        "\"Folder\"?\rThis can be undone until the editor is "
                                        "closed.|Remove")
                             .arg(both)});
    SelectFiles({1});
    program_->dialogs.confirm_answers = {true};
    QTest::mouseClick(Button("removeFilesButton"), Qt::LeftButton);
    QCOMPARE(Texts(files_), QStringList{"one.txt"});
    QVERIFY(program_->dialogs.confirmations.last().startsWith(
        QStringLiteral("Pelvar|Remove 1 file, %1 bytes stored, from").arg(rows[1].size.c_str())));
    files_->clearSelection();
    program_->dialogs.confirm_answers = {false};
    editor_->RemoveFiles();
    QCOMPARE(Texts(folders_), QStringList{"Folder"});
    QVERIFY(program_->dialogs.confirmations.last().startsWith(
        QStringLiteral("Pelvar|Remove the folder \"Folder\" with everything in it (1 file, %1 "
                       "bytes stored)?")
            .arg(rows[0].size.c_str())));
    QVERIFY(program_->dialogs.messages.isEmpty());
  }

  // Delete, Enter, F5, Escape and Tab in the editor.
  void keysOfTheEditor() {
    Open("[main]\nlevel=1\n[process]\necho,1,a\necho,1,b\necho,1,c\n");
    QVERIFY(QTest::qWaitForWindowActive(editor_));
    const std::string original = Script();
    // Delete removes the selected lines, in one step to undo.
    commands_->setFocus();
    commands_->setCurrentItem(commands_->topLevelItem(0));
    commands_->topLevelItem(2)->setSelected(true);
    QTest::keyClick(commands_, Qt::Key_Delete);
    QCOMPARE(Script(), std::string("[main]\nlevel=1\n[process]\necho,1,b\n"));
    QCOMPARE(editor_->history().UndoLabel(), std::string("Delete commands"));
    QTest::keyClick(commands_, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(Script(), original);
    // Enter edits the current line.
    commands_->setCurrentItem(commands_->topLevelItem(1));
    program_->dialogs.line_answers.push_back(QStringLiteral("echo,0,B"));
    QTest::keyClick(commands_, Qt::Key_Return);
    QCOMPARE(program_->dialogs.questions.last(), QStringLiteral("Edit command|New value|echo,1,b"));
    QCOMPARE(Texts(commands_), (QStringList{"echo,1,a", "echo,0,B", "echo,1,c"}));
    // F5 reads the script again.
    program_->home.Write("Scripts/a.script", "[process]\necho,1,outside\n");
    QTest::keyClick(commands_, Qt::Key_F5);
    QCOMPARE(Texts(commands_), QStringList{"echo,1,outside"});
    // Tab goes from the buttons to the list and on to the bottom row.
    Button("moveDownButton")->setFocus();
    QTest::keyClick(Button("moveDownButton"), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(commands_));
    QTest::keyClick(commands_, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Button("commandsUndoButton")));
    QTest::keyClick(Button("commandsUndoButton"), Qt::Key_Tab);  // "Redo" is disabled
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Button("commandsOkButton")));
    // Escape hides the editor as "Ok" does.
    QTest::keyClick(commands_, Qt::Key_Escape);
    QVERIFY(!editor_->isVisible());
    QVERIFY(main_->isEnabled());
    QVERIFY(program_->dialogs.messages.isEmpty());
  }

  // Lines move with the buttons and Ctrl+Up/Down; undo puts them back.
  void linesMoveUpAndDown() {
    Open("; head\r\n[process]\r\necho,1,a\r\n; between\r\necho,0,b\r\necho,1,c\r\n");
    QVERIFY(QTest::qWaitForWindowActive(editor_));
    const std::string original = Script();
    commands_->setFocus();
    commands_->setCurrentItem(commands_->topLevelItem(2));
    QTest::keyClick(commands_, Qt::Key_Up, Qt::ControlModifier);
    QCOMPARE(Texts(commands_), (QStringList{"echo,1,a", "echo,1,c", "echo,0,b"}));
    QCOMPARE(commands_->currentItem()->text(0), QStringLiteral("echo,1,c"));
    QCOMPARE(commands_->currentItem()->checkState(0), Qt::Checked);
    QTest::keyClick(commands_, Qt::Key_Up, Qt::ControlModifier);
    QCOMPARE(Script(), std::string("; head\r\n[process]\r\necho,1,c\r\n; between\r\necho,1,a\r\n"
                                   "echo,0,b\r\n"));
    // At the top it stays.
    QTest::keyClick(commands_, Qt::Key_Up, Qt::ControlModifier);
    QCOMPARE(editor_->history().size(), size_t{2});
    QTest::mouseClick(Button("moveDownButton"), Qt::LeftButton);
    QCOMPARE(Texts(commands_), (QStringList{"echo,1,a", "echo,1,c", "echo,0,b"}));
    commands_->setFocus();  // the click took it
    QTest::keyClick(commands_, Qt::Key_Down, Qt::ControlModifier);
    QCOMPARE(Texts(commands_), (QStringList{"echo,1,a", "echo,0,b", "echo,1,c"}));
    QCOMPARE(Script(), original);
    QTest::mouseClick(Button("moveUpButton"), Qt::LeftButton);
    for (int i = 0; i < 5; ++i) QTest::keyClick(editor_, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(Script(), original);
    QVERIFY(!editor_->history().CanUndo());
    QVERIFY(program_->dialogs.messages.isEmpty());
  }

  // Rows dropped in the list go where they were dropped, in one write. (The
  // drag itself is tried under a real X server: a drop event made here
  // reaches no view without a drag under way.)
  void droppedLinesMoveWhereTheyAreDropped() {
    Open("[process]\r\necho,1,a\r\necho,1,b\r\n; keep\r\necho,0,c\r\necho,1,d\r\n");
    const std::string original = Script();
    commands_->setCurrentItem(commands_->topLevelItem(2));
    editor_->DropCommands(0);
    QCOMPARE(Texts(commands_), (QStringList{"echo,0,c", "echo,1,a", "echo,1,b", "echo,1,d"}));
    QCOMPARE(
        Script(),
        std::string("[process]\r\necho,0,c\r\necho,1,a\r\n; keep\r\necho,1,b\r\necho,1,d\r\n"));
    QCOMPARE(commands_->currentItem()->text(0), QStringLiteral("echo,0,c"));
    QCOMPARE(editor_->history().UndoLabel(), std::string("Move command"));
    // Two rows to the end; dropped onto themselves nothing changes.
    commands_->setCurrentItem(commands_->topLevelItem(0));
    commands_->topLevelItem(1)->setSelected(true);
    editor_->DropCommands(1);
    QCOMPARE(editor_->history().size(), size_t{1});
    editor_->DropCommands(4);
    QCOMPARE(Texts(commands_), (QStringList{"echo,1,b", "echo,1,d", "echo,0,c", "echo,1,a"}));
    editor_->Undo();
    editor_->Undo();
    QCOMPARE(Script(), original);
  }

  // Every button of the editor has an Alt key of its own on its tab; the
  // shown texts stay as they were.
  void altKeysPressTheButtons() {
    Open("[process]\necho,1,a\n");
    QVERIFY(QTest::qWaitForWindowActive(editor_));
    QCOMPARE(Button("createCommandButton")->text().remove(QLatin1Char('&')),
             QStringLiteral("Create"));
    program_->dialogs.line_answers.push_back(QStringLiteral("echo,1,b"));
    // A key press clicks its button, which shows the press for a moment.
    QTest::keyClick(commands_, Qt::Key_C, Qt::AltModifier);
    QTRY_COMPARE(Texts(commands_), (QStringList{"echo,1,a", "echo,1,b"}));
    QTest::keyClick(commands_, Qt::Key_U, Qt::AltModifier);
    QTRY_COMPARE(Texts(commands_), QStringList{"echo,1,a"});
    for (const char* tab : {"commandsTab", "filesTab"}) {
      QSet<QChar> keys;
      const auto buttons =
          editor_->findChild<QWidget*>(QString::fromLatin1(tab))->findChildren<QPushButton*>();
      for (QPushButton* button : buttons) {
        const qsizetype amp = button->text().indexOf(QLatin1Char('&'));
        QVERIFY2(amp >= 0, qPrintable(button->objectName()));
        const QChar key = button->text().at(amp + 1).toLower();
        QVERIFY2(!keys.contains(key), qPrintable(button->objectName()));
        keys.insert(key);
      }
    }
  }

  // F2 on the folder tree renames the folder: its line, its index section
  // and its files' sections; the data stays and still extracts.
  void f2RenamesAFolder() {
    Open("[main]\r\nlevel=1\r\n");
    QVERIFY(QTest::qWaitForWindowActive(editor_));
    const std::string file = program_->home.Write("in/f.txt", std::string(2000, 'f'));
    for (const char* name : {"A", "B"}) {
      program_->dialogs.text_answers.push_back(QString::fromLatin1(name));
      editor_->NewFolder();
    }
    SelectFolder(0);
    program_->dialogs.files_answers.push_back({QString::fromStdString(file)});
    editor_->AddFiles();
    const std::string before = Script();
    editor_->findChild<QTabWidget*>(QStringLiteral("editorTabs"))->setCurrentIndex(1);
    SelectFolder(0);
    folders_->setFocus();
    program_->dialogs.text_answers.push_back(QStringLiteral("Tools"));
    QTest::keyClick(folders_, Qt::Key_F2);
    QCOMPARE(program_->dialogs.questions.last(),
             QStringLiteral("Rename folder|New name of the folder|A"));
    QCOMPARE(Texts(folders_), (QStringList{"Tools", "B"}));
    QCOMPARE(Texts(files_), QStringList{"f.txt"});
    std::string expected = before;
    for (const std::string from : {"\nA\r\n", "[A]", "[EncodedFile-A-f.txt]"}) {
      std::string to = from;
      to.replace(to.find('A'), 1, "Tools");
      expected.replace(expected.find(from), from.size(), to);
    }
    QCOMPARE(Script(), expected);
    QVERIFY(archive::ExtractEmbeddedFile(ScriptPath(), "Tools", "f.txt", program_->home.Path("out"))
                .value);
    QCOMPARE(program_->home.Read("out/f.txt"), std::string(2000, 'f'));
    // A taken name (in any letter case) changes nothing.
    program_->dialogs.text_answers.push_back(QStringLiteral("b"));
    QTest::keyClick(folders_, Qt::Key_F2);
    QCOMPARE(Script(), expected);
    QCOMPARE(program_->dialogs.kinds, std::vector<MessageKind>{MessageKind::kWarning});
    QTest::keyClick(folders_, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(Script(), before);
    QCOMPARE(Texts(folders_), (QStringList{"A", "B"}));
  }

  // Delete on the file list removes the files, on the folder tree the folder.
  void deleteKeyRemovesFilesAndFolders() {
    Open("[main]\nlevel=1\n");
    QVERIFY(QTest::qWaitForWindowActive(editor_));
    const std::string file = program_->home.Write("in/f.txt", "f");
    program_->dialogs.files_answers.push_back({QString::fromStdString(file)});
    editor_->AddFiles();
    editor_->findChild<QTabWidget*>(QStringLiteral("editorTabs"))->setCurrentIndex(1);
    SelectFiles({0});
    files_->setFocus();
    QTest::keyClick(files_, Qt::Key_Delete);
    QCOMPARE(files_->topLevelItemCount(), 0);
    QCOMPARE(Texts(folders_), QStringList{"Folder"});
    folders_->setFocus();
    QTest::keyClick(folders_, Qt::Key_Delete);
    QCOMPARE(folders_->topLevelItemCount(), 0);
    QCOMPARE(program_->dialogs.confirmations.size(), 2);
  }

  // A step is never written over a version another program wrote.
  void undoLeavesAScriptChangedOnDisk() {
    Open("[main]\nlevel=1\n[process]\necho,1,a\n");
    program_->dialogs.line_answers.push_back(QStringLiteral("echo,1,b"));
    editor_->CreateCommand();
    const std::string other = "[main]\nlevel=1\n[process]\necho,1,other\n";
    program_->home.Write("Scripts/a.script", other);
    editor_->Undo();
    QCOMPARE(Script(), other);
    QCOMPARE(Texts(commands_), QStringList{"echo,1,other"});
    QCOMPARE(program_->dialogs.kinds, std::vector<MessageKind>{MessageKind::kWarning});
    QVERIFY(!editor_->history().CanUndo());
  }

  void aScriptChangedOnDiskIsReloadedNotOverwritten() {
    Open("[main]\nlevel=1\n[process]\necho,1,a\n");
    program_->home.Write("Scripts/a.script", "[main]\nlevel=1\n[process]\necho,1,other\n");
    program_->dialogs.line_answers.push_back(QStringLiteral("echo,1,mine"));
    editor_->CreateCommand();
    QCOMPARE(Script(), std::string("[main]\nlevel=1\n[process]\necho,1,other\n"));
    QCOMPARE(Texts(commands_), QStringList{"echo,1,other"});
    QCOMPARE(program_->dialogs.kinds, std::vector<MessageKind>{MessageKind::kWarning});
    QVERIFY(program_->dialogs.messages.front().contains(QStringLiteral("changed by another")));
    // The reloaded list is the base of the next change.
    program_->dialogs.line_answers.push_back(QStringLiteral("echo,1,mine"));
    editor_->CreateCommand();
    QCOMPARE(Texts(commands_), (QStringList{"echo,1,other", "echo,1,mine"}));
  }

  void aReadOnlyScriptIsReportedAndLeftAsItWas() {
    Open("[main]\nlevel=1\n[process]\necho,1,a\n");
    QCOMPARE(::chmod(ScriptPath().c_str(), 0444), 0);
    program_->dialogs.line_answers.push_back(QStringLiteral("echo,1,b"));
    editor_->CreateCommand();
    QCOMPARE(Script(), std::string("[main]\nlevel=1\n[process]\necho,1,a\n"));
    QCOMPARE(program_->dialogs.kinds, std::vector<MessageKind>{MessageKind::kError});
    QVERIFY(
        program_->dialogs.messages.front().startsWith(QStringLiteral("Pelvar|Cannot create file")));
    QCOMPARE(Texts(commands_), QStringList{"echo,1,a"});
  }

  void eightBitLinesKeepTheirBytes() {
    Open("[main]\nlevel=1\n[process]\necho,1,caf\xe9\necho,1,x\n");
    QCOMPARE(commands_->topLevelItem(0)->text(0), QString::fromLatin1("echo,1,caf\xe9"));
    commands_->setCurrentItem(commands_->topLevelItem(1));
    editor_->DeleteCommand();
    QCOMPARE(Script(), std::string("[main]\nlevel=1\n[process]\necho,1,caf\xe9\n"));
    // Edited, the line stays in its 8-bit form.
    commands_->setCurrentItem(commands_->topLevelItem(0));
    program_->dialogs.line_answers.push_back(QString::fromLatin1("echo,0,caf\xe9!"));
    editor_->EditCommand();
    QCOMPARE(Script(), std::string("[main]\nlevel=1\n[process]\necho,0,caf\xe9!\n"));
  }

  void newFoldersAndTheirOrder() {
    Open("[main]\nlevel=1\n[process]\necho,1,a\n");
    QCOMPARE(folders_->topLevelItemCount(), 0);
    // Cancelled: nothing is made.
    QTest::mouseClick(Button("newFolderButton"), Qt::LeftButton);
    QCOMPARE(program_->dialogs.questions,
             QStringList{"Make a new folder..|Please choose a name|Folder"});
    QVERIFY(Script().find("EncodedFolders") == std::string::npos);
    for (const char* name : {"A", "B", "C", "b", ""}) {
      program_->dialogs.text_answers.push_back(QString::fromLatin1(name));
      editor_->NewFolder();
    }
    QCOMPARE(Texts(folders_), (QStringList{"A", "C", "B"}));
    QCOMPARE(folders_->currentItem()->text(0), QStringLiteral("B"));
    // The folder list is added at the end, in the script's line ends.
    QCOMPARE(Script(),
             std::string("[main]\nlevel=1\n[process]\necho,1,a\n[EncodedFolders]\nA\nC\nB\n"));
    program_->dialogs.text_answers.push_back(QStringLiteral("[x]"));
    editor_->NewFolder();
    QCOMPARE(Texts(folders_), (QStringList{"A", "C", "B"}));
    QCOMPARE(program_->dialogs.kinds, std::vector<MessageKind>{MessageKind::kWarning});
  }

  void clickingAnotherFolderShowsItsFiles() {
    Open("[main]\nlevel=1\n[process]\necho,1,a\n");
    const TempDir& home = program_->home;
    program_->dialogs.files_answers.push_back({QString::fromStdString(home.Write("in/one", "1"))});
    editor_->AddFiles();
    program_->dialogs.text_answers.push_back(QStringLiteral("Second"));
    QTest::mouseClick(Button("newFolderButton"), Qt::LeftButton);
    program_->dialogs.files_answers.push_back({QString::fromStdString(home.Write("in/two", "2"))});
    editor_->AddFiles();
    QCOMPARE(Texts(folders_), (QStringList{"Folder", "Second"}));
    QCOMPARE(Texts(files_), QStringList{"two"});
    editor_->findChild<QTabWidget*>(QStringLiteral("editorTabs"))->setCurrentIndex(1);
    QVERIFY(QTest::qWaitForWindowExposed(editor_));
    // A click as the user makes it, on the folder's row.
    for (const auto& [row, file] :
         {std::pair{0, "one"}, std::pair{1, "two"}, std::pair{0, "one"}}) {
      const QRect rect = folders_->visualItemRect(folders_->topLevelItem(row));
      QTest::mouseClick(folders_->viewport(), Qt::LeftButton, {}, rect.center());
      QCOMPARE(Texts(files_), QStringList{QString::fromLatin1(file)});
    }
  }

  void theFolderChooserTakesAFolderThatDoesNotExistYet() {
    const TempDir home;
    ui::QtDialogs dialogs;
    const QString base = QString::fromStdString(home.path());
    bool answered = false;
    QTimer::singleShot(0, [base, &answered] {
      auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (chooser == nullptr) return;
      chooser->setDirectory(base);
      auto* name = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      if (name == nullptr) return;
      name->setText(QStringLiteral("new/sub"));
      answered = true;
      // The dialog's button takes it as Enter in the name field does.
      auto* box = chooser->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
      QPushButton* choose = box != nullptr ? box->button(QDialogButtonBox::Open) : nullptr;
      if (choose == nullptr || !choose->isEnabled()) {
        answered = false;
        chooser->reject();
        return;
      }
      choose->click();
    });
    const std::optional<QString> chosen =
        dialogs.ChooseFolder(nullptr, QStringLiteral("Select a directory"));
    QVERIFY(answered);
    QVERIFY(chosen.has_value());
    QCOMPARE(*chosen, base + QStringLiteral("/new/sub"));
  }

  void addRemoveAndExtractThroughTheWindow() {
    Open("[main]\nlevel=1\n[process]\necho,1,a\n");
    const TempDir& home = program_->home;
    const std::string one = home.Write("in/one.txt", "first file\n");
    const std::string two = home.Write("in/two words.bin", std::string("\0\x01\x02", 3));
    // Cancelled: nothing.
    QTest::mouseClick(Button("addFilesButton"), Qt::LeftButton);
    QCOMPARE(program_->dialogs.chooser_titles,
             QStringList{"Select files to encode inside script.."});
    QVERIFY(Script().find("EncodedFolders") == std::string::npos);
    // Without folders, "Folder" is made and the files go there.
    program_->dialogs.files_answers.push_back(
        {QString::fromStdString(one), QString::fromStdString(two),
         QString::fromStdString(home.Path("in/missing.txt"))});
    QTest::mouseClick(Button("addFilesButton"), Qt::LeftButton);
    QCOMPARE(Texts(folders_), QStringList{"Folder"});
    QCOMPARE(Texts(files_), (QStringList{"one.txt", "two words.bin"}));
    const std::vector<app::EmbeddedFileRow> rows =
        app::EmbeddedFileRows(IniModel::Load(ScriptPath()), "Folder");
    QCOMPARE(files_->topLevelItem(0)->text(1), QString::fromStdString(rows[0].size));
    QCOMPARE(files_->topLevelItem(0)->text(2), QString::fromStdString(rows[0].encoded));
    QCOMPARE(program_->dialogs.kinds, std::vector<MessageKind>{MessageKind::kWarning});
    QVERIFY(program_->dialogs.messages.front().contains(QStringLiteral("missing.txt")));
    // Adding a name again replaces it.
    home.Write("in/one.txt", "first file, second version\n");
    program_->dialogs.files_answers.push_back({QString::fromStdString(one)});
    editor_->AddFiles();
    QCOMPARE(Texts(files_), (QStringList{"one.txt", "two words.bin"}));

    // Extract both, cancelled first.
    SelectFiles({0, 1});
    editor_->ExtractFiles();
    QVERIFY(!home.Exists("out"));
    program_->dialogs.folder_answers.push_back(QString::fromStdString(home.Path("out")));
    QTest::mouseClick(Button("extractFilesButton"), Qt::LeftButton);
    QCOMPARE(home.Read("out/one.txt"), std::string("first file, second version\n"));
    QCOMPARE(home.Read("out/two words.bin"), std::string("\0\x01\x02", 3));

    // Remove one file: the folder stays.
    SelectFiles({0});
    QTest::mouseClick(Button("removeFilesButton"), Qt::LeftButton);
    QCOMPARE(Texts(files_), QStringList{"two words.bin"});
    QCOMPARE(Texts(folders_), QStringList{"Folder"});
    QVERIFY(!IniSectionExists(ScriptPath(), "EncodedFile-Folder-one.txt"));
    // No file selected: the whole folder goes, an empty header stays.
    files_->clearSelection();
    QTest::mouseClick(Button("removeFilesButton"), Qt::LeftButton);
    QCOMPARE(folders_->topLevelItemCount(), 0);
    QCOMPARE(files_->topLevelItemCount(), 0);
    // Only the embedded-file sections changed: the script keeps its LF line
    // ends, and the empty line that came before the first added section.
    QCOMPARE(Script(), std::string("[main]\nlevel=1\n[process]\necho,1,a\n[EncodedFolders]\n\n"));
  }

  void manyFilesAreAddedInOneRewriteOfTheScript() {
    Open("[main]\nlevel=1\n");
    program_->dialogs.text_answers.push_back(QStringLiteral("Many"));
    editor_->NewFolder();
    QStringList chosen;
    for (int i = 0; i < 30; ++i) {
      chosen << QString::fromStdString(program_->home.Write(
          "in/f" + std::to_string(i) + ".txt", std::string(static_cast<size_t>(i) * 300, 'x')));
    }
    chosen << QString::fromStdString(program_->home.Path("in/missing.txt"));
    // Every write of the script ends in a rename onto it or a close after
    // writing it.
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(watch >= 0);
    QVERIFY(::inotify_add_watch(watch, program_->home.Path("Scripts").c_str(),
                                IN_MOVED_TO | IN_CLOSE_WRITE) >= 0);
    program_->dialogs.files_answers.push_back(chosen);
    QTest::mouseClick(Button("addFilesButton"), Qt::LeftButton);
    int writes = 0;
    alignas(inotify_event) char buffer[16384];
    for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->len > 0 && std::string(event->name) == "a.script") ++writes;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    ::close(watch);
    QCOMPARE(writes, 1);
    QCOMPARE(files_->topLevelItemCount(), 30);
    auto* bar = editor_->findChild<QProgressBar*>(QStringLiteral("busyBar"));
    QVERIFY(bar != nullptr);
    QCOMPARE(bar->maximum(), 32);
    QCOMPARE(bar->value(), 32);
    QCOMPARE(program_->dialogs.messages.size(), 1);
    QVERIFY(program_->dialogs.messages.front().contains(QStringLiteral("missing.txt")));
    QVERIFY(!program_->dialogs.messages.front().contains(QStringLiteral("f29.txt")));
    const std::string back = program_->home.Path("back");
    QVERIFY(archive::ExtractEmbeddedFile(ScriptPath(), "Many", "f29.txt", back).value);
    QCOMPARE(program_->home.Read("back/f29.txt"), std::string(29 * 300, 'x'));
  }

  void removingAFolderKeepsTheOthers() {
    Open("[main]\nlevel=1\n");
    const std::string file = program_->home.Write("in/f.txt", "f");
    for (const char* name : {"A", "B", "C", "D"}) {
      program_->dialogs.text_answers.push_back(QString::fromLatin1(name));
      editor_->NewFolder();
    }
    QCOMPARE(Texts(folders_), (QStringList{"A", "D", "C", "B"}));
    SelectFolder(2);
    program_->dialogs.files_answers.push_back({QString::fromStdString(file)});
    editor_->AddFiles();
    QCOMPARE(Texts(files_), QStringList{"f.txt"});
    files_->clearSelection();
    editor_->RemoveFiles();
    QCOMPARE(Texts(folders_), (QStringList{"A", "B", "D"}));
    QVERIFY(!IniSectionExists(ScriptPath(), "EncodedFile-C-f.txt"));
    QVERIFY(Script().find("[C]") == std::string::npos);
  }

  void aDamagedFileIsReportedAndTheScriptLeftAsItWas() {
    Open("[main]\nlevel=1\n");
    const std::string file = program_->home.Write("in/f.txt", std::string(5000, 'x'));
    program_->dialogs.files_answers.push_back({QString::fromStdString(file)});
    editor_->AddFiles();
    std::string text = Script();
    const size_t data = text.find("0=") + 10;
    text[data] = text[data] == 'A' ? 'B' : 'A';
    program_->home.Write("Scripts/a.script", text);
    editor_->close();
    QTest::mouseClick(main_->findChild<QPushButton*>(QStringLiteral("openButton")), Qt::LeftButton);
    editor_->findChild<QTabWidget*>(QStringLiteral("editorTabs"))->setCurrentIndex(1);
    SelectFiles({0});
    program_->dialogs.folder_answers.push_back(QString::fromStdString(program_->home.Path("out")));
    editor_->ExtractFiles();
    QCOMPARE(program_->dialogs.kinds, std::vector<MessageKind>{MessageKind::kError});
    QCOMPARE(program_->dialogs.messages.front(),
             QStringLiteral("Pelvar|The archive appears to be corrupted."));
    QCOMPARE(Script(), text);
    QVERIFY(!program_->home.Exists("out/f.txt"));
  }

  void runWaitsForTheProgramWhileTheWindowPaints() {
    Open("[main]\nlevel=1\n");
    const TempDir& home = program_->home;
    const std::string marker = home.Path("ran.txt");
    const std::string tool =
        home.Write("in/tool.sh", "#!/bin/sh\nsleep 0.5\necho \"$0\" > '" + marker + "'\n");
    program_->dialogs.files_answers.push_back({QString::fromStdString(tool)});
    editor_->AddFiles();
    SelectFiles({0});
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(50);
    editor_->RunFile();
    QVERIFY(ticks >= 3);
    // It ran from a private folder, which is gone again.
    const std::string ran = home.Read("ran.txt");
    QVERIFY(ran.find("tool.sh") != std::string::npos);
    QVERIFY(!QFileInfo::exists(QString::fromStdString(ran.substr(0, ran.size() - 1))));
    QVERIFY(program_->dialogs.messages.isEmpty());
  }

  void readsTheIndependentVectors() {
    Open("[main]\nlevel=1\n");
    const std::string copy = program_->home.Path("Scripts/a.script");
    WriteFileText(copy, ReadFileText(kVectors + "/sample.script"));
    editor_->close();
    QTest::mouseClick(main_->findChild<QPushButton*>(QStringLiteral("openButton")), Qt::LeftButton);
    QCOMPARE(Texts(folders_), (QStringList{"Docs", "Data"}));
    QCOMPARE(Texts(files_), QStringList{"readme.txt"});
    SelectFolder(1);
    QCOMPARE(Texts(files_), (QStringList{"empty.txt", "random.bin", "big.log"}));
    QCOMPARE(Texts(files_, 1), (QStringList{"62", "100071", "200327"}));
    QCOMPARE(Texts(files_, 2), (QStringList{"83", "133492", "267233"}));
    SelectFiles({0, 1, 2});
    program_->dialogs.folder_answers.push_back(QString::fromStdString(program_->home.Path("out")));
    editor_->ExtractFiles();
    for (const char* name : {"empty.txt", "random.bin", "big.log"}) {
      QCOMPARE(program_->home.Read(std::string("out/") + name),
               ReadFileText(kVectors + "/files/" + name));
    }
    QVERIFY(program_->dialogs.messages.isEmpty());
  }

  void writesWhatTheVectorsHold() {
    const std::string sample = kVectors + "/sample.script";
    // The same header and commands, then the folders and files made through
    // the window.
    const IniModel vector = IniModel::Load(sample);
    std::string head;
    for (const char* name : {"main", "process"}) {
      head += std::string("[") + name + "]\r\n";
      for (const std::string& line :
           vector.sections()[static_cast<size_t>(vector.FindSection(name))].lines) {
        head += line + "\r\n";
      }
    }
    Open(head);
    for (const char* name : {"Docs", "Data"}) {
      program_->dialogs.text_answers.push_back(QString::fromLatin1(name));
      editor_->NewFolder();
    }
    const QString files = QString::fromStdString(kVectors + "/files/");
    SelectFolder(0);
    program_->dialogs.files_answers.push_back({files + "readme.txt"});
    editor_->AddFiles();
    SelectFolder(1);
    program_->dialogs.files_answers.push_back(
        {files + "empty.txt", files + "random.bin", files + "big.log"});
    editor_->AddFiles();
    QCOMPARE(Texts(files_), (QStringList{"empty.txt", "random.bin", "big.log"}));
    const std::vector<std::string> written = Layout(ScriptPath());
    const std::vector<std::string> expected = Layout(sample);
    for (size_t i = 0; i < std::min(written.size(), expected.size()); ++i) {
      QCOMPARE(QString::fromStdString(written[i]), QString::fromStdString(expected[i]));
    }
    QCOMPARE(written.size(), expected.size());
    // And the vector tool reads every file back.
    for (const auto& [folder, name] :
         std::vector<std::pair<std::string, std::string>>{{"Docs", "readme.txt"},
                                                          {"Data", "empty.txt"},
                                                          {"Data", "random.bin"},
                                                          {"Data", "big.log"}}) {
      QVERIFY(archive::ExtractEmbeddedFile(ScriptPath(), folder, name, program_->home.Path("back"))
                  .value);
      QCOMPARE(program_->home.Read("back/" + name), ReadFileText(kVectors + "/files/" + name));
    }
  }
};

}  // namespace pelvar::testing

QTEST_MAIN(pelvar::testing::ScriptEditorTest)
#include "script_editor_test.moc"
