// The settings window: the run options, the colour grid with the colours it
// writes and applies, the language profiles, and the tray icon's menu.
#include <sys/stat.h>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include "ui/colour_grid.h"
#include "ui/log_list_model.h"
#include "ui/log_window.h"
#include "ui/main_window.h"
#include "ui/paths_window.h"
#include "ui/script_editor_window.h"
#include "ui/settings_window.h"
#include "ui/tray_icon.h"
#include "ui/ui_test_support.h"
#include "ui/update_window.h"

namespace pelvar::testing {

namespace {

constexpr const char* kLanguages =
    "DefaultLanguage=default\n"
    "[AvailableLanguages]\ndefault=English\nDeutsch=German\nfrench=French\n"
    "[language-default]\nProgramTitle=Pelvar\nStart=Start\n"
    "[language-Deutsch]\nStart=Starten\nOpen=\xC3\x96"
    "ffnen\nLogWindow=Protokoll\n"
    "[language-french]\nStart=Lancer\n";

QColor Colour(const QWidget& widget, QPalette::ColorRole role) {
  return widget.palette().color(role);
}

}  // namespace

class SettingsWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TestProgram> program_;
  ui::MainWindow* main_ = nullptr;
  ui::SettingsWindow* settings_ = nullptr;
  ui::ColourGrid* grid_ = nullptr;

  // With `whole`, the configuration file is that text.
  void Start(const std::string& extra = "", const std::string& whole = "") {
    program_ = std::make_unique<TestProgram>(std::nullopt);
    program_->home.Write("pelvar.ini",
                         whole.empty() ? RunnableConfig(program_->home, extra) : whole);
    program_->home.Write("Scripts/a.script", "[main]\ntitle=A\n[process]\necho,1,x\n");
    main_ = &program_->windows->main_window();
    settings_ = &program_->windows->settings_window();
    grid_ = settings_->findChild<ui::ColourGrid*>(QStringLiteral("colourGrid"));
    program_->windows->ShowMain();
    QVERIFY(main_->configuration_loaded());
  }

  void OpenSettings() {
    main_->findChild<QPushButton*>(QStringLiteral("configurationButton"))->click();
    QVERIFY(settings_->isVisible());
  }

  std::string Config() const { return program_->home.Read("pelvar.ini"); }
  bool ConfigHas(const std::string& line) const {
    // A setting is written on its own line, in the file's line ends.
    const std::string config = Config();
    return config.find(line + "\r\n") != std::string::npos ||
           config.find(line + "\n") != std::string::npos;
  }
  QString ButtonText(const char* name) const {
    return main_->findChild<QPushButton*>(QLatin1String(name))->text();
  }

 private slots:
  void cleanup() { program_.reset(); }

  void windowIsFixedAndKeepsTheMainWindowOut() {
    Start();
    OpenSettings();
    QCOMPARE(settings_->size(), QSize(500, 500));
    QCOMPARE(settings_->windowTitle(), QStringLiteral("Configuration"));
    QCOMPARE(settings_->windowModality(), Qt::ApplicationModal);
    settings_->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
    QVERIFY(!settings_->isVisible());
  }

  void boxesAreTheRunOptions() {
    Start("log=1\nbeep=true\n");
    auto* log = settings_->findChild<QCheckBox*>(QStringLiteral("logFileBox"));
    auto* beep = settings_->findChild<QCheckBox*>(QStringLiteral("beepBox"));
    auto* message = settings_->findChild<QCheckBox*>(QStringLiteral("messageBox"));
    QCOMPARE(log->text(), QStringLiteral("Create log file (log.txt)"));
    QVERIFY(log->isChecked());
    QVERIFY(!beep->isChecked());  // only "1" counts
    QVERIFY(program_->windows->state().run_options.write_log_file);
    OpenSettings();
    log->click();
    message->click();
    QVERIFY(!program_->windows->state().run_options.write_log_file);
    QVERIFY(program_->windows->state().run_options.show_message);
    settings_->accept();
    main_->close();
    QVERIFY(ConfigHas("log=0"));
    QVERIFY(ConfigHas("beep=0"));
    QVERIFY(ConfigHas("buildmsg=1"));
  }

  void rightClickOnCellTwelveFirstPaintsBlueWithBlackText() {
    Start();
    OpenSettings();
    // The first showing selects no text colour: the text selection is off.
    QVERIFY(!grid_->text_enabled());
    QVERIFY(!ConfigHas("TextColor=DkGray"));
    QTest::mouseClick(grid_, Qt::RightButton, {}, grid_->CellRect(12).center());
    QVERIFY(ConfigHas("TextColor=Black"));
    QVERIFY(ConfigHas("BackColor=Blue"));
    QCOMPARE(Colour(*main_, QPalette::Window), QColor(0, 0, 255));
    QCOMPARE(Colour(*main_, QPalette::WindowText), QColor(0, 0, 0));
    QCOMPARE(Colour(*settings_, QPalette::Window), QColor(0, 0, 255));
    QCOMPARE(settings_->back_colour(), 0xFF0000u);
  }

  void leftClickEnablesTextAndShowingAgainKeepsIt() {
    Start();
    OpenSettings();
    QTest::mouseClick(grid_, Qt::LeftButton, {}, grid_->CellRect(2).center());
    QVERIFY(grid_->text_enabled());
    QVERIFY(ConfigHas("TextColor=Green"));
    QVERIFY(ConfigHas("BackColor=Black"));  // the background still at cell 0
    QCOMPARE(Colour(*main_, QPalette::WindowText), QColor(0, 128, 0));
    settings_->accept();
    // Showing the window again keeps the user's choice and writes nothing.
    const std::string before = Config();
    OpenSettings();
    QCOMPARE(grid_->text_cell(), 2);
    QCOMPARE(Config(), before);
    QVERIFY(!ConfigHas("TextColor=DkGray"));
    QCOMPARE(Colour(*main_, QPalette::WindowText), QColor(0, 128, 0));
  }

  void keyboardChoosesCellsAsTheMouseButtonsDo() {
    Start();
    OpenSettings();
    grid_->setFocus();
    // Right twice and down: cell 10; Space is the left button.
    QTest::keyClick(grid_, Qt::Key_Right);
    QTest::keyClick(grid_, Qt::Key_Right);
    QTest::keyClick(grid_, Qt::Key_Down);
    QTest::keyClick(grid_, Qt::Key_Down);  // already on the last row
    QCOMPARE(grid_->focus_cell(), 10);
    QTest::keyClick(grid_, Qt::Key_Space);
    QVERIFY(grid_->text_enabled());
    QCOMPARE(grid_->text_cell(), 10);
    QVERIFY(ConfigHas("TextColor=Lime"));
    // Shift+Enter is the right button: the background.
    QTest::keyClick(grid_, Qt::Key_Home);
    QTest::keyClick(grid_, Qt::Key_Right);
    QTest::keyClick(grid_, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(grid_->back_cell(), 1);
    QVERIFY(ConfigHas("BackColor=Maroon"));
    QTest::keyClick(grid_, Qt::Key_End);
    QCOMPARE(grid_->focus_cell(), 15);
  }

  void savedColoursApplyAtStartUp() {
    Start("BackColor=NAVY\n");
    QCOMPARE(Colour(*main_, QPalette::Window), QColor(0, 0, 128));
    QCOMPARE(Colour(*main_, QPalette::WindowText), QColor(0, 0, 0));  // missing: black
    QCOMPARE(Colour(*settings_, QPalette::Window), QColor(0, 0, 128));
    Start("BackColor=Orange\nTextColor=yellow\n");
    QCOMPARE(Colour(*main_, QPalette::Window), QColor(255, 255, 255));
    QCOMPARE(Colour(*main_, QPalette::WindowText), QColor(255, 255, 0));
    // The white header keeps dark text: the text colour goes where the
    // background colour goes.
    auto* title = main_->findChild<QLabel*>(QStringLiteral("headerTitle"));
    QCOMPARE(title->palette().color(QPalette::WindowText),
             main_->style()->standardPalette().color(QPalette::WindowText));
    QCOMPARE(main_->findChild<QWidget*>(QStringLiteral("headerPanel"))
                 ->palette()
                 .color(QPalette::Window),
             QColor(Qt::white));
  }

  void readOnlyConfigurationKeepsTheMainWindowsColours() {
    Start("BackColor=Teal\n");
    ::chmod(program_->home.Path("pelvar.ini").c_str(), 0444);
    OpenSettings();
    QTest::mouseClick(grid_, Qt::RightButton, {}, grid_->CellRect(9).center());
    QCOMPARE(program_->dialogs.messages.size(), 1);
    QVERIFY(program_->dialogs.messages[0].startsWith(QStringLiteral("Pelvar|Cannot create file")));
    QCOMPARE(Colour(*settings_, QPalette::Window), QColor(255, 0, 0));
    QCOMPARE(Colour(*main_, QPalette::Window), QColor(0, 128, 128));
    ::chmod(program_->home.Path("pelvar.ini").c_str(), 0644);
  }

  void profileInUseTranslatesAtStartUp() {
    Start(
        "DefaultLanguage=Deutsch\n[AvailableLanguages]\ndefault=\nDeutsch=\n"
        "[language-Deutsch]\nStart=Starten\nLogWindow=Protokoll\nOpen=\nDryRun=Probelauf\n"
        "Update=Aktualisieren\nStop=Halt\nLogColumnDetails=Grund\nSaveLog=Speichern\n"
        "SaveLogAs=Speichern unter...\nViewLogAfterSave=Danach zeigen\n"
        "SourceDir=Quellordner\nOk=Gut\nUpdates=Aktualisierungen\nInternet=Netz\n"
        "ServerAddress=Adresse\nOptionsPage=Optionen\nBeepAfter=Piepen\n"
        "EncodedFilesPage=Dateien\nAddFiles=Dazu..\n");
    QCOMPARE(ButtonText("startButton"), QStringLiteral("Starten"));
    QCOMPARE(ButtonText("openButton"), QStringLiteral("Open"));  // empty: default
    QCOMPARE(ButtonText("pathsButton"), QStringLiteral("Paths"));
    QCOMPARE(ButtonText("logWindowButton"), QStringLiteral("Protokoll"));
    auto& log = program_->windows->log_window();
    QCOMPARE(log.findChild<QLabel*>(QStringLiteral("logTitle"))->text(),
             QStringLiteral("Protokoll"));
    // Every caption of the main window and the log window has a key.
    QCOMPARE(ButtonText("dryRunButton"), QStringLiteral("Probelauf"));
    QCOMPARE(ButtonText("updateButton"), QStringLiteral("Aktualisieren"));
    QCOMPARE(ButtonText("stopButton"), QStringLiteral("Halt"));
    QCOMPARE(log.windowTitle(), QStringLiteral("Protokoll"));
    QCOMPARE(log.model().headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("Line"));
    QCOMPARE(log.model().headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("Grund"));
    QCOMPARE(log.findChild<QPushButton*>(QStringLiteral("saveLogButton"))->text(),
             QStringLiteral("Speichern"));
    QCOMPARE(log.findChild<QPushButton*>(QStringLiteral("saveLogAsButton"))->text(),
             QStringLiteral("Speichern unter..."));
    QCOMPARE(log.findChild<QCheckBox*>(QStringLiteral("viewAfterSaveBox"))->text(),
             QStringLiteral("Danach zeigen"));
    // The paths and web update windows too.
    auto& paths = program_->windows->paths_window();
    QCOMPARE(paths.windowTitle(), ButtonText("pathsButton"));
    QCOMPARE(paths.findChild<QGroupBox*>(QStringLiteral("sourceDirGroup"))->title(),
             QStringLiteral("Quellordner"));
    QCOMPARE(paths.findChild<QGroupBox*>(QStringLiteral("targetDirGroup"))->title(),
             QStringLiteral("Target directory (%TargetDir%)"));
    QCOMPARE(paths.findChild<QPushButton*>(QStringLiteral("okButton"))->text(),
             QStringLiteral("Gut"));
    auto& update = program_->windows->update_window();
    QCOMPARE(update.windowTitle(), QStringLiteral("Aktualisierungen"));
    QCOMPARE(update.findChild<QTableWidget*>(QStringLiteral("serverTable"))
                 ->horizontalHeaderItem(1)
                 ->text(),
             QStringLiteral("Adresse"));
    // The settings window and the script editor too.
    QCOMPARE(settings_->findChild<QTabWidget*>(QStringLiteral("settingsPages"))->tabText(0),
             QStringLiteral("Optionen"));
    QCOMPARE(settings_->findChild<QCheckBox*>(QStringLiteral("beepBox"))->text(),
             QStringLiteral("Piepen"));
    QCOMPARE(settings_->windowTitle(), ButtonText("configurationButton"));
    auto& editor = program_->windows->script_editor();
    QCOMPARE(editor.findChild<QTabWidget*>(QStringLiteral("editorTabs"))->tabText(1),
             QStringLiteral("Dateien"));
    // The editor's buttons keep their Alt keys where the caption has the letter.
    QCOMPARE(editor.findChild<QPushButton*>(QStringLiteral("addFilesButton"))->text(),
             QStringLiteral("D&azu.."));
    QCOMPARE(editor.findChild<QPushButton*>(QStringLiteral("removeFilesButton"))->text(),
             QStringLiteral("Re&move"));
    update.BuildTree();
    QCOMPARE(update.findChild<QTreeWidget*>(QStringLiteral("updateTree"))->topLevelItem(0)->text(0),
             QStringLiteral("Netz"));
    auto* languages = settings_->findChild<QComboBox*>(QStringLiteral("languageList"));
    QCOMPARE(languages->currentText(), QStringLiteral("Deutsch"));
    QCOMPARE(languages->maxVisibleItems(), 18);
  }

  void selectingAProfileWritesAndTranslates() {
    Start(kLanguages);
    OpenSettings();
    auto* languages = settings_->findChild<QComboBox*>(QStringLiteral("languageList"));
    QCOMPARE(languages->count(), 3);
    // The drop-down shows the display names of AvailableLanguages.
    QCOMPARE(languages->itemText(0), QStringLiteral("English"));
    QCOMPARE(languages->itemText(1), QStringLiteral("German"));
    QCOMPARE(languages->itemData(1).toString(), QStringLiteral("Deutsch"));
    QCOMPARE(ButtonText("startButton"), QStringLiteral("Start"));
    languages->setCurrentIndex(1);
    emit languages->activated(1);
    QVERIFY(ConfigHas("DefaultLanguage=Deutsch"));
    QCOMPARE(ButtonText("startButton"), QStringLiteral("Starten"));
    QCOMPARE(ButtonText("openButton"), QString::fromUtf8("\xC3\x96"
                                                         "ffnen"));
    // A read-only file: the error, and everything stays as it was.
    ::chmod(program_->home.Path("pelvar.ini").c_str(), 0444);
    languages->setCurrentIndex(2);
    emit languages->activated(2);
    QCOMPARE(program_->dialogs.messages.size(), 1);
    QCOMPARE(languages->currentIndex(), 1);
    QCOMPARE(ButtonText("startButton"), QStringLiteral("Starten"));
    ::chmod(program_->home.Path("pelvar.ini").c_str(), 0644);
  }

  void createFromEditedTextsAndRefuseListedNames() {
    Start(kLanguages);
    OpenSettings();
    auto* languages = settings_->findChild<QComboBox*>(QStringLiteral("languageList"));
    auto* texts = settings_->findChild<QTableWidget*>(QStringLiteral("languageTexts"));
    QCOMPARE(texts->horizontalHeaderItem(1)->text(), QStringLiteral("Text"));
    QVERIFY(!(texts->item(1, 0)->flags() & Qt::ItemIsEditable));
    texts->item(1, 1)->setText(QStringLiteral("Go"));  // Start, not saved
    auto* create = settings_->findChild<QToolButton*>(QStringLiteral("newLanguageButton"));
    QCOMPARE(create->toolTip(), QStringLiteral("Create a new language"));
    program_->dialogs.text_answers = {QStringLiteral("DEFAULT")};
    create->click();
    QCOMPARE(program_->dialogs.prompts, QStringList{"New language|Please type new language name"});
    QCOMPARE(program_->dialogs.messages,
             QStringList{"Pelvar|DEFAULT already exists..\rPlease choose a diferent name"});
    program_->dialogs.text_answers = {QString()};  // empty: nothing happens
    create->click();
    QCOMPARE(languages->count(), 3);
    program_->dialogs.text_answers = {QStringLiteral("Mine")};
    create->click();
    QCOMPARE(languages->count(), 4);
    QCOMPARE(languages->currentText(), QStringLiteral("User custom language"));
    QCOMPARE(languages->currentData().toString(), QStringLiteral("Mine"));
    QCOMPARE(texts->item(1, 1)->text(), QStringLiteral("Go"));
    QVERIFY(ConfigHas("Mine=User custom language"));
    QVERIFY(ConfigHas("DefaultLanguage=Mine"));
    QVERIFY(Config().ends_with("\n\n[language-Mine]\nProgramTitle=Pelvar\nStart=Go\n"));
    QVERIFY(ConfigHas("[language-default]\nProgramTitle=Pelvar\nStart=Start"));
    // No translation pass follows a creation.
    QCOMPARE(ButtonText("startButton"), QStringLiteral("Start"));
  }

  void saveChangesTheProfileAndDeleteSparesTheFirst() {
    Start(kLanguages);
    OpenSettings();
    auto* languages = settings_->findChild<QComboBox*>(QStringLiteral("languageList"));
    auto* texts = settings_->findChild<QTableWidget*>(QStringLiteral("languageTexts"));
    texts->item(1, 1)->setText(QStringLiteral("Run"));
    settings_->findChild<QToolButton*>(QStringLiteral("saveLanguageButton"))->click();
    // The profile's changed line changes where it stands.
    QVERIFY(
        Config().find("[language-default]\nProgramTitle=Pelvar\nStart=Run\n[language-Deutsch]") !=
        std::string::npos);
    // The saved texts apply at once.
    QCOMPARE(ButtonText("startButton"), QStringLiteral("Run"));
    auto* remove = settings_->findChild<QToolButton*>(QStringLiteral("deleteLanguageButton"));
    remove->click();  // the first profile stays
    QCOMPARE(languages->count(), 3);
    languages->setCurrentIndex(2);
    emit languages->activated(2);
    QCOMPARE(ButtonText("startButton"), QStringLiteral("Lancer"));
    // Asked first: cancelled, nothing goes.
    const std::string kept = Config();
    program_->dialogs.confirm_answers = {false, true};
    remove->click();
    QCOMPARE(languages->count(), 3);
    QCOMPARE(Config(), kept);
    QCOMPARE(program_->dialogs.confirmations.size(), 1);
    QVERIFY(program_->dialogs.confirmations.front().contains(QStringLiteral("cannot be undone")));
    remove->click();
    QCOMPARE(languages->count(), 2);
    QCOMPARE(languages->currentIndex(), 0);
    QVERIFY(ConfigHas("DefaultLanguage=default"));
    QVERIFY(Config().find("french") == std::string::npos);
    // The captions keep the deleted profile's texts until the next pass.
    QCOMPARE(ButtonText("startButton"), QStringLiteral("Lancer"));
  }

  // The shipped configuration file keeps its comments and layout: each page
  // changes only the lines of its own sections.
  void shippedConfigurationKeepsItsLayoutThroughEveryPage() {
    const std::string shipped = ReadFileText(PELVAR_SOURCE_DIR "/example/pelvar.ini");
    QVERIFY(shipped.find("; Update servers") != std::string::npos);
    Start("", shipped);
    OpenSettings();
    auto* texts = settings_->findChild<QTableWidget*>(QStringLiteral("languageTexts"));
    int start_row = -1;
    for (int row = 0; row < texts->rowCount(); ++row) {
      if (texts->item(row, 0)->text() == QStringLiteral("Start")) start_row = row;
    }
    QVERIFY(start_row >= 0);
    texts->item(start_row, 1)->setText(QStringLiteral("Run"));
    settings_->findChild<QToolButton*>(QStringLiteral("saveLanguageButton"))->click();
    std::string expected = shipped;
    expected.replace(expected.find("\nStart=Start\n"), 13, "\nStart=Run\n");
    QCOMPARE(Config(), expected);

    // The colours go below the last line of [main], before its blank line.
    QTest::mouseClick(grid_, Qt::RightButton, {}, grid_->CellRect(12).center());
    expected.replace(expected.find("AuthorEmail=\n"), 13,
                     "AuthorEmail=\nTextColor=Black\nBackColor=Blue\n");
    QCOMPARE(Config(), expected);

    // A new profile: its list line, and its section at the end after one
    // empty line; deleting it again leaves that empty line.
    program_->dialogs.text_answers = {QStringLiteral("Mine")};
    settings_->findChild<QToolButton*>(QStringLiteral("newLanguageButton"))->click();
    const std::string created = Config();
    QVERIFY(created.find("Deutsch=German\nMine=User custom language\n\n") != std::string::npos);
    QVERIFY(created.find("DefaultLanguage=Mine\n") != std::string::npos);
    QVERIFY(created.find("[updates]\n\n[language-Mine]\nProgramTitle=Pelvar\n") !=
            std::string::npos);
    settings_->findChild<QToolButton*>(QStringLiteral("deleteLanguageButton"))->click();
    expected.insert(expected.size(), "\n");
    QCOMPARE(Config(), expected);
  }

  void trayMenuRunsScriptsAndMailsTheAuthor() {
    Start("AuthorEmail=author@example.org\n");
    ui::TrayIcon& tray = program_->windows->tray_icon();
    QStringList items;
    for (QAction* action : tray.menu().actions()) items << action->text();
    QCOMPARE(items, (QStringList{"Run script", "Email author", "Exit"}));
    QVERIFY(tray.menu().defaultAction() == nullptr);
    tray.menu().findChild<QAction*>(QStringLiteral("trayEmailAuthor"))->trigger();
    QCOMPARE(program_->shell.opened_addresses,
             QStringList{"mailto:author@example.org?subject=Message from a pelvar user&body="});
    const QString script = QString::fromStdString(program_->home.Path("Scripts/a.script"));
    program_->dialogs.file_answers = {std::nullopt, script};
    tray.RunScript();  // cancelled
    tray.RunScript();
    QCOMPARE(program_->shell.started_scripts, QStringList{script});
    // Without an address the item is hidden.
    Start();
    QVERIFY(!program_->windows->tray_icon()
                 .menu()
                 .findChild<QAction*>(QStringLiteral("trayEmailAuthor"))
                 ->isVisible());
    program_->windows->tray_icon().Exit();
    QCOMPARE(program_->quit_requests, std::vector<int>{0});
  }

  void trayIconAppearsWhenTheNotificationAreaAppearsLater() {
    Start();
    ui::TrayIcon& tray = program_->windows->tray_icon();
    // The offscreen desktop has no notification area: no icon, but a watch.
    QVERIFY(!tray.shown());
    QVERIFY(tray.watching());
    bool available = false;
    tray.SetAvailabilityCheck([&available] { return available; });
    QTest::qWait(ui::TrayIcon::kWatchIntervalMs + 200);
    QVERIFY(!tray.shown());
    available = true;
    QTRY_VERIFY_WITH_TIMEOUT(tray.shown(), 3 * ui::TrayIcon::kWatchIntervalMs);
    QVERIFY(!tray.watching());
  }
};

}  // namespace pelvar::testing

QTEST_MAIN(pelvar::testing::SettingsWindowTest)
#include "settings_window_test.moc"
