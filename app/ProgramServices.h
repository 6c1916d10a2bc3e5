// The program's own sync run services: the choice of its local store, and the update the server
// may ask for.
#pragma once

#include <string>

#include "engine/SyncRunServices.h"

// The folder the folder store works on when the environment variable LARK_FOLDER_STORE names one
// (developers, tests and headless runs without a desktop application); empty otherwise, and the
// run then gets the configured local application's store.
std::string FolderStoreFromEnvironment();

// The update this version cannot make: StartUpdate throws CUpdaterException with a text that
// says the server wants a newer version and that updating is not available here.
class ProgramUpdateStarter final : public UpdateStarter {
 public:
  void StartUpdate(CConf& conf) override;
};
