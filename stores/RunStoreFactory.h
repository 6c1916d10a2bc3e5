// The program's choice of a run's local store.
#pragma once

#include <string>

#include "stores/StoreFactory.h"

// The program's stores: the store of the configured local application, the Outlook store for
// `sync_with_outlook` 1, the vdir store over `vdir_path` for 2 and the Windows Contacts store for
// any other value; or, when a folder is given, the folder store over that folder (an explicit choice of the caller, never a fallback).
class RunStoreFactory final : public SyncStoreFactory {
 public:
  explicit RunStoreFactory(std::string folderStorePath = {});

  std::unique_ptr<CDatabaseObject> CreateStore(CConf& conf, Prompt& prompt) override;

 private:
  std::string mFolderStorePath;
};
