// The notification-area icon of the main window: hidden until the window is minimized with the
// tray option on, with its menu of About, Sync, Configuration and Exit.
#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QString>
#include <memory>

class QAction;
class QSystemTrayIcon;

// Owned by the main window; lives on the user-interface thread. Where the desktop has no
// notification area (Available() false) no icon is made and Show does nothing, so minimizing
// leaves the window where it is. The menu's entries are named "trayAbout", "traySync" (the
// default entry, also run by a double click), "trayConfiguration" and "trayExit".
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

 signals:
  void aboutRequested();
  void syncRequested();
  void configurationRequested();
  void exitRequested();
  // A double click: the window comes back (and the default entry runs after it).
  void restoreRequested();

 private:
  QAction* AddEntry(const char* name, void (CSystemTray::*signal)());

  QIcon mIcon;
  QMenu mMenu;
  QAction* mAbout;
  QAction* mSync;
  QAction* mConfiguration;
  QAction* mExit;
  std::unique_ptr<QSystemTrayIcon> mIconInTray;
};
