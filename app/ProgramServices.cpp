// The program's store choice and update starter.
#include "app/ProgramServices.h"

#include <cstdlib>

#include "stores/folder/FolderStore.h"
#include "update/Updater.h"

std::string FolderStoreFromEnvironment() {
  const char* folder = std::getenv(FolderStore::kEnvironmentVariable);
  return folder != nullptr ? std::string(folder) : std::string();
}

void ProgramUpdateStarter::StartUpdate(CConf& conf) {
  Updater updater(conf);
  updater.DownloadUpdate();
  updater.CopyUpdater();
  updater.StartUpdater();
}
