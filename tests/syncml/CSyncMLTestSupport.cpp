// Scripted transport, reply builders, client message decoding and the session fixture.
#include "tests/syncml/CSyncMLTestSupport.h"

#include "common/CXException.h"
#include "common/StringIds.h"
#include "config/CLog.h"
#include "syncml/SmlDecoder.h"

std::string ScriptedTransport::Post(const std::string& url, const std::string& message) {
  mPosted.push_back(Posted{url, message});
  if (!mReplies.empty()) {
    std::string reply = std::move(mReplies.front());
    mReplies.pop_front();
    return reply;
  }
  if (mResponder) return mResponder(message);
  throw CHttpException(IDS_HTTP_ERROR, 500);
}

std::string ServerMessage(int msgId, const std::string& body, const std::string& respUri) {
  std::string header = "<VerDTD>1.1</VerDTD><VerProto>SyncML/1.1</VerProto><SessionID>42</SessionID><MsgID>" +
                       std::to_string(msgId) +
                       "</MsgID><Target><LocURI>client-identity</LocURI></Target><Source><LocURI>http://server/</LocURI></Source>";
  if (!respUri.empty()) header += "<RespURI>" + respUri + "</RespURI>";
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><SyncML xmlns='SYNCML:SYNCML1.1'><SyncHdr>" + header +
         "</SyncHdr><SyncBody>" + body + "<Final/></SyncBody></SyncML>";
}

std::string StatusXml(int cmdId, const std::string& cmdRef, const std::string& cmd, const std::string& code,
                      const std::string& sourceRef, const std::string& targetRef) {
  std::string xml = "<Status><CmdID>" + std::to_string(cmdId) + "</CmdID><MsgRef>1</MsgRef><CmdRef>" + cmdRef +
                    "</CmdRef><Cmd>" + cmd + "</Cmd>";
  if (!targetRef.empty()) xml += "<TargetRef>" + targetRef + "</TargetRef>";
  if (!sourceRef.empty()) xml += "<SourceRef>" + sourceRef + "</SourceRef>";
  return xml + "<Data>" + code + "</Data></Status>";
}

namespace {

std::string MetaType(const std::string& type) { return "<Meta><Type xmlns='syncml:metinf'>" + type + "</Type></Meta>"; }

}  // namespace

std::string ItemXml(const ItemSpec& item) {
  std::string xml = "<Item>";
  if (item.target) xml += "<Target><LocURI>" + *item.target + "</LocURI></Target>";
  if (item.source) xml += "<Source><LocURI>" + *item.source + "</LocURI></Source>";
  if (item.type) xml += MetaType(*item.type);
  if (item.data) xml += "<Data><![CDATA[" + *item.data + "]]></Data>";
  return xml + "</Item>";
}

std::string ItemCommandXml(const std::string& name, int cmdId, const std::string& items, const std::string& commandType) {
  const std::string meta = commandType.empty() ? "" : MetaType(commandType);
  return "<" + name + "><CmdID>" + std::to_string(cmdId) + "</CmdID>" + meta + items + "</" + name + ">";
}

std::string SyncXml(int cmdId, const std::string& commands) {
  return "<Sync><CmdID>" + std::to_string(cmdId) +
         "</CmdID><Target><LocURI>Contacts</LocURI></Target><Source><LocURI>./contacts</LocURI></Source>" + commands +
         "</Sync>";
}

std::string AlertXml(int cmdId, const std::string& code, const std::string& itemData) {
  const std::string item = itemData.empty() ? "" : "<Item><Data>" + itemData + "</Data></Item>";
  return "<Alert><CmdID>" + std::to_string(cmdId) + "</CmdID><Data>" + code + "</Data>" + item + "</Alert>";
}

std::string GetXml(int cmdId, const std::string& uri) {
  return "<Get><CmdID>" + std::to_string(cmdId) + "</CmdID>" + MetaType("application/vnd.syncml-devinf+xml") +
         "<Item><Target><LocURI>" + uri + "</LocURI></Target></Item></Get>";
}

std::string VCardText(const std::string& formattedName, const std::string& nickname) {
  std::string card = "BEGIN:VCARD\r\nVERSION:2.1\r\n";
  if (!formattedName.empty()) card += "N:" + formattedName + ";;;;\r\nFN:" + formattedName + "\r\n";
  if (!nickname.empty()) card += "NICKNAME:" + nickname + "\r\n";
  return card + "EMAIL;INTERNET:someone@example.org\r\nEND:VCARD\r\n";
}

std::string VEventText(const std::string& summary) {
  return "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:VEVENT\r\nSUMMARY:" + summary +
         "\r\nDTSTART:20261210T090000Z\r\nDTEND:20261210T100000Z\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

std::vector<ClientCommand> ClientMessage::Named(const std::string& name) const {
  std::vector<ClientCommand> found;
  for (const ClientCommand& command : commands) {
    if (command.name == name) found.push_back(command);
  }
  return found;
}

std::vector<std::string> ClientMessage::Names() const {
  std::vector<std::string> names;
  for (const ClientCommand& command : commands) names.push_back(command.name);
  return names;
}

namespace {

ClientCommand CommandNamed(const char* name) {
  ClientCommand command;
  command.name = name;
  return command;
}

struct Collector {
  ClientMessage message;
  bool inSync = false;

  SmlRet Push(ClientCommand command) {
    command.inSync = inSync;
    message.commands.push_back(std::move(command));
    return SML_OK;
  }
};

template <class T>
SmlHandler<T> CollectItemCommand(Collector& collector, const char* name) {
  return [&collector, name](void*, std::unique_ptr<T> element) {
    ClientCommand command = CommandNamed(name);
    command.cmdId = element->cmdId;
    command.item = *element;
    return collector.Push(std::move(command));
  };
}

}  // namespace

ClientMessage DecodeClientMessage(const std::string& xml) {
  Collector collector;
  SmlHandlers handlers;
  handlers.startMessage = [&](void*, std::unique_ptr<SmlSyncHdr> header) {
    collector.message.header = *header;
    return SML_OK;
  };
  handlers.endMessage = [&](void*, bool final) {
    collector.message.final = final;
    return SML_OK;
  };
  handlers.startSync = [&](void*, std::unique_ptr<SmlSync> sync) {
    ClientCommand command = CommandNamed("Sync");
    command.cmdId = sync->cmdId.value_or("");
    command.sync = *sync;
    collector.Push(std::move(command));
    collector.inSync = true;
    return SML_OK;
  };
  handlers.endSync = [&](void*) {
    collector.inSync = false;
    return SML_OK;
  };
  handlers.addCmd = CollectItemCommand<SmlAdd>(collector, "Add");
  handlers.replaceCmd = CollectItemCommand<SmlReplace>(collector, "Replace");
  handlers.deleteCmd = CollectItemCommand<SmlDelete>(collector, "Delete");
  handlers.alertCmd = [&](void*, std::unique_ptr<SmlAlert> alert) {
    ClientCommand command = CommandNamed("Alert");
    command.cmdId = alert->cmdId;
    command.alert = *alert;
    return collector.Push(std::move(command));
  };
  handlers.statusCmd = [&](void*, std::unique_ptr<SmlStatus> status) {
    ClientCommand command = CommandNamed("Status");
    command.cmdId = status->cmdId;
    command.status = *status;
    return collector.Push(std::move(command));
  };
  handlers.mapCmd = [&](void*, std::unique_ptr<SmlMap> map) {
    ClientCommand command = CommandNamed("Map");
    command.cmdId = map->cmdId;
    command.map = *map;
    return collector.Push(std::move(command));
  };
  handlers.getCmd = [&](void*, std::unique_ptr<SmlGet> get) {
    ClientCommand command = CommandNamed("Get");
    command.cmdId = get->cmdId;
    command.get = *get;
    return collector.Push(std::move(command));
  };
  handlers.putCmd = [&](void*, std::unique_ptr<SmlPut> put) {
    ClientCommand command = CommandNamed("Put");
    command.cmdId = put->cmdId;
    command.put = *put;
    return collector.Push(std::move(command));
  };
  handlers.resultsCmd = [&](void*, std::unique_ptr<SmlResults> results) {
    ClientCommand command = CommandNamed("Results");
    command.cmdId = results->cmdId;
    command.results = *results;
    return collector.Push(std::move(command));
  };
  const SmlRet ret = SmlDecodeMessage(xml, handlers, nullptr);
  EXPECT_EQ(ret, SML_OK) << SmlResultName(ret) << " decoding " << xml;
  return collector.message;
}

SessionFixture::SessionFixture() {
  mConf.SetUrl("http://sync.example.test/");
  mConf.SetLogin("user");
  mConf.SetPassword("secret");
  mConf.SetClientStoreId("client-identity");
  CLog::Instance().Open(mDir.File("Sync.log"), LOG_DEBUG);
  EXPECT_TRUE(mStore.SetCurrentFolder(DATA_TYPE_CONTACTS, "", ""));
}

SessionFixture::~SessionFixture() { CLog::Instance().Close(); }

SessionServices TestSessionServices(CConf& conf, ItemSink* sink, std::unique_ptr<SyncTransport> transport, Prompt* prompt) {
  SessionServices services;
  services.transport = transport ? std::move(transport) : MakeHttpSyncTransport(conf);
  services.sink = sink;
  services.prompt = prompt;
  services.cancelRequested = [&conf] { return conf.SyncRunning() == CConf::RUN_CANCEL_REQUESTED; };
  services.silent = conf.Silent();
  services.autoResolveConflicts = conf.ConfResPol();
  return services;
}

std::unique_ptr<CSyncML> SessionFixture::MakeSession(long lastAnchor, CDatabaseObject* store, Prompt* prompt) {
  auto transport = std::make_unique<ScriptedTransport>();
  wire = transport.get();
  return MakeSessionOver(std::move(transport), lastAnchor, store, prompt);
}

std::unique_ptr<CSyncML> SessionFixture::MakeSessionOver(std::unique_ptr<SyncTransport> transport, long lastAnchor,
                                                         CDatabaseObject* store, Prompt* prompt) {
  ItemSink* sink = nullptr;
  if (store != nullptr) sink = mSinks.emplace_back(std::make_unique<StoreItemSink>(*store)).get();
  auto session = std::make_unique<CSyncML>(SessionSettings::FromConf(mConf),
                                           TestSessionServices(mConf, sink, std::move(transport), prompt), lastAnchor);
  session->SetTargetDatabase("./contacts");
  session->SetSourceDatabase("Contacts");
  if (store != nullptr && store->GetContentKind() == CONTENT_CALENDAR) session->SetFilterStartDate(mConf.SyncStartDate());
  return session;
}

ClientMessage SessionFixture::Exchange(CSyncML& session, const std::string& reply) {
  session.Finalize();
  wire->Reply(reply);
  session.SendRequest();
  session.Parse();
  return DecodeClientMessage(wire->PostedMessages().back().body);
}

ClientMessage SessionFixture::NextMessage(CSyncML& session) {
  session.Finalize();
  return DecodeClientMessage(session.OutgoingMessage());
}

std::string SessionFixture::LogText() const { return ReadFileBytes(mDir.File("Sync.log")); }
