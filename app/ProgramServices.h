// The program's own sync run services: the choice of its local store, and the update the server
// may ask for.
#pragma once

#include <string>

#include "engine/SyncRunServices.h"

// The folder the folder store works on when the environment variable LARK_FOLDER_STORE names one
// (developers, tests and headless runs without a desktop application); empty otherwise, and the
// run then gets the configured local application's store.
std::string FolderStoreFromEnvironment();

// The update of the running program: download the package, place and start the helper
// (Updater's three steps). The caller has asked the user already (string 333, unless silent)
// and closes the program afterwards, so that the helper's wait ends.
class ProgramUpdateStarter final : public UpdateStarter {
 public:
  void StartUpdate(CConf& conf, const std::function<bool()>& abortRequested) override;
};
