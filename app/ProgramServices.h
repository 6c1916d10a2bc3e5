// The program's own sync run services: its local store by the configured application, and the
// update the server may ask for.
#pragma once

#include <memory>

#include "engine/SyncRunServices.h"

// The store of a run: the folder store when the environment variable LARK_FOLDER_STORE names a
// folder (developers, tests and headless runs without a desktop application); otherwise the
// configured local application's store, which this version does not have yet: CreateStore then
// throws CMainException with a text that says so, and the run stops before any link.
class ProgramStoreFactory final : public SyncStoreFactory {
 public:
  std::unique_ptr<CDatabaseObject> CreateStore(CConf& conf) override;
};

// The update this version cannot make: StartUpdate throws CUpdaterException with a text that
// says the server wants a newer version and that updating is not available here.
class ProgramUpdateStarter final : public UpdateStarter {
 public:
  void StartUpdate(CConf& conf) override;
};
