// The program's store choice and update starter.
#include "app/ProgramServices.h"

#include <cstdlib>

#include "stores/folder/FolderStore.h"
#include "update/Updater.h"

std::string FolderStoreFromEnvironment() {
  const char* folder = std::getenv(FolderStore::kEnvironmentVariable);
  return folder != nullptr ? std::string(folder) : std::string();
}

void ProgramUpdateStarter::StartUpdate(CConf& conf, const std::function<bool()>& abortRequested) {
  Updater updater(conf, UpdaterSettings::FromConf(conf));
  updater.DownloadUpdate(abortRequested);
  updater.CopyUpdater();
  updater.StartUpdater();
}
