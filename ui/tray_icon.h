// The program's icon in the desktop's notification area, with the menu
// "Run script", "Email author" and "Exit". While the icon is shown, minimizing
// the main window hides it to the icon; a double click on the icon shows or
// hides the window again. Without a notification area the window simply
// minimizes.
#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>

#include "ui/program_state.h"

class QAction;
class QMenu;
class QWidget;

namespace pelvar::ui {

class TrayIcon : public QObject {
  Q_OBJECT

 public:
  // `window`: the main window it hides, shows and closes.
  TrayIcon(ProgramState& state, QWidget& window);
  ~TrayIcon() override;

  // Shows the icon when the desktop has a notification area, or as soon as
  // one appears (looked for every kWatchIntervalMs), and takes the author's
  // address from the configuration ("Email author" hidden when it is empty).
  void Start();
  // Replaces the question "is there a notification area?" (tests).
  void SetAvailabilityCheck(std::function<bool()> available);
  bool watching() const { return watch_.isActive(); }

  static constexpr int kWatchIntervalMs = 2000;

  // The menu's items.
  void RunScript();
  void EmailAuthor();
  void Exit();
  // A double click on the icon.
  void ToggleWindow();

  QMenu& menu() { return *menu_; }
  bool shown() const;
  // The address "Email author" opens.
  static QString MailAddress(const QString& author);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnActivated(QSystemTrayIcon::ActivationReason reason);
  void ShowWhenAvailable();
  void BringToFront();

  ProgramState& state_;
  QWidget& window_;
  QMenu* menu_;
  QAction* mail_;
  QSystemTrayIcon* icon_;
  QString author_;
  QTimer watch_;
  std::function<bool()> available_;
};

}  // namespace pelvar::ui
