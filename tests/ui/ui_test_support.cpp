#include "ui/ui_test_support.h"

#include <QCoreApplication>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QThread>
#include <QTreeView>

#include "ui/log_list_model.h"

namespace pelvar::testing {

void RecordingDialogs::Message(QWidget*, MessageKind kind, const QString& caption,
                               const QString& text) {
  if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
    on_window_thread = false;
  }
  messages << caption + QLatin1Char('|') + text;
  kinds.push_back(kind);
}

namespace {

std::optional<QString> NextAnswer(std::deque<std::optional<QString>>& answers) {
  if (answers.empty()) return std::nullopt;
  const bool given = answers.front().has_value();
  const QString answer = given ? *answers.front() : QString();
  answers.pop_front();
  if (!given) return std::nullopt;
  return answer;
}

}  // namespace

std::optional<QString> RecordingDialogs::ChooseFolder(QWidget*, const QString& title) {
  chooser_titles << title;
  return NextAnswer(folder_answers);
}

bool RecordingDialogs::Confirm(QWidget*, const QString& caption, const QString& text,
                               const QString& action) {
  confirmations << caption + QLatin1Char('|') + text + QLatin1Char('|') + action;
  if (confirm_answers.empty()) return true;
  const bool answer = confirm_answers.front();
  confirm_answers.pop_front();
  return answer;
}

std::optional<QString> RecordingDialogs::AskText(QWidget*, const QString& title,
                                                 const QString& prompt, const QString& initial) {
  prompts << title + QLatin1Char('|') + prompt;
  questions << title + QLatin1Char('|') + prompt + QLatin1Char('|') + initial;
  return NextAnswer(text_answers);
}

std::optional<QString> RecordingDialogs::ChooseFile(QWidget*, const QString& title,
                                                    const QString&) {
  chooser_titles << title;
  return NextAnswer(file_answers);
}

std::optional<QString> RecordingDialogs::ChooseSaveFile(QWidget*, const QString& title,
                                                        const QString& name, const QString&) {
  save_questions << title + QLatin1Char('|') + name;
  return NextAnswer(save_answers);
}

QStringList RecordingDialogs::ChooseFiles(QWidget*, const QString& title, const QString&) {
  chooser_titles << title;
  if (files_answers.empty()) return {};
  QStringList files = files_answers.front();
  files_answers.pop_front();
  return files;
}

std::optional<QString> RecordingDialogs::EditScriptLine(QWidget*, const QString& caption,
                                                        const QString& prompt, const QString& line,
                                                        const ui::LineCheck& check) {
  questions << caption + QLatin1Char('|') + prompt + QLatin1Char('|') + line;
  std::optional<QString> answer = NextAnswer(line_answers);
  if (answer && check) {
    std::vector<std::string> texts;
    for (const app::Finding& f : check(answer->toStdString())) texts.push_back(app::FindingText(f));
    line_findings.push_back(std::move(texts));
  }
  return answer;
}

TestProgram::TestProgram(const std::optional<std::string>& config) {
  if (config) home.Write("pelvar.ini", *config);
  clock.readings = {std::chrono::milliseconds(0), std::chrono::milliseconds(2'003)};
  app::ProgramLocation location{home.path(), "pelvar", home.path() + "/pelvar.ini", home.path()};
  windows = std::make_unique<ui::DesktopWindows>(location, dialogs, shell, clock);
  QObject::connect(windows.get(), &ui::DesktopWindows::QuitRequested,
                   [this](int status) { quit_requests.push_back(status); });
}

QPoint CheckBoxCentre(QTreeView* tree, int row) {
  QStyleOptionViewItem option;
  option.initFrom(tree->viewport());
  option.rect = tree->visualRect(tree->model()->index(row, 0));
  option.features = QStyleOptionViewItem::HasCheckIndicator;
  return tree->style()
      ->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, tree)
      .center();
}

std::string RunnableConfig(const TempDir& home, const std::string& extra) {
  return "[main]\ntargetdir=" + home.Path("target") + "\nsourcedir=" + home.Path("source") +
         "\nisofile=" + home.Path("out.iso") + "\nLastUsedFolder=Scripts\n" + extra;
}

QStringList LogTexts(const ui::LogListModel& model) {
  QStringList out;
  for (const LogLine& line : model.lines()) {
    out << QString::number(KindNumber(line.kind)) + QLatin1Char('|') +
               QString::fromStdString(line.text);
  }
  return out;
}

}  // namespace pelvar::testing
