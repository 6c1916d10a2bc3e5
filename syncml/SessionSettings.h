// What a SyncML session reads of the configuration, as a value, and what it is given to work
// with: its transport, its local store, its questions and its policies.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "syncml/SmlDevInf.h"
#include "syncml/SyncTransport.h"

class CConf;
class ItemSink;
class Prompt;

// Copied into the session when it is made; a session never reads the configuration itself.
struct SessionSettings {
  // The address the user entered: the Target of every message header.
  std::string serverUrl;
  // Where the messages are posted until a reply names another address (RespURI).
  std::string postUrl;
  // Basic credentials; no Cred without a login.
  std::string login;
  std::string password;
  // The Source of every message header (the client store identity); empty: the client's name.
  std::string clientStoreId;
  // Follows the client's name in the header's Source LocName.
  std::string productVersion;
  // The largest message the client sends and receives (bytes); 0 or less: no limit.
  long maxMsgSize = 0;
  // The client's device information, given to a server that asks for it.
  SmlDevInf clientDevInf;
  // The codec's workspace, shared by the incoming reply and the next outgoing message (16 MiB).
  std::size_t workspaceSize = std::size_t{16} << 20;

  // The settings of `conf`: url, SyncUrl, login and password, the client store identity, the
  // version, max_msg_size, and the device information of its links.
  static SessionSettings FromConf(const CConf& conf);
};

// Not copyable (it owns the transport). Everything it points to is not owned and must outlive
// the session.
struct SessionServices {
  // Posts the messages; SendRequest fails without one.
  std::unique_ptr<SyncTransport> transport;
  // The local store the server's items are written to; null for the sessions without a store
  // (the server check, the database request): the server's items are then refused.
  ItemSink* sink = nullptr;
  // Asks the conflict question; null: conflicts keep both values.
  Prompt* prompt = nullptr;
  // Asked by the reply handlers after every command: true stops the reply (cancel requested).
  std::function<bool()> cancelRequested;
  // Nothing is asked while set.
  bool silent = false;
  // Conflicts are resolved without asking (`conf_res_pol` "auto"): both values are kept.
  bool autoResolveConflicts = false;
};
