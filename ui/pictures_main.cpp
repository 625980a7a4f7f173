// Renders every window of the desktop program to PNG files, offscreen, for
// review: pelvar_pictures OUTPUT_FOLDER EXAMPLE_FOLDER. The windows work on a
// temporary copy of the example program folder.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <cstdio>

#include <QTabWidget>
#include <QTreeWidget>
#include "app/clock.h"
#include "app/embedded_folders.h"
#include "archive/embedded_files.h"
#include "ui/command_line_window.h"
#include "ui/desktop_windows.h"
#include "ui/dialogs.h"
#include "ui/log_window.h"
#include "ui/main_window.h"
#include "ui/paths_window.h"
#include "ui/script_editor_window.h"
#include "ui/script_line_dialog.h"
#include "ui/settings_window.h"
#include "ui/update_window.h"

namespace {

bool CopyTree(const QString& from, const QString& to) {
  QDir().mkpath(to);
  const QDir source(from);
  for (const QFileInfo& info :
       source.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
    const QString target = to + QLatin1Char('/') + info.fileName();
    if (info.isDir()) {
      if (!CopyTree(info.filePath(), target)) return false;
    } else if (!QFile::copy(info.filePath(), target)) {
      return false;
    }
  }
  return true;
}

bool Save(QWidget& window, const QString& folder, const char* name) {
  window.repaint();
  QApplication::processEvents();
  const QString path = folder + QLatin1Char('/') + QLatin1String(name);
  if (!window.grab().save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("Usage: pelvar_pictures OUTPUT_FOLDER EXAMPLE_FOLDER\n", stderr);
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const QString output = QString::fromLocal8Bit(argv[1]);
  const QString example = QString::fromLocal8Bit(argv[2]);
  QDir().mkpath(output);

  QTemporaryDir home;
  const QString root = home.path();
  if (!CopyTree(example + QStringLiteral("/Scripts"), root + QStringLiteral("/Scripts")) ||
      !CopyTree(example + QStringLiteral("/source"), root + QStringLiteral("/source"))) {
    std::fputs("cannot copy the example folder\n", stderr);
    return 1;
  }
  QDir().mkpath(root + QStringLiteral("/Other scripts"));
  QFile ini(root + QStringLiteral("/pelvar.ini"));
  ini.open(QIODevice::WriteOnly);
  ini.write(
      QStringLiteral("[main]\ntargetdir=%1/target\nsourcedir=%1/source\nisofile=%1/"
                     "BootablePE.ISO\nlog=0\nLastUsedFolder=Scripts\nDefaultLanguage=default\n"
                     "[AvailableLanguages]\ndefault=English\nDeutsch=German\n"
                     "[language-default]\nProgramTitle=Pelvar\nOpen=Open\nPaths=Paths\n"
                     "Configuration=Configuration\nLogWindow=Log window\nStart=Start\n"
                     "[updates]\nhome=https://example.org/pelvar/updates.ini\n"
                     "mirror=https://mirror.example.net/pelvar.ini\n"
                     "[update-home]\nFile tools=1.2,https://example.org/pelvar/tools.script,"
                     "Copies and checks the files of the source folder\n"
                     "Registry tweaks=0.9,https://example.org/pelvar/tweaks.script,"
                     "Small settings for the target system\n")
          .arg(root)
          .toUtf8());
  ini.close();
  // A long script keeps the batch going while its picture is taken.
  QFile long_script(root + QStringLiteral("/Scripts/reports/long.script"));
  long_script.open(QIODevice::WriteOnly);
  long_script.write("[main]\ntitle=A long run\nlevel=6\nselected=true\n[process]\n");
  for (int i = 0; i < 300000; ++i) long_script.write("echo,1,\"Line of a long run\"\n");
  long_script.close();

  pelvar::ui::SilentDialogs dialogs;
  pelvar::ui::SilentShell shell;
  const pelvar::app::SteadyClock clock;
  pelvar::app::ProgramLocation location{root.toStdString(), "pelvar",
                                        (root + QStringLiteral("/pelvar.ini")).toStdString(),
                                        root.toStdString()};
  pelvar::ui::DesktopWindows windows(location, dialogs, shell, clock);
  pelvar::ui::MainWindow& main = windows.main_window();
  main.show();
  auto* tree = main.findChild<QTreeView*>(QStringLiteral("scriptTree"));
  tree->setCurrentIndex(tree->model()->index(2, 0));
  bool ok = Save(main, output, "main-window.png");

  windows.paths_window().show();
  ok = Save(windows.paths_window(), output, "paths-window.png") && ok;
  windows.paths_window().hide();

  pelvar::ui::SettingsWindow& settings = windows.settings_window();
  settings.show();
  ok = Save(settings, output, "settings-window.png") && ok;
  settings.findChild<QTabWidget*>(QStringLiteral("settingsPages"))->setCurrentIndex(1);
  ok = Save(settings, output, "settings-window-language.png") && ok;
  settings.hide();

  pelvar::ui::UpdateWindow& update = windows.update_window();
  update.show();
  auto* update_tree = update.findChild<QTreeWidget*>(QStringLiteral("updateTree"));
  update_tree->setCurrentItem(update_tree->topLevelItem(0)->child(0)->child(0));
  ok = Save(update, output, "update-window.png") && ok;
  update.findChild<QTabWidget*>(QStringLiteral("updatePages"))->setCurrentIndex(1);
  ok = Save(update, output, "update-window-servers.png") && ok;
  update.hide();

  QSignalSpy finished(&main, &pelvar::ui::MainWindow::BatchFinished);
  main.StartBatch();
  const bool started = QTest::qWaitFor(
      [&] {
        return main.findChild<QLabel*>(QStringLiteral("progressTitle"))
            ->text()
            .startsWith(QStringLiteral("A long run"));
      },
      20000);
  if (!started) std::fputs("the batch did not reach the long script\n", stderr);
  QTest::qWait(100);
  ok = Save(main, output, "main-window-running.png") && ok;
  main.StopBatch();
  if (main.running()) finished.wait(60000);

  windows.log_window().show();
  ok = Save(windows.log_window(), output, "log-window.png") && ok;

  const QString script = root + QStringLiteral("/Scripts/variables.script");
  QSignalSpy run_finished(&windows.command_line_window(),
                          &pelvar::ui::CommandLineWindow::RunFinished);
  windows.command_line_window().Run(
      pelvar::app::ParseRunArguments({"pelvar", script.toStdString(), "/PressKey"}));
  run_finished.wait(20000);
  ok = Save(windows.command_line_window(), output, "command-line-window.png") && ok;
  windows.command_line_window().hide();

  // The script editor on the example script with two folders of files.
  const std::string edited = (root + QStringLiteral("/Scripts/example.script")).toStdString();
  const std::string source = (root + QStringLiteral("/source")).toStdString();
  pelvar::app::AddEncodedFolder(edited, "Setup");
  pelvar::app::AddEncodedFolder(edited, "Docs");
  (void)pelvar::archive::EmbedFile(source + "/setup/readme.txt", edited, "Setup");
  (void)pelvar::archive::EmbedFile(source + "/setup/setup.inf", edited, "Setup");
  (void)pelvar::archive::EmbedFile(source + "/Docs/guide.txt", edited, "Docs");
  pelvar::ui::ScriptEditorWindow& editor = windows.script_editor();
  editor.Open(edited);
  ok = Save(editor, output, "script-editor-commands.png") && ok;
  auto* tabs = editor.findChild<QTabWidget*>(QStringLiteral("editorTabs"));
  tabs->setCurrentIndex(1);
  ok = Save(editor, output, "script-editor-files.png") && ok;
  tabs->setCurrentIndex(2);
  ok = Save(editor, output, "script-editor-syntax.png") && ok;

  pelvar::ui::ScriptLineDialog line(&editor);
  line.setWindowTitle(QStringLiteral("Edit command"));
  line.SetPrompt(QStringLiteral("New value"));
  line.SetLine(QStringLiteral("txtaddline,1,\"%targetdir%\\readme.txt\",\"Prepared\",place,x"));
  line.show();
  ok = Save(line, output, "script-line-dialog.png") && ok;
  return ok ? 0 : 1;
}
