// The program's store choice and update starter.
#include "app/ProgramServices.h"

#include <cstdlib>
#include <utility>

#include "stores/folder/FolderStore.h"
#include "update/Updater.h"

std::string FolderStoreFromEnvironment() {
  const char* folder = std::getenv(FolderStore::kEnvironmentVariable);
  return folder != nullptr ? std::string(folder) : std::string();
}

void ProgramUpdateStarter::StartUpdate(CConf& conf, const std::function<bool()>& abortRequested) {
  UpdaterSettings settings = UpdaterSettings::FromConf(conf);
  settings.transport.abortRequested = abortRequested;
  Updater updater(conf, std::move(settings));
  updater.DownloadUpdate();
  updater.CopyUpdater();
  updater.StartUpdater();
}
