// Helpers of the wizard and dialog tests: answering message boxes as they open, a local server
// answering the database request, and driving the wizard's pages by object name.
#pragma once

#include <QString>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "app/CConfigWizard.h"
#include "config/CConf.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/ScriptedSyncServer.h"

class QComboBox;

// Answers every message box ("promptMessage") that opens while it lives with `button` and keeps
// its text.
class MessageBoxAnswerer {
 public:
  explicit MessageBoxAnswerer(const char* button = "okButton");
  std::vector<std::string> texts;
  const char* button;

 private:
  QTimer mTimer;
};

// A server database as the request's answer lists it.
struct OfferedDatabase {
  std::string uri;
  std::string ctType;
  std::vector<std::string> syncTypes;  // empty: no SyncCap
};

// The server's answer to the database request: header status `headerStatus` and, for 200, the
// device information with `databases`.
ScriptedReply DatabaseReply(const std::vector<OfferedDatabase>& databases, const std::string& headerStatus = "200");

// The three default databases, contacts read-only when `readOnlyContacts`.
std::vector<OfferedDatabase> DefaultDatabases(bool readOnlyContacts = false);

// A wizard over a test configuration with both applications present and the given folders.
class WizardDriver {
 public:
  explicit WizardDriver(CConf& conf, WizardServices services);
  CConfigWizard& Wizard() { return *mWizard; }

  template <class Widget>
  Widget* Find(const char* name) const {
    return mWizard->findChild<Widget*>(QString::fromLatin1(name));
  }
  void SetText(const char* edit, const std::string& text);
  // The connection page's fields: `url`, the login "user@example.org" and the password "secret".
  void FillConnection(const std::string& url);
  void Choose(const char* combo, const QString& text);
  void Click(const char* button);
  bool WaitForPage(int id);

 private:
  std::unique_ptr<CConfigWizard> mWizard;
};

// Two folders per data type, named "<Kind> A" and "<Kind> B".
std::vector<OutlookFolderInfo> TestFolders(CConf& conf, int dataType);
