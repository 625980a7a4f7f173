// The web update window "Updates": page "Update" with the tree of servers and
// the entries each offers, page "Servers" with the editable server table.
// "Update" on a server fetches its list of entries; on an entry it fetches the
// entry's script into the current script folder. While it is shown the main
// window takes no input.
#pragma once

#include <QDialog>
#include <QString>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/language_profiles.h"
#include "app/update_list.h"
#include "ui/program_state.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace pelvar::ui {

class UpdateWindow : public QDialog {
  Q_OBJECT

 public:
  // `script_folder` gives the folder of the scripts shown in the main window
  // (empty when none); `scripts_changed` is called after a script arrived.
  UpdateWindow(ProgramState& state, QWidget* parent, std::function<std::string()> script_folder,
               std::function<void()> scripts_changed);
  ~UpdateWindow() override;

  // Fills the tree from the configuration file (and the table, when the file
  // lists servers).
  void BuildTree();
  // The translated captions of the window, its pages and the tree's root.
  void ApplyCaptions(const app::Captions& captions);
  // "Save changes" of the Servers page.
  void SaveServers();
  // "Update": fetches what the selected node stands for.
  void UpdateSelected();
  // The Servers page's rows as they stand.
  std::vector<app::UpdateServer> TableServers() const;

  bool busy() const { return worker_.joinable(); }

 signals:
  // An update step has ended (its text is in the status line).
  void UpdateFinished(bool ok);

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  struct Node {
    int server = -1;  // index into servers_
    int entry = -1;   // index into the server's entries; -1 on a server node
  };
  using Job = std::function<app::UpdateOutcome(platform::Downloader&, const app::ProgressFn&,
                                               const std::function<bool()>&)>;

  QWidget* BuildUpdatePage();
  QWidget* BuildServersPage();
  void ShowComments();
  void SetTableServers(const std::vector<app::UpdateServer>& servers);
  void Start(const QString& address, Job job);
  void OnFinished(const app::UpdateOutcome& outcome);
  Node NodeOf(const QTreeWidgetItem* item) const;

  ProgramState& state_;
  std::function<std::string()> script_folder_;
  std::function<void()> scripts_changed_;
  QTabWidget* pages_ = nullptr;
  QString root_caption_ = QStringLiteral("Internet");
  QTreeWidget* tree_ = nullptr;
  QPlainTextEdit* comments_ = nullptr;
  QPushButton* update_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* status_ = nullptr;
  QTableWidget* table_ = nullptr;
  std::vector<app::UpdateServer> servers_;
  std::vector<std::vector<app::UpdateEntry>> entries_;
  std::thread worker_;
  // The server of the running update, and the one the next tree selects.
  std::string updated_server_;
  std::string keep_server_;
  std::atomic<bool> cancelled_{false};
};

}  // namespace pelvar::ui
