// The web update window: the server tree from the configuration, the server
// table saved back, and fetching lists and scripts from a loopback server.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

#include "support/loopback_http_server.h"
#include "ui/main_window.h"
#include "ui/ui_test_support.h"
#include "ui/update_window.h"

namespace pelvar::testing {

namespace {

HttpReply Body(int status, std::string body) {
  HttpReply reply;
  reply.status = status;
  reply.body = std::move(body);
  return reply;
}

QStringList Children(QTreeWidgetItem* item) {
  QStringList out;
  for (int i = 0; i < item->childCount(); ++i) out << item->child(i)->text(0);
  return out;
}

}  // namespace

class UpdateWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<LoopbackHttpServer> server_;
  std::unique_ptr<TestProgram> program_;
  ui::UpdateWindow* update_ = nullptr;
  QTreeWidget* tree_ = nullptr;

  // With `whole`, the configuration file is that text.
  void Start(const std::string& extra, const std::string& whole = "") {
    program_ = std::make_unique<TestProgram>(std::nullopt);
    program_->home.Write("pelvar.ini",
                         whole.empty() ? RunnableConfig(program_->home, extra) : whole);
    program_->home.Write("Scripts/a.script", "[main]\ntitle=A\n[process]\necho,1,x\n");
    program_->windows->ShowMain();
    update_ = &program_->windows->update_window();
    tree_ = update_->findChild<QTreeWidget*>(QStringLiteral("updateTree"));
    auto* button =
        program_->windows->main_window().findChild<QPushButton*>(QStringLiteral("updateButton"));
    QVERIFY(!button->isHidden());
    button->click();
    QVERIFY(update_->isVisible());
  }

  QTreeWidgetItem* Root() const { return tree_->topLevelItem(0); }
  QString Status() const {
    return update_->findChild<QLabel*>(QStringLiteral("updateStatus"))->text();
  }
  bool RunUpdate() {
    QSignalSpy finished(update_, &ui::UpdateWindow::UpdateFinished);
    update_->findChild<QPushButton*>(QStringLiteral("updateButton"))->click();
    if (finished.isEmpty() && !finished.wait(20000)) return false;
    return finished.first().first().toBool();
  }

 private slots:
  void init() {
    server_ = std::make_unique<LoopbackHttpServer>([this](const std::string& path) -> HttpReply {
      if (path == "/list.ini") {
        return Body(200, "[updates]\nTools=2.0," + server_->Url("/tools.script") +
                             ",Handy tools\nBroken=1.0," + server_->Url("/page.html") +
                             ",Not a script\n");
      }
      if (path == "/big.ini") return Body(200, "[updates]\n" + std::string(2 << 20, ';'));
      if (path == "/tools.script") {
        return Body(200, "[main]\ntitle=Fetched tools\n[process]\necho,1,x\n");
      }
      return Body(200, "<html></html>");
    });
  }
  void cleanup() {
    program_.reset();
    server_.reset();
  }

  void treeListsEveryServer() {
    Start(
        "[updates]\none=http://one/\nlost=http://lost/\ntwo=http://two/\nthree=http://three/\n"
        "[update-one]\nA=1,http://one/a.script,First\n[update-two]\nB=1,http://two/b.script,\n"
        "[update-three]\nC=3,http://three/c.script,Third\nD=4,http://three/d.script,x\n"
        "[update-lost]\n");
    QCOMPARE(Root()->text(0), QStringLiteral("Internet"));
    // A server without entries is listed too, so that its list can be
    // fetched.
    QCOMPARE(Children(Root()), (QStringList{"one", "lost", "two", "three"}));
    QCOMPARE(Children(Root()->child(1)), QStringList{});
    QCOMPARE(tree_->currentItem(), Root()->child(3));
    QCOMPARE(Children(Root()->child(3)), (QStringList{"C 3", "D 4"}));
    auto* comments = update_->findChild<QPlainTextEdit*>(QStringLiteral("commentsText"));
    QCOMPARE(comments->toPlainText(), QStringLiteral("http://three/"));
    tree_->setCurrentItem(Root()->child(3)->child(0));
    QCOMPARE(comments->toPlainText(), QStringLiteral("Third"));
    auto* table = update_->findChild<QTableWidget*>(QStringLiteral("serverTable"));
    QCOMPARE(table->rowCount(), 4);  // the server without entries is listed
    QCOMPARE(table->horizontalHeaderItem(1)->text(), QStringLiteral("Web adress"));
  }

  void savingTheTableChangesTheServers() {
    Start(
        "[updates]\none=http://one/\ntwo=http://two/\n"
        "[update-one]\nA=1,http://one/a.script,First\n[update-two]\nB=1,http://two/b.script,\n");
    auto* table = update_->findChild<QTableWidget*>(QStringLiteral("serverTable"));
    table->removeRow(0);
    update_->findChild<QPushButton*>(QStringLiteral("saveServersButton"))->click();
    QCOMPARE(Children(Root()), QStringList{"two"});
    const std::string config = program_->home.Read("pelvar.ini");
    QVERIFY(config.find("[updates]\ntwo=http://two/\n[update-one]") != std::string::npos);
    QVERIFY(config.find("one=http://one/") == std::string::npos);
  }

  // Saving the servers of the shipped configuration changes only the lines
  // of its [updates] section; comments and blank lines stay.
  void savingTheServersKeepsTheShippedLayout() {
    const std::string shipped = ReadFileText(PELVAR_SOURCE_DIR "/example/pelvar.ini");
    QVERIFY(shipped.ends_with("[updates]\n"));
    Start("", shipped + "one=http://one/\ntwo=http://two/\n");
    auto* table = update_->findChild<QTableWidget*>(QStringLiteral("serverTable"));
    table->removeRow(0);
    update_->findChild<QPushButton*>(QStringLiteral("saveServersButton"))->click();
    QCOMPARE(program_->home.Read("pelvar.ini"), shipped + "two=http://two/\n");
  }

  void serverListAndScriptComeFromTheServer() {
    Start("[updates]\nhome=" + server_->Url("/list.ini") + "\n[update-home]\nOld=1,x,gone\n");
    QCOMPARE(tree_->currentItem()->text(0), QStringLiteral("home"));
    QVERIFY(RunUpdate());
    QCOMPARE(Children(Root()->child(0)), (QStringList{"Tools 2.0", "Broken 1.0"}));
    QVERIFY(program_->home.Read("pelvar.ini").find("Tools=2.0,") != std::string::npos);

    tree_->setCurrentItem(Root()->child(0)->child(0));
    QVERIFY(RunUpdate());
    QCOMPARE(program_->home.Read("Scripts/tools.script"),
             std::string("[main]\ntitle=Fetched tools\n[process]\necho,1,x\n"));
    // The catalogue lists the new script.
    auto* scripts =
        program_->windows->main_window().findChild<QTreeView*>(QStringLiteral("scriptTree"));
    QCOMPARE(scripts->model()->rowCount(), 2);

    tree_->setCurrentItem(Root()->child(0)->child(1));
    QVERIFY(!RunUpdate());
    QVERIFY(Status().contains(QStringLiteral("is not a script")));
    QVERIFY(!program_->home.Exists("Scripts/page.html"));
  }

  void aServerAddedInTheTableIsFetchedAndStaysSelected() {
    Start("[updates]\nfirst=http://first/\n[update-first]\nA=1,http://first/a.script,x\n");
    auto* table = update_->findChild<QTableWidget*>(QStringLiteral("serverTable"));
    const int row = table->rowCount();
    table->insertRow(row);
    table->setItem(row, 0, new QTableWidgetItem(QStringLiteral("added")));
    table->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(server_->Url("/list.ini"))));
    table->setRowCount(row + 2);
    table->setItem(row + 1, 0, new QTableWidgetItem(QStringLiteral("last")));
    table->setItem(row + 1, 1, new QTableWidgetItem(QStringLiteral("http://last/")));
    update_->findChild<QPushButton*>(QStringLiteral("saveServersButton"))->click();
    QCOMPARE(Children(Root()), (QStringList{"first", "added", "last"}));
    tree_->setCurrentItem(Root()->child(1));
    QVERIFY(RunUpdate());
    QCOMPARE(Children(Root()->child(1)), (QStringList{"Tools 2.0", "Broken 1.0"}));
    // The selection stays on the server that was updated, not the last one.
    QCOMPARE(tree_->currentItem(), Root()->child(1));
  }

  void aListLargerThanOneMebibyteIsRefused() {
    Start("[updates]\nbig=" + server_->Url("/big.ini") + "\n");
    QCOMPARE(tree_->currentItem()->text(0), QStringLiteral("big"));
    const std::string before = program_->home.Read("pelvar.ini");
    QVERIFY(!RunUpdate());
    QCOMPARE(Status(), QStringLiteral("The list of \"big\" is larger than 1 MiB: it was refused."));
    QCOMPARE(program_->home.Read("pelvar.ini"), before);
  }

  void offlineFetchesNothing() {
    Start("[updates]\nhome=" + server_->Url("/list.ini") + "\n[update-home]\nT=1," +
          server_->Url("/tools.script") + ",x\n");
    program_->shell.online = false;
    tree_->setCurrentItem(Root()->child(0)->child(0));
    QVERIFY(!RunUpdate());
    QCOMPARE(Status(), QStringLiteral("Not online: nothing was downloaded."));
    QVERIFY(!program_->home.Exists("Scripts/tools.script"));
    QCOMPARE(server_->requests(), 0);
  }
};

}  // namespace pelvar::testing

QTEST_MAIN(pelvar::testing::UpdateWindowTest)
#include "update_window_test.moc"
