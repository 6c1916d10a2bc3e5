// The seams of a sync run: where its local store, its SyncML transport and the update come from.
#pragma once

#include <memory>

class CConf;
class CDatabaseObject;
class SyncTransport;

// Makes the local store of a run, on the worker thread, once per run.
class SyncStoreFactory {
 public:
  virtual ~SyncStoreFactory() = default;
  // The store of the configured local application (`sync_with_outlook`). The run owns it and
  // destroys it on the worker before the run ends; `conf` outlives it. Throws a CXException
  // with a message for the user when that store cannot be made: the run then stops before any
  // link.
  virtual std::unique_ptr<CDatabaseObject> CreateStore(CConf& conf) = 0;
};

// Makes the transport of one SyncML session (the server check, and each link's session).
class SyncTransportFactory {
 public:
  virtual ~SyncTransportFactory() = default;
  // Called on the thread that runs the session; the session owns the result.
  virtual std::unique_ptr<SyncTransport> CreateTransport(const CConf& conf) = 0;
};

// Starts the update the server asked for with status 513 (the check before a run returns false
// afterwards, so the program closes and the update can replace it).
class UpdateStarter {
 public:
  virtual ~UpdateStarter() = default;
  // Called on the user-interface thread. Throws CUpdaterException when the update cannot start.
  virtual void StartUpdate(CConf& conf) = 0;
};
