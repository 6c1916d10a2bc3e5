// The local SyncML servers that end-to-end tests run against, behind one interface: SyncEvolution
// (scripts/syncml-server) and Virtuoso (scripts/virtuoso-server), each in a private folder on a
// free loopback port, and the stateful scripted server of this project (in the test process).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

enum class PeerKind { SyncEvolution, Virtuoso, Scripted };

class StatefulSyncServer;

// "SyncEvolution", "Virtuoso" or "Scripted".
const char* PeerName(PeerKind kind);
// The name of a test instantiated for a server: its PeerName.
template <typename ParamInfo>
std::string PeerTestName(const ParamInfo& param) {
  return PeerName(param.param);
}

// The login a client must sync with.
struct PeerLogin {
  std::string user;
  std::string password;
};

// One server, owned by the test that made it; it runs from Start to Stop or destruction. Not
// thread-safe; the server runs one session at a time. A method that runs a server's script throws
// std::runtime_error with the script's output when the script fails.
class SyncPeer {
 public:
  // Empty when `kind`'s programs are installed, else what is missing (tests skip then).
  static std::string MissingPrograms(PeerKind kind);
  // A server of `kind`, not started yet.
  static std::unique_ptr<SyncPeer> Make(PeerKind kind);

  virtual ~SyncPeer() = default;
  SyncPeer(const SyncPeer&) = delete;
  SyncPeer& operator=(const SyncPeer&) = delete;

  PeerKind Kind() const { return mKind; }
  // Starts the server; the first start sets it up with the datastores "contacts", "events" and
  // "tasks". A restart keeps the port, the datastores and their items.
  virtual void Start() = 0;
  // Stops every process of the server (those it started itself included).
  virtual void Stop() = 0;
  virtual bool Running() const = 0;
  // The address a client is configured with (its SyncHdr Target).
  virtual std::string Url() const = 0;

  // Lets a client whose SyncHdr Source is `deviceId` synchronize; the login it must use.
  virtual PeerLogin AddPeer(const std::string& deviceId) = 0;
  // Lets any client synchronize with the login returned, whatever its device (a new one is
  // registered at its first message), as a server with user accounts does. std::logic_error
  // for a server that cannot.
  virtual PeerLogin AcceptAnyDevice();
  // Removes every item of every datastore.
  virtual void Clear() = 0;
  // A change made on the server's side: item `name` of `datastore` now holds `text` (added when new),
  // and the next session sends it to the clients.
  virtual void PutItem(const std::string& datastore, const std::string& name, const std::string& text) = 0;
  // Deletes item `name` (as given to PutItem) on the server's side.
  virtual void DeleteItem(const std::string& datastore, const std::string& name) = 0;
  // The text of every item of `datastore`, in no particular order.
  virtual std::vector<std::string> Items(const std::string& datastore) const = 0;
  // The end of the server's log, for failure messages.
  virtual std::string LogTail() const = 0;
  // The folder below which the server writes its logs; empty when it writes none.
  virtual std::string LogFolder() const { return {}; }
  // The scripted server, for a test that plays its habits; nullptr for the real servers.
  virtual StatefulSyncServer* Scripted() { return nullptr; }

 protected:
  explicit SyncPeer(PeerKind kind) : mKind(kind) {}

 private:
  PeerKind mKind;
};

// A real server run by its script in a private folder.
class ScriptPeer : public SyncPeer {
 public:
  // A real server of `kind` (SyncEvolution or Virtuoso), not started yet.
  static std::unique_ptr<ScriptPeer> Make(PeerKind kind);
  ~ScriptPeer() override;
  void Start() override;
  void Stop() override;
  bool Running() const override { return mRunning; }
  std::string Url() const override { return mUrl; }
  // The server's own folder.
  std::string Folder() const { return mDir.Path() + "server"; }
  std::string LogFolder() const override { return Folder(); }
  // A further database, reached as "./<name>" (`kind` "contacts" or "calendar").
  void AddDatastore(const std::string& name, const std::string& kind);
  // The processes, zombies aside, whose command line or environment names the server's folder:
  // every process the server runs, whichever started it.
  std::vector<long> LivingProcesses() const;

 protected:
  ScriptPeer(PeerKind kind, std::string script);
  // Runs the server's script with the command `arguments[0]`, the folder, then the rest; its output.
  std::string Run(std::vector<std::string> arguments) const;
  const TempDir& Dir() const { return mDir; }

 private:
  std::string mScript;
  TempDir mDir;
  std::string mUrl;
  std::string mPort;
  bool mRunning = false;
};
