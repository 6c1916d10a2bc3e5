// Presence of the local applications, their folders, and the Windows Contacts link.
#include "app/LocalApplications.h"

#include <exception>
#include <iostream>

#include "common/Prompt.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "engine/CSyncLink.h"
#include "platform/automation/OutlookDispIds.h"
#include "platform/outlookmodel/OutlookModel.h"
#include "platform/wab/WabSetting.h"
#include "stores/outlook/COutlook.h"
#include "stores/vdir/VdirCollections.h"

namespace {

int FolderKindOf(int dataType) {
  switch (dataType) {
    case DATA_TYPE_EVENTS:
      return olFolderCalendar;
    case DATA_TYPE_TASKS:
      return olFolderTasks;
    default:
      return olFolderContacts;
  }
}

}  // namespace

ApplicationAvailability ApplicationAvailability::Detect() {
  std::string libraryPath;
  return {ReadWabDllPath(libraryPath), outlookmodel::IsOutlookModelInstalled(), true};
}

std::vector<OutlookFolderInfo> ListOutlookFolders(CConf& conf, int dataType) {
  std::vector<OutlookFolderInfo> result;
  try {
    // The folder list never asks the user anything.
    HeadlessPrompt quiet(std::clog);
    COutlook outlook(conf, quiet, outlookmodel::MakeDefaultObjectFactory());
    std::vector<CSyncLink> folders;
    outlook.EnumerateFolders(FolderKindOf(dataType), folders);
    for (const CSyncLink& folder : folders) {
      result.push_back({folder.mLocalName, folder.mLocalEntryId, folder.mLocalStoreId, folder.mLocalPath});
    }
  } catch (const std::exception& error) {
    LogError("COutlook::EnumerateFolders", error.what());
  }
  return result;
}

void ReplaceWithWindowsContactsLink(CSyncLinkArray& links, const std::string& serverName, int mode) {
  CSyncLink link;
  for (const CSyncLink& existing : links) {
    if (existing.mDataType == DATA_TYPE_CONTACTS && existing.mServerName == serverName) {
      link = existing;
      break;
    }
  }
  link.mServerName = serverName;
  link.mMode = mode;
  link.mDataType = DATA_TYPE_CONTACTS;
  link.mClientApp = LOCAL_APP_WINDOWS_CONTACTS;
  link.mLocalPath = kWindowsContactsPath;
  link.mLocalName = kWindowsContactsName;
  link.mLocalEntryId.clear();
  link.mLocalStoreId.clear();
  links.Clear();
  links.Add(link);
}

std::vector<OutlookFolderInfo> ListVdirFolders(CConf& conf, int dataType) {
  std::vector<OutlookFolderInfo> folders;
  for (const VdirCollectionChoice& choice : ListVdirCollections(conf.VdirPath(), dataType, UserConfigHome())) {
    folders.push_back({choice.name, choice.path, "vdir", choice.path});
  }
  return folders;
}
