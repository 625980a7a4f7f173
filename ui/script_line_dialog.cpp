#include "ui/script_line_dialog.h"

#include <QCompleter>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/script_line_help.h"
#include "ui/dialogs.h"

namespace pelvar::ui {

namespace {

// True when a finding shown already tells of the same thing: it holds the
// message, or the value the message begins with ("\"ten\" is not ...").
bool SaidAlready(const std::vector<std::string>& shown, const std::string& message) {
  std::string value;
  if (!message.empty() && (message[0] == '"' || message[0] == '\'')) {
    const size_t end = message.find(message[0], 1);
    if (end != std::string::npos) value = message.substr(0, end + 1);
  }
  return std::any_of(shown.begin(), shown.end(), [&](const std::string& text) {
    return text.find(message) != std::string::npos ||
           (value.size() > 2 && text.find(value) != std::string::npos);
  });
}

}  // namespace

ScriptLineDialog::ScriptLineDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("scriptLineDialog"));
  setMinimumWidth(560);
  prompt_ = new QLabel(this);
  prompt_->setObjectName(QStringLiteral("linePrompt"));
  edit_ = new QLineEdit(this);
  edit_->setObjectName(QStringLiteral("lineEdit"));
  QStringList names;
  for (const app::CommandSyntax& syntax : app::CommandSyntaxTable()) {
    names << ToQt(syntax.name);
  }
  auto* completer = new QCompleter(names, edit_);
  completer->setCaseSensitivity(Qt::CaseInsensitive);
  completer->setObjectName(QStringLiteral("commandCompleter"));
  edit_->setCompleter(completer);
  prompt_->setBuddy(edit_);

  fields_ = new QTreeWidget(this);
  fields_->setObjectName(QStringLiteral("lineFields"));
  fields_->setColumnCount(3);
  fields_->setHeaderLabels(
      {QStringLiteral("Field"), QStringLiteral("Meaning"), QStringLiteral("Value")});
  fields_->setRootIsDecorated(false);
  fields_->setUniformRowHeights(true);
  fields_->setSelectionMode(QAbstractItemView::NoSelection);
  fields_->setFocusPolicy(Qt::NoFocus);
  fields_->header()->setStretchLastSection(true);
  fields_->setColumnWidth(0, 48);
  fields_->setColumnWidth(1, 260);

  findings_ = new QLabel(this);
  findings_->setObjectName(QStringLiteral("lineFindings"));
  findings_->setWordWrap(true);
  findings_->setTextFormat(Qt::RichText);
  findings_->setMinimumHeight(findings_->fontMetrics().lineSpacing() * 3);
  findings_->setAlignment(Qt::AlignTop | Qt::AlignLeft);

  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons_->setObjectName(QStringLiteral("lineButtons"));
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(edit_, &QLineEdit::textChanged, this, &ScriptLineDialog::Update);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(prompt_);
  layout->addWidget(edit_);
  layout->addWidget(fields_, 1);
  layout->addWidget(findings_);
  layout->addWidget(buttons_);
  resize(640, 360);
  Update();
}

void ScriptLineDialog::SetPrompt(const QString& prompt) {
  prompt_->setText(prompt);
}

void ScriptLineDialog::SetLineCheck(LineCheck check) {
  check_ = std::move(check);
  Update();
}

void ScriptLineDialog::SetLine(const QString& line) {
  edit_->setText(line);
  Update();
}

QString ScriptLineDialog::Line() const {
  return edit_->text();
}

void ScriptLineDialog::Update() {
  const app::LineReading reading = app::ReadScriptLine(FromQt(edit_->text()));
  fields_->clear();
  for (size_t i = 0; i < reading.fields.size(); ++i) {
    auto* item = new QTreeWidgetItem(fields_);
    item->setText(0, QString::number(i));
    item->setText(1, ToQt(reading.fields[i].meaning));
    item->setText(2, ToQt(reading.fields[i].value));
  }
  if (reading.command != nullptr) {
    // The arguments still to come, so the user sees what is missing.
    const auto& arguments = reading.command->arguments;
    for (size_t i = reading.fields.size(); i < 2 + arguments.size(); ++i) {
      if (i < 2) continue;
      const bool optional = i - 2 >= reading.command->required;
      auto* item = new QTreeWidgetItem(fields_);
      item->setText(0, QString::number(i));
      item->setText(1, ToQt(arguments[i - 2]) +
                           (optional ? QStringLiteral(" (may be left out)") : QString()));
      item->setForeground(1, palette().brush(QPalette::Disabled, QPalette::Text));
    }
  }
  QStringList lines;
  const auto warn = [](const std::string& text) {
    return QStringLiteral("<span style=\"color:#b00020\">&#9888; %1</span>")
        .arg(ToQt(text).toHtmlEscaped());
  };
  const std::string typed = FromQt(edit_->text());
  std::vector<std::string> shown;
  for (const app::LineFinding& finding : app::LineFindings(typed)) {
    shown.push_back(finding.text);
    lines << (finding.level == app::FindingLevel::kWarning
                  ? warn(finding.text)
                  : QStringLiteral("<span>&#8505; %1</span>")
                        .arg(ToQt(finding.text).toHtmlEscaped()));
  }
  if (check_) {
    // What the script's check finds besides, said once.
    for (const app::Finding& finding : check_(typed)) {
      if (SaidAlready(shown, finding.message)) continue;
      shown.push_back(finding.message);
      lines << warn(app::FindingText(finding));
    }
  }
  findings_->setText(lines.join(QStringLiteral("<br>")));
  buttons_->button(QDialogButtonBox::Ok)->setEnabled(reading.storable);
}

}  // namespace pelvar::ui
