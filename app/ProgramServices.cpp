// The program's store factory and update starter.
#include "app/ProgramServices.h"

#include <cstdlib>

#include "common/CXException.h"
#include "common/Format.h"
#include "common/StringTable.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "stores/folder/FolderStore.h"

std::unique_ptr<CDatabaseObject> ProgramStoreFactory::CreateStore(CConf& conf) {
  const char* folder = std::getenv(FolderStore::kEnvironmentVariable);
  if (folder != nullptr && *folder != '\0') {
    LogDebug("SyncThreadProc", std::string("Folder store: ") + folder);
    return std::make_unique<FolderStore>(conf, folder);
  }
  throw CMainException(FormatText(LoadString(IDS_LOCAL_STORE_NOT_AVAILABLE), {conf.ProductName()}));
}

void ProgramUpdateStarter::StartUpdate(CConf& conf) {
  throw CUpdaterException(FormatText(LoadString(IDS_UPDATE_NOT_AVAILABLE), {conf.ProductName()}));
}
