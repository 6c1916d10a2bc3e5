// A stateful SyncML 1.1 test server on top of ScriptedSyncServer's responder: it keeps datastores
// (items, each device's map of client identifiers, anchors), answers a real client session, and
// plays the habits of standard servers as switches, so protocol tests can meet each one alone.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/ScriptedSyncServer.h"
#include "tests/support/TestXmlReader.h"

// How the server behaves; the defaults are those of a plain, forgiving server.
struct ServerHabits {
  // "syncml:syncml1.1" (and "<Final></Final>") instead of "SYNCML:SYNCML1.1" and "<Final/>".
  bool lowerCaseNamespaces = false;
  enum class DevInfGet {
    Never,               // never asks for the client's DevInf
    FirstReply,          // a Get of "./devinf11" in the first reply of a session while it has none
    EveryFinalReply,     // a Get in every reply with Final until the client's DevInf arrived in the session
  };
  DevInfGet devInfGet = DevInfGet::FirstReply;
  // The namespace of the DevInf it writes.
  std::string devInfNamespace = "syncml:devinf";
  // Its own Delete commands carry no Meta (the item type is not repeated anywhere).
  bool deleteWithoutMeta = false;
  // The content type is on its Add and Replace commands, not on their items.
  bool typeOnCommandOnly = false;
  // A client item sent in a slow sync is matched against the server's items by content; off: every
  // Add (and every Replace of an unknown client identifier) becomes a new copy.
  bool contentMatching = true;
  // A slow sync the client asks for (Alert 201) erases the server's map of its identifiers; one the
  // server forces (508) keeps it either way.
  bool eraseMapOnClientSlowSync = false;
  // A Replace or Delete of a client identifier it does not know is answered 404 (else Replace adds
  // the item, 201, and Delete is answered 200).
  bool unknownItemIs404 = false;
  // A client Add or Replace whose data contains this text is refused with 500 and not stored.
  std::string refuseItemsContaining;
  // CmdIDs continue over the session's replies instead of restarting at 1 in each.
  bool cmdIdsContinue = false;
  // Its SyncHdr Meta announces this MaxMsgSize.
  std::optional<int> maxMsgSize;
  // Its changes go out only in reply to a client message with Final that follows the one that
  // completed the Alert package (off: with the reply that completes the client's Sync package).
  bool changesAfterClientFinal = false;
  // Within a session the database is known by the exact text of the Alert's Target: a Sync or Map
  // that spells it differently ("contacts" for "./contacts") is refused with 404.
  bool stateKeyedByExactTarget = false;
  // Database names its DevInf lists: "contacts" when off, "./contacts" when on.
  bool devInfSourceRefsWithDotSlash = false;
  // A client Replace of an item changed on the server since the device last saw it (and not yet
  // acknowledged by it in this session) is refused with 409 and not stored; the server's version
  // goes out with its changes. Off: the client's Replace wins.
  bool conflictsRefused409 = false;
};

// One server item.
struct ServerItem {
  std::string data;
  std::string type;
};

// One message the client posted and what the server answered.
struct ServerExchange {
  std::string request;
  std::string reply;    // empty when the request was not answered with SyncML
  std::string error;    // why the request was refused (unparsable, unknown session), else empty
};

// Listens on a free loopback port from construction to destruction (through ScriptedSyncServer),
// serving one request at a time on its thread; every method may be called from the test thread
// meanwhile. The datastores are made with AddDatastore before the client runs.
class StatefulSyncServer {
 public:
  explicit StatefulSyncServer(ServerHabits habits = {});
  ~StatefulSyncServer();
  StatefulSyncServer(const StatefulSyncServer&) = delete;
  StatefulSyncServer& operator=(const StatefulSyncServer&) = delete;

  // The address a client is configured with (it posts to <Url>/cgi-bin/vudireravaz).
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(mPort) + "/"; }
  // Stops listening (a client then cannot connect) and listens again on the same port; the
  // datastores and sessions stay.
  void StopListening();
  void Listen();
  // Forgets every item, device and session and takes the default habits again.
  void Reset();
  // Basic credentials the client must send (401 for others, 407 without).
  void SetLogin(std::string user, std::string password);
  // A database called `name` ("contacts", "calendar"; reached as "./<name>" or "<name>"),
  // whose items have content type `type` ("text/x-vcard", "text/x-vcalendar").
  void AddDatastore(const std::string& name, const std::string& type);
  void SetHabits(const ServerHabits& habits);

  // Server-side changes, sent to every device that synchronized the database before.
  // `type` empty: the database's content type; else the item's own (a contact group, "text/zep-group").
  void PutItem(const std::string& database, const std::string& id, const std::string& data, const std::string& type = "");
  void DeleteItem(const std::string& database, const std::string& id);
  std::map<std::string, ServerItem> Items(const std::string& database) const;
  // The device's map of client identifiers to server identifiers for `database`.
  std::map<std::string, std::string> ClientMap(const std::string& device, const std::string& database) const;
  // The client's Next anchor stored by the device's last completed session, if any.
  std::optional<std::string> StoredAnchor(const std::string& device, const std::string& database) const;
  // Replaces it (std::nullopt: forgets it), so that the device's next Alert 200 meets a stale anchor.
  void SetStoredAnchor(const std::string& device, const std::string& database, std::optional<std::string> anchor);
  // Whether the device's DevInf (Put or Results of "./devinf11") arrived, and its text.
  std::optional<XmlElement> ClientDevInf(const std::string& device) const;
  std::vector<ServerExchange> Exchanges() const;
  // Sessions the server saw completed (the client acknowledged its final package).
  int CompletedSessions() const;

 private:
  // What a database keeps of one device.
  struct DeviceState {
    std::map<std::string, std::string> clientToServer;
    std::optional<std::string> anchor;
    std::set<std::string> changed;  // server ids added, replaced or deleted since its last session
  };
  struct Datastore {
    std::string name;
    std::string type;
    std::map<std::string, ServerItem> items;
    std::map<std::string, DeviceState> devices;
  };
  // One of the server's own commands, queued for the client.
  struct Change {
    std::string kind;  // "Add", "Replace", "Delete"
    std::string serverId;
    std::string clientId;  // Replace and Delete
  };
  // One database of a session, opened by the client's Alert.
  struct SessionDatabase {
    std::string alertTarget;  // exactly as the Alert spelled it
    std::string clientDatabase;
    std::string datastore;
    std::string clientNext;
    int alertCode = 200;
    int alertedAfterFinals = 0;  // the client's messages with Final before the Alert's
    bool slow = false;
    bool forcedSlow = false;
    bool clientPackageDone = false;
    bool changesQueued = false;
    bool syncWritten = false;  // the server's Sync for it went out whole
    std::set<std::string> touched;  // server ids the client's slow sync added or matched
    std::set<std::string> acknowledged;  // server ids whose command the client answered with 2xx
  };
  struct Session {
    std::string device;
    int replies = 0;
    int clientMaxMsgSize = 0;
    int nextCmdId = 1;
    int finalMessages = 0;
    bool devInfReceived = false;
    bool serverPackageSent = false;
    bool completed = false;
    std::vector<SessionDatabase> databases;
    std::vector<std::pair<std::size_t, Change>> queued;  // database index, change
    std::map<std::string, std::pair<std::size_t, Change>> sent;  // "msgId/cmdId"
  };
  class Reply;

  ScriptedReply Respond(const RecordedRequest& request);
  std::string HandleMessage(const XmlElement& message);
  void HandleAlert(Session& session, const XmlElement& alert, Reply& reply, const std::string& msgId);
  void HandleSync(Session& session, const XmlElement& sync, Reply& reply, const std::string& msgId);
  void HandleItemCommand(Session& session, SessionDatabase& database, const XmlElement& command, Reply& reply,
                         const std::string& msgId);
  void HandleMap(Session& session, const XmlElement& map, Reply& reply, const std::string& msgId);
  void HandleStatus(Session& session, const XmlElement& status);
  void KeepDevInf(Session& session, const XmlElement& command);
  std::string DevInfResults(Reply& reply, const std::string& msgId, const std::string& cmdRef) const;
  void QueueChanges(Session& session, std::size_t index);
  std::string ChangeText(const Change& change, const Datastore& store, Reply& reply) const;
  // Writes what is queued, the server's Sync of each database in turn, up to `budget` bytes.
  void WriteQueued(Session& session, Reply& reply, std::size_t budget);
  void CompleteSession(Session& session);
  SessionDatabase* SessionDatabaseFor(Session& session, const std::string& target);
  Datastore* FindDatastore(std::string target);
  void MarkChanged(Datastore& store, const std::string& serverId, const std::string& exceptDevice);

  mutable std::mutex mMutex;
  ServerHabits mHabits;
  std::optional<std::pair<std::string, std::string>> mLogin;
  std::map<std::string, Datastore> mDatastores;
  std::map<std::string, Session> mSessions;  // by device and SessionID
  std::map<std::string, XmlElement> mDevInfs;
  std::vector<ServerExchange> mExchanges;
  int mCompletedSessions = 0;
  int mNextItemId = 1;
  int mPort = 0;
  // Last so that its thread stops before the state it serves goes away.
  std::unique_ptr<ScriptedSyncServer> mHttp;
};
