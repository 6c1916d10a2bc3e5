// The program's store choice and update starter.
#include "app/ProgramServices.h"

#include <cstdlib>

#include "common/CXException.h"
#include "common/Format.h"
#include "common/StringTable.h"
#include "config/CConf.h"
#include "stores/folder/FolderStore.h"

std::string FolderStoreFromEnvironment() {
  const char* folder = std::getenv(FolderStore::kEnvironmentVariable);
  return folder != nullptr ? std::string(folder) : std::string();
}

void ProgramUpdateStarter::StartUpdate(CConf& conf) {
  throw CUpdaterException(FormatText(LoadString(IDS_UPDATE_NOT_AVAILABLE), {conf.ProductName()}));
}
