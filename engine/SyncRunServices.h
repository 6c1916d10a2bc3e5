// The seams of a sync run: where its local store (stores/StoreFactory.h), its SyncML transport
// and the update come from.
#pragma once

#include <functional>
#include <memory>

#include "stores/StoreFactory.h"

class CConf;
class SyncTransport;

// Makes the transport of one SyncML session (the server check, and each link's session).
class SyncTransportFactory {
 public:
  virtual ~SyncTransportFactory() = default;
  // Called on the thread that runs the session; the session owns the result.
  virtual std::unique_ptr<SyncTransport> CreateTransport(CConf& conf) = 0;
};

// Called on the worker right before the steps of a link's end that must survive the process
// dying between them: "index" (saving the item index), "anchor" (writing the anchor), "journal"
// (removing the session journal). For fault tests, which stop the process there.
class SyncCheckpoints {
 public:
  virtual ~SyncCheckpoints() = default;
  virtual void Reached(const char* step) = 0;
};

// Starts the update the server asked for with status 513 (the check before a run returns false
// afterwards, so the program closes and the update can replace it).
class UpdateStarter {
 public:
  virtual ~UpdateStarter() = default;
  // Called on the thread of the check that met the status (never the window's: the download
  // takes a while). `abortRequested` is asked while the package downloads (at least once a
  // second); true stops it. Throws CUpdaterException when the update cannot start or was stopped.
  virtual void StartUpdate(CConf& conf, const std::function<bool()>& abortRequested) = 0;
};

class CDatabaseObject;
class CSyncLink;

// Told on the worker, once per link's run, right before the run first changes the local store
// (a server item written or deleted, items removed by a refresh, deletions refused). The store's
// current items are still those of the folder before the run: the moment to keep a copy of them.
// May throw; the link then fails before anything local changed.
class LocalWriteObserver {
 public:
  virtual ~LocalWriteObserver() = default;
  virtual void BeforeFirstLocalWrite(const CSyncLink& link, CDatabaseObject& store) = 0;
};
