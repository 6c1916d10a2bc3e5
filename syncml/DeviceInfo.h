// Device information both ways: the server's data stores read into sync links, and the client's
// own DevInf sent when a server asks for it.
#pragma once

#include <optional>
#include <string>

#include "engine/CSyncLink.h"
#include "syncml/SmlDevInf.h"

class CConf;

// Meta Type of a device-information Get, Put or Results.
inline constexpr const char* kDevInfType = "application/vnd.syncml-devinf+xml";
// Where a device's information lives, for SyncML 1.1 and 1.2 peers.
inline constexpr const char* kDevInf11Uri = "./devinf11";
inline constexpr const char* kDevInf12Uri = "./devinf12";

// One database a server offers this client.
struct ServerDatabase {
  int dataType = DATA_TYPE_CONTACTS;
  // Below the type root ("Family" of "./contacts/Family"); empty for the default database.
  std::string serverName;
  // The server accepts no changes from the client.
  bool readOnly = false;

  friend bool operator==(const ServerDatabase&, const ServerDatabase&) = default;
};

// The database a server data store offers, or nullopt when it has no SourceRef or preferred
// receive type, or is not a contacts, events or tasks database with a type this client writes.
// The SourceRef may be relative without "./" ("contacts"); "calendar" counts as events and
// "todo" as tasks; contacts may prefer "text/x-vcard", "text/vcard" or "text/directory". A
// database under none of those roots ("./work-contacts") is offered under its own name when it
// takes contact or calendar data (calendar data as tasks when "task" or "todo" is in its name).
std::optional<ServerDatabase> ClassifyDataStore(const SmlDataStore& store);

// The links after the server listed `devInf`: one per usable data store, in the server's order.
// A link of `existing` with the same server name and data type (one with the same server URI
// first) is taken over with all its settings; any other is new (default settings). From the
// server come the read-only flag and the database's own URI (CSyncLink::SetServerUri), so that a
// database listed as "calendar" or "todo" is the one a session then targets.
CSyncLinkArray LinksFromDevInf(const CSyncLinkArray& existing, const SmlDevInf& devInf);

// The client's device information under `deviceId`: maker, model and version from the
// configuration, UTC times, and a data store per configured link with a local path (the three
// type roots when there is none), each with its content types and the sync types 1 to 6.
SmlDevInf ClientDevInf(const CConf& conf, const std::string& deviceId);
