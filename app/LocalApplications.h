// What the configuration wizard needs of the local applications: which ones are present, the
// Outlook folders a link can use, and the one link of the Windows Contacts mode.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/LinkValidation.h"

class CConf;
class CSyncLinkArray;

// The local applications the wizard can offer.
struct ApplicationAvailability {
  bool windowsContacts = false;  // the address book's setting names a library
  bool outlook = false;          // the object model reports itself installed

  // What this machine has now.
  static ApplicationAvailability Detect();
};

// The Outlook folders that can hold items of a data type (0 contacts, 1 events, 2 tasks), the
// default folder first. Called on the user-interface thread.
using OutlookFolderLister = std::function<std::vector<OutlookFolderInfo>(CConf& conf, int dataType)>;

// Lists the folders through the Outlook store (its EnumerateFolders); no folders when the
// application cannot be reached.
std::vector<OutlookFolderInfo> ListOutlookFolders(CConf& conf, int dataType);

// The local name and path of the Windows Contacts link (shown as the address book on Linux).
inline constexpr const char* kWindowsContactsName = "Address book";
inline constexpr const char* kWindowsContactsPath = "OutlookExpressContacts";

// Replaces every link by the one Windows Contacts link: `serverName` (empty for the default
// database), `mode`, contacts, local application 0. The settings of the configured link of the
// same database (state, date, read-only flag) are kept.
void ReplaceWithWindowsContactsLink(CSyncLinkArray& links, const std::string& serverName, int mode);
