// The stateful SyncML test server: sessions, packages and datastores, with replies written as text.
#include "tests/support/StatefulSyncServer.h"

#include <algorithm>
#include <stdexcept>

#include "common/Base64.h"

namespace {

constexpr const char* kMetInf = " xmlns='syncml:metinf'";
constexpr const char* kDevInfType = "application/vnd.syncml-devinf+xml";
// Room left in a reply for what follows the server's Sync commands (Get, Final, closing tags).
constexpr std::size_t kReplyReserve = 600;

std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else out += c;
  }
  return out;
}

std::string Element(const std::string& name, const std::string& content) { return "<" + name + ">" + content + "</" + name + ">"; }

std::string LocUri(const std::string& name, const std::string& uri) { return Element(name, Element("LocURI", Escaped(uri))); }

std::string TypeMeta(const std::string& type) { return "<Meta><Type" + std::string(kMetInf) + ">" + Escaped(type) + "</Type></Meta>"; }

std::string CData(const std::string& data) {
  std::string out = "<![CDATA[";
  for (std::size_t at = 0;;) {
    const std::size_t end = data.find("]]>", at);
    if (end == std::string::npos) {
      out += data.substr(at);
      break;
    }
    out += data.substr(at, end - at) + "]]]]><![CDATA[>";
    at = end + 3;
  }
  return out + "]]>";
}

// The item text as the server compares it: LF line ends, no trailing line breaks.
std::string Normalized(std::string data) {
  std::string out;
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n') continue;
    out += data[i];
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

// What a slow sync compares items by, as servers that match content do: the name of a contact,
// the summary and start of an event or task (other fields may differ in how each side writes them).
std::string MatchKey(const std::string& data) {
  std::set<std::string> fields;
  const std::string text = Normalized(data);
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const std::size_t colon = line.find(':');
    const std::string name = line.substr(0, std::min(colon, line.find(';')));
    if (colon != std::string::npos && (name == "N" || name == "FN" || name == "SUMMARY" || name == "DTSTART" || name == "DUE")) {
      std::string value = line.substr(colon + 1);
      while (!value.empty() && (value.back() == ';' || value.back() == ' ')) value.pop_back();
      fields.insert(name + ":" + value);
    }
    start = end + 1;
  }
  std::string key;
  for (const std::string& field : fields) key += field + "\n";
  return key;
}

std::string WithoutDotSlash(const std::string& uri) { return uri.rfind("./", 0) == 0 ? uri.substr(2) : uri; }

bool IsSlowCode(int code) { return code == 201 || code == 203 || code == 205; }

int SlowCodeFor(int code) {
  if (code == 202 || code == 203) return 203;
  if (code == 204 || code == 205) return 205;
  return 201;
}

int Number(const std::string& text, int fallback) {
  try {
    return text.empty() ? fallback : std::stoi(text);
  } catch (const std::exception&) {
    return fallback;
  }
}

}  // namespace

// One reply under construction: the header, then commands in the order added, CmdIDs from the
// session's counter.
class StatefulSyncServer::Reply {
 public:
  Reply(const ServerHabits& habits, int& nextCmdId) : mHabits(habits), mNextCmdId(nextCmdId) {}

  void Header(const std::string& sessionId, int msgId, const std::string& serverUri, const std::string& device) {
    mMsgId = msgId;
    mHeader = "<SyncHdr><VerDTD>1.1</VerDTD><VerProto>SyncML/1.1</VerProto>" + Element("SessionID", Escaped(sessionId)) +
              Element("MsgID", std::to_string(msgId)) + LocUri("Target", device) + LocUri("Source", serverUri);
    if (mHabits.maxMsgSize) {
      mHeader += "<Meta><MaxMsgSize" + std::string(kMetInf) + ">" + std::to_string(*mHabits.maxMsgSize) + "</MaxMsgSize></Meta>";
    }
    mHeader += "</SyncHdr>";
  }
  int MsgId() const { return mMsgId; }
  int TakeCmdId() { return mNextCmdId++; }
  std::string CmdId() { return Element("CmdID", std::to_string(TakeCmdId())); }
  void Add(const std::string& command) { mBody += command; }
  void Status(const std::string& msgRef, const std::string& cmdRef, const std::string& cmd, int code,
              const std::string& targetRef = "", const std::string& sourceRef = "", const std::string& item = "") {
    std::string status = "<Status>" + CmdId() + Element("MsgRef", Escaped(msgRef)) + Element("CmdRef", Escaped(cmdRef)) +
                         Element("Cmd", cmd);
    if (!targetRef.empty()) status += Element("TargetRef", Escaped(targetRef));
    if (!sourceRef.empty()) status += Element("SourceRef", Escaped(sourceRef));
    Add(status + Element("Data", std::to_string(code)) + item + "</Status>");
  }
  std::size_t Size() const { return mHeader.size() + mBody.size() + 200; }
  std::string Text(bool final) const {
    const char* ns = mHabits.lowerCaseNamespaces ? "syncml:syncml1.1" : "SYNCML:SYNCML1.1";
    const char* finalTag = mHabits.lowerCaseNamespaces ? "<Final></Final>" : "<Final/>";
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><SyncML xmlns='") + ns + "'>" + mHeader + "<SyncBody>" + mBody +
           (final ? finalTag : "") + "</SyncBody></SyncML>";
  }

 private:
  const ServerHabits& mHabits;
  int& mNextCmdId;
  int mMsgId = 0;
  std::string mHeader;
  std::string mBody;
};

StatefulSyncServer::StatefulSyncServer(ServerHabits habits) : mHabits(std::move(habits)) { Listen(); }

StatefulSyncServer::~StatefulSyncServer() { StopListening(); }

void StatefulSyncServer::Listen() {
  if (mHttp) return;
  mHttp = std::make_unique<ScriptedSyncServer>(mPort);
  mPort = mHttp->Port();
  mHttp->SetResponder([this](const RecordedRequest& request) { return Respond(request); });
}

void StatefulSyncServer::StopListening() { mHttp.reset(); }

void StatefulSyncServer::Reset() {
  std::lock_guard lock(mMutex);
  for (auto& [name, store] : mDatastores) store = Datastore{name, store.type, {}, {}};
  mSessions.clear();
  mDevInfs.clear();
  mExchanges.clear();
  mHabits = ServerHabits{};
}

void StatefulSyncServer::SetLogin(std::string user, std::string password) {
  std::lock_guard lock(mMutex);
  mLogin = std::make_pair(std::move(user), std::move(password));
}

void StatefulSyncServer::AddDatastore(const std::string& name, const std::string& type) {
  std::lock_guard lock(mMutex);
  mDatastores[name] = Datastore{name, type, {}, {}};
}

void StatefulSyncServer::SetHabits(const ServerHabits& habits) {
  std::lock_guard lock(mMutex);
  mHabits = habits;
}

void StatefulSyncServer::PutItem(const std::string& database, const std::string& id, const std::string& data,
                                 const std::string& type) {
  std::lock_guard lock(mMutex);
  Datastore& store = mDatastores.at(database);
  store.items[id] = ServerItem{data, type.empty() ? store.type : type};
  MarkChanged(store, id, "");
}

void StatefulSyncServer::DeleteItem(const std::string& database, const std::string& id) {
  std::lock_guard lock(mMutex);
  Datastore& store = mDatastores.at(database);
  if (store.items.erase(id) == 0) throw std::invalid_argument("no server item " + id);
  MarkChanged(store, id, "");
}

std::map<std::string, ServerItem> StatefulSyncServer::Items(const std::string& database) const {
  std::lock_guard lock(mMutex);
  return mDatastores.at(database).items;
}

std::map<std::string, std::string> StatefulSyncServer::ClientMap(const std::string& device, const std::string& database) const {
  std::lock_guard lock(mMutex);
  const Datastore& store = mDatastores.at(database);
  const auto state = store.devices.find(device);
  return state == store.devices.end() ? std::map<std::string, std::string>{} : state->second.clientToServer;
}

std::optional<std::string> StatefulSyncServer::StoredAnchor(const std::string& device, const std::string& database) const {
  std::lock_guard lock(mMutex);
  const Datastore& store = mDatastores.at(database);
  const auto state = store.devices.find(device);
  return state == store.devices.end() ? std::nullopt : state->second.anchor;
}

void StatefulSyncServer::SetStoredAnchor(const std::string& device, const std::string& database, std::optional<std::string> anchor) {
  std::lock_guard lock(mMutex);
  mDatastores.at(database).devices[device].anchor = std::move(anchor);
}

std::optional<XmlElement> StatefulSyncServer::ClientDevInf(const std::string& device) const {
  std::lock_guard lock(mMutex);
  const auto found = mDevInfs.find(device);
  if (found == mDevInfs.end()) return std::nullopt;
  return found->second;
}

std::vector<ServerExchange> StatefulSyncServer::Exchanges() const {
  std::lock_guard lock(mMutex);
  return mExchanges;
}

int StatefulSyncServer::CompletedSessions() const {
  std::lock_guard lock(mMutex);
  return mCompletedSessions;
}

ScriptedReply StatefulSyncServer::Respond(const RecordedRequest& request) {
  std::lock_guard lock(mMutex);
  ServerExchange exchange{request.body, "", ""};
  ScriptedReply reply;
  try {
    exchange.reply = HandleMessage(ParseXml(request.body));
    reply = ScriptedReply::SyncMl(exchange.reply);
  } catch (const std::exception& error) {
    exchange.error = error.what();
    reply = ScriptedReply::Status(400, exchange.error);
  }
  mExchanges.push_back(std::move(exchange));
  return reply;
}

std::string StatefulSyncServer::HandleMessage(const XmlElement& message) {
  const XmlElement* header = message.Child("SyncHdr");
  const XmlElement* body = message.Child("SyncBody");
  if (message.name != "SyncML" || header == nullptr || body == nullptr) throw std::runtime_error("not a SyncML message");
  const std::string sessionId = header->Text("SessionID");
  const std::string msgId = header->Text("MsgID");
  const std::string device = header->Text("Source/LocURI");
  const std::string serverUri = header->Text("Target/LocURI");
  if (device.empty() || msgId.empty()) throw std::runtime_error("SyncHdr without Source or MsgID");
  Session& session = mSessions[device + "\n" + sessionId];
  session.device = device;
  session.clientMaxMsgSize = Number(header->Text("Meta/MaxMsgSize"), 0);
  if (!mHabits.cmdIdsContinue) session.nextCmdId = 1;
  const bool firstReply = session.replies == 0;
  Reply reply(mHabits, session.nextCmdId);
  reply.Header(sessionId, ++session.replies, serverUri, device);

  int headerCode = firstReply ? 212 : 200;
  if (mLogin) {
    const XmlElement* cred = header->Child("Cred");
    if (cred == nullptr) headerCode = 407;
    else if (DecodeBase64(cred->Text("Data")) != mLogin->first + ":" + mLogin->second) headerCode = 401;
  }
  reply.Status(msgId, "0", "SyncHdr", headerCode, serverUri, device);
  if (headerCode == 401 || headerCode == 407) {
    mSessions.erase(device + "\n" + sessionId);
    return reply.Text(true);
  }

  const bool final = body->Has("Final");
  const bool packageSentBefore = session.serverPackageSent;
  for (const XmlElement& command : body->children) {
    const std::string cmdId = command.Text("CmdID");
    if (command.name == "Alert") {
      HandleAlert(session, command, reply, msgId);
    } else if (command.name == "Sync") {
      HandleSync(session, command, reply, msgId);
    } else if (command.name == "Map") {
      HandleMap(session, command, reply, msgId);
    } else if (command.name == "Status") {
      HandleStatus(session, command);
    } else if (command.name == "Put" || command.name == "Results") {
      KeepDevInf(session, command);
      if (command.name == "Put") reply.Status(msgId, cmdId, command.name, 200);
    } else if (command.name == "Get") {
      reply.Status(msgId, cmdId, "Get", 200);
      reply.Add(DevInfResults(reply, msgId, cmdId));
    } else if (command.name != "Final") {
      reply.Status(msgId, cmdId, command.name, 406);
    }
  }

  if (final) {
    ++session.finalMessages;
    for (std::size_t index = 0; index < session.databases.size(); ++index) {
      SessionDatabase& database = session.databases[index];
      // The Alert's own message completes the client's package, unless the server forced a slow
      // sync there: then the next message with Final does.
      const int packageEnd = database.alertedAfterFinals + (database.forcedSlow ? 2 : 1);
      if (session.finalMessages >= packageEnd) database.clientPackageDone = true;
      const int changesAt = mHabits.changesAfterClientFinal ? std::max(packageEnd, database.alertedAfterFinals + 2) : packageEnd;
      if (database.clientPackageDone && !database.changesQueued && session.finalMessages >= changesAt) QueueChanges(session, index);
    }
  }
  const std::size_t limit = session.clientMaxMsgSize > 0 ? static_cast<std::size_t>(session.clientMaxMsgSize) : std::size_t{1} << 20;
  WriteQueued(session, reply, limit > kReplyReserve ? limit - kReplyReserve : limit / 2);
  const bool allQueued = std::all_of(session.databases.begin(), session.databases.end(),
                                     [](const SessionDatabase& database) { return database.syncWritten; });
  const bool replyFinal = final && session.queued.empty();
  if (final && packageSentBefore && !session.completed) CompleteSession(session);
  if (replyFinal && allQueued) session.serverPackageSent = true;

  const bool devInfKnown = session.devInfReceived || mDevInfs.count(device) > 0;
  if ((mHabits.devInfGet == ServerHabits::DevInfGet::FirstReply && firstReply && !devInfKnown) ||
      (mHabits.devInfGet == ServerHabits::DevInfGet::EveryFinalReply && replyFinal && !session.devInfReceived)) {
    reply.Add("<Get>" + reply.CmdId() + TypeMeta(kDevInfType) + "<Item>" + LocUri("Target", "./devinf11") + "</Item></Get>");
  }
  return reply.Text(replyFinal);
}

void StatefulSyncServer::HandleAlert(Session& session, const XmlElement& alert, Reply& reply, const std::string& msgId) {
  const std::string cmdId = alert.Text("CmdID");
  const int code = Number(alert.Text("Data"), 0);
  if (code == 222) {
    reply.Status(msgId, cmdId, "Alert", 200);
    return;
  }
  const XmlElement* item = alert.Child("Item");
  const std::string target = item == nullptr ? "" : item->Text("Target/LocURI");
  const std::string source = item == nullptr ? "" : item->Text("Source/LocURI");
  Datastore* store = FindDatastore(target);
  if (store == nullptr || code < 200 || code > 205) {
    reply.Status(msgId, cmdId, "Alert", store == nullptr ? 404 : 406, target, source);
    return;
  }
  DeviceState& device = store->devices[session.device];
  SessionDatabase database;
  database.alertTarget = target;
  database.clientDatabase = source;
  database.datastore = store->name;
  database.clientNext = item->Text("Meta/Anchor/Next");
  database.alertCode = code;
  database.alertedAfterFinals = session.finalMessages;
  int status = 200;
  if (IsSlowCode(code)) {
    database.slow = true;
    if (mHabits.eraseMapOnClientSlowSync) device.clientToServer.clear();
    if (code == 203) {
      // A refresh from the client: what it sends replaces everything the datastore held.
      store->items.clear();
      device.clientToServer.clear();
    }
  } else if (!device.anchor || *device.anchor != item->Text("Meta/Anchor/Last")) {
    status = 508;
    database.slow = true;
    database.forcedSlow = true;
  }
  reply.Status(msgId, cmdId, "Alert", status, target, source,
               "<Item><Data><Anchor" + std::string(kMetInf) + "><Next>" + Escaped(database.clientNext) + "</Next></Anchor></Data></Item>");
  const int answer = database.slow ? SlowCodeFor(code) : code;
  reply.Add("<Alert>" + reply.CmdId() + Element("Data", std::to_string(answer)) + "<Item>" + LocUri("Target", source) +
            LocUri("Source", target) + "<Meta><Anchor" + kMetInf + "><Last>" + std::to_string(mCompletedSessions) + "</Last><Next>" +
            std::to_string(mCompletedSessions + 1) + "</Next></Anchor></Meta></Item></Alert>");
  session.databases.push_back(std::move(database));
}

void StatefulSyncServer::HandleSync(Session& session, const XmlElement& sync, Reply& reply, const std::string& msgId) {
  const std::string cmdId = sync.Text("CmdID");
  const std::string target = sync.Text("Target/LocURI");
  const std::string source = sync.Text("Source/LocURI");
  SessionDatabase* database = SessionDatabaseFor(session, target);
  if (database == nullptr) {
    reply.Status(msgId, cmdId, "Sync", 404, target, source);
    return;
  }
  // The changes of a normal sync that the server turned into a slow one are not taken.
  if (database->forcedSlow && database->alertedAfterFinals == session.finalMessages) {
    reply.Status(msgId, cmdId, "Sync", 508, target, source);
    return;
  }
  reply.Status(msgId, cmdId, "Sync", 200, target, source);
  for (const XmlElement& command : sync.children) {
    if (command.name == "Add" || command.name == "Replace" || command.name == "Delete") {
      HandleItemCommand(session, *database, command, reply, msgId);
    } else if (command.name != "CmdID" && command.name != "Target" && command.name != "Source" && command.name != "Meta" &&
               command.name != "NumberOfChanges" && command.name != "Cred" && command.name != "NoResp") {
      reply.Status(msgId, command.Text("CmdID"), command.name, 406);
    }
  }
}

void StatefulSyncServer::HandleItemCommand(Session& session, SessionDatabase& database, const XmlElement& command, Reply& reply,
                                           const std::string& msgId) {
  Datastore& store = mDatastores.at(database.datastore);
  DeviceState& device = store.devices[session.device];
  for (const XmlElement* item : command.Children("Item")) {
    const std::string clientId = item->Text("Source/LocURI");
    const std::string data = item->Text("Data");
    const std::string type = item->Has("Meta/Type") ? item->Text("Meta/Type") : command.Text("Meta/Type");
    const auto mapped = device.clientToServer.find(clientId);
    const bool known = mapped != device.clientToServer.end() && store.items.count(mapped->second) > 0;
    int code = 500;
    if (command.name == "Delete") {
      if (known) {
        store.items.erase(mapped->second);
        MarkChanged(store, mapped->second, session.device);
        code = 200;
      } else {
        code = mHabits.unknownItemIs404 ? 404 : 200;
      }
      if (mapped != device.clientToServer.end()) device.clientToServer.erase(mapped);
    } else if (!mHabits.refuseItemsContaining.empty() && data.find(mHabits.refuseItemsContaining) != std::string::npos) {
      code = 500;
    } else if (command.name == "Replace" && known && mHabits.conflictsRefused409 && device.changed.count(mapped->second) > 0 &&
               database.acknowledged.count(mapped->second) == 0) {
      reply.Status(msgId, command.Text("CmdID"), command.name, 409, mapped->second, clientId);
      continue;
    } else if (command.name == "Replace" && known) {
      store.items[mapped->second] = ServerItem{data, type.empty() ? store.type : type};
      MarkChanged(store, mapped->second, session.device);
      database.touched.insert(mapped->second);
      code = 200;
    } else if (command.name == "Replace" && mHabits.unknownItemIs404) {
      code = 404;
    } else {
      std::string serverId;
      if (command.name == "Add" && database.slow && mHabits.contentMatching) {
        for (const auto& [id, stored] : store.items) {
          if (database.touched.count(id) == 0 && !MatchKey(data).empty() && MatchKey(stored.data) == MatchKey(data)) serverId = id;
        }
      }
      code = serverId.empty() ? 201 : 200;
      if (serverId.empty()) serverId = std::to_string(mNextItemId++);
      store.items[serverId] = ServerItem{data, type.empty() ? store.type : type};
      device.clientToServer[clientId] = serverId;
      MarkChanged(store, serverId, session.device);
      database.touched.insert(serverId);
    }
    reply.Status(msgId, command.Text("CmdID"), command.name, code, "", clientId);
  }
}

void StatefulSyncServer::HandleMap(Session& session, const XmlElement& map, Reply& reply, const std::string& msgId) {
  const std::string target = map.Text("Target/LocURI");
  SessionDatabase* database = SessionDatabaseFor(session, target);
  if (database == nullptr) {
    reply.Status(msgId, map.Text("CmdID"), "Map", 404, target, map.Text("Source/LocURI"));
    return;
  }
  DeviceState& device = mDatastores.at(database->datastore).devices[session.device];
  for (const XmlElement* item : map.Children("MapItem")) device.clientToServer[item->Text("Source/LocURI")] = item->Text("Target/LocURI");
  reply.Status(msgId, map.Text("CmdID"), "Map", 200, target, map.Text("Source/LocURI"));
}

void StatefulSyncServer::HandleStatus(Session& session, const XmlElement& status) {
  const auto sent = session.sent.find(status.Text("MsgRef") + "/" + status.Text("CmdRef"));
  if (sent == session.sent.end() || sent->second.second.kind != status.Text("Cmd")) return;
  const int code = Number(status.Text("Data"), 0);
  if (code >= 200 && code < 300) session.databases[sent->second.first].acknowledged.insert(sent->second.second.serverId);
}

void StatefulSyncServer::KeepDevInf(Session& session, const XmlElement& command) {
  const XmlElement* item = command.Child("Item");
  if (item == nullptr) return;
  const std::string uri = item->Has("Source/LocURI") ? item->Text("Source/LocURI") : item->Text("Target/LocURI");
  if (uri != "./devinf11" && uri != "./devinf12") return;
  const XmlElement* data = item->Child("Data");
  if (data == nullptr) return;
  if (const XmlElement* devInf = data->Child("DevInf")) {
    mDevInfs[session.device] = *devInf;
  } else if (!data->text.empty()) {
    mDevInfs[session.device] = ParseXml(data->text);
  } else {
    return;
  }
  session.devInfReceived = true;
}

std::string StatefulSyncServer::DevInfResults(Reply& reply, const std::string& msgId, const std::string& cmdRef) const {
  std::string stores;
  for (const auto& [name, store] : mDatastores) {
    const std::string version = store.type == "text/x-vcard" ? "2.1" : store.type == "text/vcard" ? "3.0" : "1.0";
    const std::string content = Element("CTType", store.type) + Element("VerCT", version);
    stores += "<DataStore>" + Element("SourceRef", (mHabits.devInfSourceRefsWithDotSlash ? "./" : "") + name) +
              Element("Rx-Pref", content) + Element("Tx-Pref", content) +
              "<SyncCap><SyncType>1</SyncType><SyncType>2</SyncType><SyncType>3</SyncType><SyncType>4</SyncType><SyncType>5</SyncType>"
              "<SyncType>6</SyncType><SyncType>7</SyncType></SyncCap></DataStore>";
  }
  return "<Results>" + reply.CmdId() + Element("MsgRef", msgId) + Element("CmdRef", Escaped(cmdRef)) + TypeMeta(kDevInfType) +
         "<Item>" + LocUri("Source", "./devinf11") + "<Data><DevInf xmlns='" + Escaped(mHabits.devInfNamespace) +
         "'><VerDTD>1.1</VerDTD><Man>Larkspan tests</Man><Mod>stateful test server</Mod><DevID>stateful-test-server</DevID>"
         "<DevTyp>server</DevTyp><UTC/>" + stores + "</DevInf></Data></Item></Results>";
}

void StatefulSyncServer::QueueChanges(Session& session, std::size_t index) {
  SessionDatabase& database = session.databases[index];
  database.changesQueued = true;
  if (database.alertCode == 202 || database.alertCode == 203) {
    database.syncWritten = true;  // an upload: the server sends no Sync at all
    return;
  }
  Datastore& store = mDatastores.at(database.datastore);
  DeviceState& device = store.devices[session.device];
  const auto clientIdOf = [&device](const std::string& serverId) {
    for (const auto& [clientId, mappedId] : device.clientToServer) {
      if (mappedId == serverId) return clientId;
    }
    return std::string();
  };
  if (database.slow) {
    // Everything the client did not send in its slow sync, as additions.
    for (const auto& [id, item] : store.items) {
      if (database.touched.count(id) == 0) session.queued.emplace_back(index, Change{"Add", id, ""});
    }
    return;
  }
  for (const std::string& id : device.changed) {
    const std::string clientId = clientIdOf(id);
    if (store.items.count(id) > 0) {
      session.queued.emplace_back(index, Change{clientId.empty() ? "Add" : "Replace", id, clientId});
    } else if (!clientId.empty()) {
      session.queued.emplace_back(index, Change{"Delete", id, clientId});
    }
  }
}

std::string StatefulSyncServer::ChangeText(const Change& change, const Datastore& store, Reply& reply) const {
  const std::string cmdId = reply.CmdId();
  const auto item = store.items.find(change.serverId);
  const std::string type = item == store.items.end() ? store.type : item->second.type;
  const std::string commandMeta = mHabits.typeOnCommandOnly ? TypeMeta(type) : "";
  const std::string itemMeta = mHabits.typeOnCommandOnly ? "" : TypeMeta(type);
  if (change.kind == "Delete") {
    const bool meta = !mHabits.deleteWithoutMeta;
    return "<Delete>" + cmdId + (meta ? commandMeta : "") + "<Item>" + LocUri("Target", change.clientId) + (meta ? itemMeta : "") +
           "</Item></Delete>";
  }
  const std::string where = change.kind == "Add" ? LocUri("Source", change.serverId) : LocUri("Target", change.clientId);
  return "<" + change.kind + ">" + cmdId + commandMeta + "<Item>" + where + itemMeta + "<Data>" + CData(item->second.data) +
         "</Data></Item></" + change.kind + ">";
}

void StatefulSyncServer::WriteQueued(Session& session, Reply& reply, std::size_t budget) {
  for (std::size_t index = 0; index < session.databases.size(); ++index) {
    SessionDatabase& database = session.databases[index];
    if (!database.changesQueued || database.syncWritten) continue;
    const Datastore& store = mDatastores.at(database.datastore);
    std::string sync = "<Sync>" + reply.CmdId() + LocUri("Target", database.clientDatabase) + LocUri("Source", database.alertTarget);
    bool wroteOne = false;
    for (auto queued = session.queued.begin(); queued != session.queued.end();) {
      if (queued->first != index) {
        ++queued;
        continue;
      }
      const int cmdId = session.nextCmdId;
      const std::string text = ChangeText(queued->second, store, reply);
      // Always at least one command per reply, so an item larger than the limit still goes.
      if (wroteOne && reply.Size() + sync.size() + text.size() > budget) {
        session.nextCmdId = cmdId;
        break;
      }
      sync += text;
      wroteOne = true;
      session.sent[std::to_string(reply.MsgId()) + "/" + std::to_string(cmdId)] = *queued;
      queued = session.queued.erase(queued);
    }
    reply.Add(sync + "</Sync>");
    const bool more = std::any_of(session.queued.begin(), session.queued.end(), [index](const auto& queued) { return queued.first == index; });
    if (more) return;
    database.syncWritten = true;
  }
}

void StatefulSyncServer::CompleteSession(Session& session) {
  for (SessionDatabase& database : session.databases) {
    DeviceState& device = mDatastores.at(database.datastore).devices[session.device];
    device.anchor = database.clientNext;
    if (database.slow) device.changed.clear();
    for (const std::string& id : database.acknowledged) device.changed.erase(id);
    for (const auto& [key, sent] : session.sent) {
      const bool answered = database.acknowledged.count(sent.second.serverId) > 0;
      if (&session.databases[sent.first] == &database && !answered) device.changed.insert(sent.second.serverId);
      if (&session.databases[sent.first] == &database && answered && sent.second.kind == "Delete") {
        device.clientToServer.erase(sent.second.clientId);
      }
    }
  }
  session.completed = true;
  ++mCompletedSessions;
}

StatefulSyncServer::SessionDatabase* StatefulSyncServer::SessionDatabaseFor(Session& session, const std::string& target) {
  for (SessionDatabase& database : session.databases) {
    if (database.alertTarget == target) return &database;
    if (!mHabits.stateKeyedByExactTarget && WithoutDotSlash(database.alertTarget) == WithoutDotSlash(target)) return &database;
  }
  return nullptr;
}

StatefulSyncServer::Datastore* StatefulSyncServer::FindDatastore(std::string target) {
  target = WithoutDotSlash(target);
  const auto found = mDatastores.find(target);
  return found == mDatastores.end() ? nullptr : &found->second;
}

void StatefulSyncServer::MarkChanged(Datastore& store, const std::string& serverId, const std::string& exceptDevice) {
  for (auto& [device, state] : store.devices) {
    if (device != exceptDevice) state.changed.insert(serverId);
  }
}
