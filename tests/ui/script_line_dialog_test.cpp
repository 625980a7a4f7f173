// The line editor: field meanings and findings as the user types, command
// name completion, and OK refused for text the script cannot hold.
#include <QCompleter>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringListModel>
#include <QTreeWidget>
#include <QtTest>

#include "ui/script_line_dialog.h"

namespace pelvar::testing {

class ScriptLineDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void showsWhatEachFieldMeansWhileTyping() {
    ui::ScriptLineDialog dialog;
    dialog.SetPrompt(QStringLiteral("Text:"));
    dialog.show();
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("lineEdit"));
    auto* fields = dialog.findChild<QTreeWidget*>(QStringLiteral("lineFields"));
    auto* findings = dialog.findChild<QLabel*>(QStringLiteral("lineFindings"));
    QTest::keyClicks(edit, QStringLiteral("filecopy,1,\"a b\""));
    QCOMPARE(fields->topLevelItemCount(), 4);
    QCOMPARE(fields->topLevelItem(2)->text(1), QStringLiteral("FROM"));
    QCOMPARE(fields->topLevelItem(2)->text(2), QStringLiteral("a b"));
    // The field still to come is listed, and its absence is a warning.
    QCOMPARE(fields->topLevelItem(3)->text(1), QStringLiteral("TO"));
    QCOMPARE(fields->topLevelItem(3)->text(2), QString());
    QVERIFY(findings->text().contains(QStringLiteral("List index out of bounds (3)")));
    QTest::keyClicks(edit, QStringLiteral(",c"));
    QCOMPARE(fields->topLevelItem(3)->text(2), QStringLiteral("c"));
    QVERIFY(findings->text().isEmpty());
    QCOMPARE(dialog.Line(), QStringLiteral("filecopy,1,\"a b\",c"));
  }

  void showsTheScriptsOwnChecksOfTheTypedLine() {
    ui::ScriptLineDialog dialog;
    QStringList asked;
    dialog.SetLineCheck([&asked](std::string_view line) {
      asked << QString::fromStdString(std::string(line));
      std::vector<app::Finding> out;
      if (line.find("%x%") != std::string_view::npos) {
        out.push_back({7, app::Severity::kWarning, "%x% is defined nowhere: it stays as written"});
      }
      // Said by the line's own findings already: not repeated.
      out.push_back({7, app::Severity::kError, "List index out of bounds (3)"});
      return out;
    });
    auto* findings = dialog.findChild<QLabel*>(QStringLiteral("lineFindings"));
    dialog.SetLine(QStringLiteral("filecopy,1,%x%"));
    QCOMPARE(asked.last(), QStringLiteral("filecopy,1,%x%"));
    QCOMPARE(findings->text().count(QStringLiteral("List index out of bounds (3)")), 1);
    QVERIFY(findings->text().contains(
        QStringLiteral("warning: %x% is defined nowhere: it stays as written")));
    dialog.SetLine(QStringLiteral("filecopy,1,a,b"));
    QVERIFY(!findings->text().contains(QStringLiteral("%x%")));
  }

  void completesTheCommandNames() {
    ui::ScriptLineDialog dialog;
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("lineEdit"));
    QCompleter* completer = edit->completer();
    QVERIFY(completer != nullptr);
    QCOMPARE(completer->model()->rowCount(), 38);
    completer->setCompletionPrefix(QStringLiteral("REGW"));
    QCOMPARE(completer->completionCount(), 6);
  }

  void refusesTextThatWouldStartASection() {
    ui::ScriptLineDialog dialog;
    auto* ok = dialog.findChild<QDialogButtonBox*>(QStringLiteral("lineButtons"))
                   ->button(QDialogButtonBox::Ok);
    dialog.SetLine(QStringLiteral("[main]"));
    QVERIFY(!ok->isEnabled());
    dialog.SetLine(QStringLiteral("echo,1,x]"));
    QVERIFY(ok->isEnabled());
    QVERIFY(dialog.findChild<QLabel*>(QStringLiteral("lineFindings"))
                ->text()
                .contains(QStringLiteral("ends the process section")));
  }
};

}  // namespace pelvar::testing

QTEST_MAIN(pelvar::testing::ScriptLineDialogTest)
#include "script_line_dialog_test.moc"
