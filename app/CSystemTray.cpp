// The notification-area icon and its menu.
#include "app/CSystemTray.h"

#include "app/QtText.h"

CSystemTray::CSystemTray(const QIcon& icon, QObject* parent) : QObject(parent), mIcon(icon) {
  setObjectName(QStringLiteral("_QuenorSync_"));
  mMenu.setObjectName(QStringLiteral("trayMenu"));
  mShow = AddEntry("trayShow", &CSystemTray::restoreRequested);
  mMenu.addSeparator();
  mSync = AddEntry("traySync", &CSystemTray::syncRequested);
  mConfiguration = AddEntry("trayConfiguration", &CSystemTray::configurationRequested);
  mAbout = AddEntry("trayAbout", &CSystemTray::aboutRequested);
  mMenu.addSeparator();
  mExit = AddEntry("trayExit", &CSystemTray::exitRequested);
  mMenu.setDefaultAction(mShow);
}

CSystemTray::~CSystemTray() = default;

bool CSystemTray::Available() { return QSystemTrayIcon::isSystemTrayAvailable(); }

QAction* CSystemTray::AddEntry(const char* name, void (CSystemTray::*signal)()) {
  QAction* action = mMenu.addAction(QString());
  action->setObjectName(QString::fromLatin1(name));
  connect(action, &QAction::triggered, this, signal);
  return action;
}

void CSystemTray::SetTexts(const QString& tip, const std::string& productName) {
  mShow->setText(TableText(IDS_TRAY_SHOW));
  mSync->setText(TableText(IDS_TRAY_SYNC));
  mConfiguration->setText(TableText(IDS_TRAY_CONFIGURATION));
  mAbout->setText(TableText(IDS_ABOUT_MENU, productName));
  mExit->setText(TableText(IDS_TRAY_EXIT));
  if (mIconInTray) mIconInTray->setToolTip(tip);
  mMenu.setTitle(tip);
}

bool CSystemTray::Show() {
  if (!Available()) return false;
  if (!mIconInTray) {
    mIconInTray = std::make_unique<QSystemTrayIcon>(mIcon);
    mIconInTray->setToolTip(mMenu.title());
    mIconInTray->setContextMenu(&mMenu);
    connect(mIconInTray.get(), &QSystemTrayIcon::activated, this, &CSystemTray::Activate);
  }
  mIconInTray->show();
  return true;
}

// A desktop reports a double click as a click followed by a double click: both only show the
// window, so neither starts a run the user did not ask for.
void CSystemTray::Activate(QSystemTrayIcon::ActivationReason reason) {
  if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) emit restoreRequested();
}

void CSystemTray::Hide() {
  if (mIconInTray) mIconInTray->hide();
}

bool CSystemTray::IsShown() const { return mIconInTray && mIconInTray->isVisible(); }
