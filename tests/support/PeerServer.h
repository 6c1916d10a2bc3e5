// The local SyncML server for end-to-end tests: started through scripts/syncml-server in a
// temporary folder on a free loopback port, with peers added for the client identities under test.
#pragma once

#include <string>
#include <vector>

#include "tests/support/TempDir.h"

// Owns the server processes from construction to destruction (the script's "stop" runs in the
// destructor). One server serves one test suite; it runs one session at a time.
class PeerServer {
 public:
  // Empty when the server's programs are installed, else what is missing (tests skip then).
  static std::string MissingPrograms();

  // Starts the server with `script` (the path of scripts/syncml-server). Throws
  // std::runtime_error with the script's output when it does not come up.
  explicit PeerServer(std::string script);
  ~PeerServer();
  PeerServer(const PeerServer&) = delete;
  PeerServer& operator=(const PeerServer&) = delete;

  // "http://127.0.0.1:<port>/syncml"
  const std::string& Url() const { return mUrl; }
  // Lets a client whose SyncHdr Source is `deviceId` synchronize with that login.
  void AddPeer(const std::string& deviceId, const std::string& user, const std::string& password);
  // A further database, reached as "./<name>" ("contacts" or "calendar" data).
  void AddDatastore(const std::string& name, const std::string& kind);
  // The folder holding datastore `name`'s items, one file per item named by the server's id.
  std::string DatastoreFolder(const std::string& name) const;
  // The contents of the item files of datastore `name`.
  std::vector<std::string> Items(const std::string& name) const;

 private:
  // Runs the script with `arguments`; its output. Throws std::runtime_error when it fails.
  std::string Run(const std::vector<std::string>& arguments) const;

  std::string mScript;
  TempDir mDir;
  std::string mUrl;
  bool mStarted = false;
};
