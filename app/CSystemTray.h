// The notification-area icon of the main window: hidden until the window is minimized with the
// tray option on, with its menu of Show, Sync, Configuration, About and Exit.
#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <memory>

class QAction;

// Owned by the main window; lives on the user-interface thread. Where the desktop has no
// notification area (Available() false) no icon is made and Show does nothing, so minimizing
// leaves the window where it is. The menu's entries are named "trayShow" (the default entry),
// "traySync", "trayConfiguration", "trayAbout" and "trayExit". A click (or double click) on the
// icon only brings the window back; a sync starts from the menu alone.
class CSystemTray : public QObject {
  Q_OBJECT

 public:
  CSystemTray(const QIcon& icon, QObject* parent = nullptr);
  ~CSystemTray() override;

  // Whether the desktop shows notification-area icons.
  static bool Available();

  // The tip (the window title) and the entries' texts in the current language.
  void SetTexts(const QString& tip, const std::string& productName);
  // Shows or removes the icon; false when there is no notification area.
  bool Show();
  void Hide();
  bool IsShown() const;
  QMenu& Menu() { return mMenu; }

  // What the icon does when the desktop reports an activation of `reason`.
  void Activate(QSystemTrayIcon::ActivationReason reason);

 signals:
  void aboutRequested();
  void syncRequested();
  void configurationRequested();
  void exitRequested();
  // "Show", or a click on the icon: the window comes back.
  void restoreRequested();

 private:
  QAction* AddEntry(const char* name, void (CSystemTray::*signal)());

  QIcon mIcon;
  QMenu mMenu;
  QAction* mShow;
  QAction* mSync;
  QAction* mConfiguration;
  QAction* mAbout;
  QAction* mExit;
  std::unique_ptr<QSystemTrayIcon> mIconInTray;
};
