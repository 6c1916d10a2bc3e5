// Scripted peer, reply texts, recorders and the two-link fixture of the driver tests.
#include "tests/support/SyncRunTestSupport.h"

#include <algorithm>

#include "common/CXException.h"
#include "common/StringIds.h"
#include "config/CLog.h"
#include "syncml/SyncTransport.h"

namespace {

class ScriptedTransport final : public SyncTransport {
 public:
  explicit ScriptedTransport(ScriptedPeer& peer) : mPeer(peer) {}
  std::string Post(const std::string& url, const std::string& message) override { return mPeer.Post(url, message); }

 private:
  ScriptedPeer& mPeer;
};

std::string Between(const std::string& text, const std::string& open, const std::string& close, size_t from = 0) {
  const size_t start = text.find(open, from);
  if (start == std::string::npos) return {};
  const size_t end = text.find(close, start + open.size());
  return end == std::string::npos ? std::string() : text.substr(start + open.size(), end - start - open.size());
}

}  // namespace

std::string ServerItemAdd(int cmdId, const std::string& serverId, const std::string& type, const std::string& data) {
  return "<Add><CmdID>" + std::to_string(cmdId) + "</CmdID><Item><Source><LocURI>" + serverId +
         "</LocURI></Source><Meta><Type xmlns='syncml:metinf'>" + type + "</Type></Meta><Data><![CDATA[" + data +
         "]]></Data></Item></Add>";
}

std::string ServerItemReplace(int cmdId, const std::string& localId, const std::string& type, const std::string& data) {
  return "<Replace><CmdID>" + std::to_string(cmdId) + "</CmdID><Item><Target><LocURI>" + localId +
         "</LocURI></Target><Meta><Type xmlns='syncml:metinf'>" + type + "</Type></Meta><Data><![CDATA[" + data +
         "]]></Data></Item></Replace>";
}

std::string ServerItemDelete(int cmdId, const std::string& localId) {
  return "<Delete><CmdID>" + std::to_string(cmdId) + "</CmdID><Item><Target><LocURI>" + localId + "</LocURI></Target></Item></Delete>";
}

// ---- Replies

std::string ServerReply(int msgId, const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><SyncML xmlns='SYNCML:SYNCML1.1'><SyncHdr><VerDTD>1.1</VerDTD>"
         "<VerProto>SyncML/1.1</VerProto><SessionID>7</SessionID><MsgID>" +
         std::to_string(msgId) +
         "</MsgID><Target><LocURI>client</LocURI></Target><Source><LocURI>http://sync.invalid/</LocURI></Source>"
         "</SyncHdr><SyncBody>" +
         body + "<Final/></SyncBody></SyncML>";
}

std::string HeaderStatus(const std::string& code) {
  return "<Status><CmdID>1</CmdID><MsgRef>1</MsgRef><CmdRef>0</CmdRef><Cmd>SyncHdr</Cmd><Data>" + code + "</Data></Status>";
}

std::string AlertStatus(const std::string& code) {
  return "<Status><CmdID>2</CmdID><MsgRef>1</MsgRef><CmdRef>1</CmdRef><Cmd>Alert</Cmd><Data>" + code + "</Data></Status>";
}

std::string ItemStatuses(const std::string& message, const std::string& code, int firstCmdId, const std::string& except) {
  const std::string msgRef = Between(message, "<MsgID>", "</MsgID>");
  std::string statuses;
  int cmdId = firstCmdId;
  for (std::size_t at = message.find('<'); at != std::string::npos; at = message.find('<', at + 1)) {
    if (message.compare(at, 9, "<![CDATA[") == 0) {
      at = message.find("]]>", at);
      if (at == std::string::npos) break;
      continue;
    }
    for (const char* command : {"Add", "Replace", "Delete"}) {
      const std::string open = std::string("<") + command + ">";
      if (message.compare(at, open.size(), open) != 0) continue;
      const std::string source = Between(message, "<Source><LocURI>", "</LocURI>", at);
      if (!except.empty() && source == except) continue;
      const std::string answer = !code.empty() ? code : std::string(command) == "Add" ? "201" : "200";
      statuses += "<Status><CmdID>" + std::to_string(cmdId++) + "</CmdID><MsgRef>" + msgRef + "</MsgRef><CmdRef>" +
                  Between(message, "<CmdID>", "</CmdID>", at) + "</CmdRef><Cmd>" + command + "</Cmd><SourceRef>" + source +
                  "</SourceRef><Data>" + answer + "</Data></Status>";
    }
  }
  return statuses;
}

std::string ServerAlert(const std::string& code) {
  return "<Alert><CmdID>5</CmdID><Data>" + code +
         "</Data><Item><Target><LocURI>local</LocURI></Target><Source><LocURI>./server</LocURI></Source></Item></Alert>";
}

std::string ServerSync(const std::string& commands) {
  return "<Sync><CmdID>3</CmdID><Target><LocURI>local</LocURI></Target><Source><LocURI>./server</LocURI></Source>" +
         commands + "</Sync>";
}

std::string ServerContactAdd(int cmdId, const std::string& serverId, const std::string& name) {
  return ServerItemAdd(cmdId, serverId, "text/x-vcard", "BEGIN:VCARD\r\nVERSION:2.1\r\nN:" + name + ";;;;\r\nFN:" + name + "\r\nEND:VCARD\r\n");
}

std::string ServerEventAdd(int cmdId, const std::string& serverId, const std::string& summary) {
  return ServerItemAdd(cmdId, serverId, "text/x-vcalendar",
                 "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:VEVENT\r\nSUMMARY:" + summary +
                     "\r\nDTSTART:20270105T090000Z\r\nDTEND:20270105T100000Z\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
}

int CountElements(const std::string& message, const std::string& element) {
  int count = 0;
  for (size_t at = message.find("<" + element + ">"); at != std::string::npos; at = message.find("<" + element + ">", at + 1)) ++count;
  return count;
}

std::string AlertCode(const std::string& message) {
  const size_t alert = message.find("<Alert>");
  return alert == std::string::npos ? std::string() : Between(message, "<Data>", "</Data>", alert);
}

// ---- Scripted peer

void ScriptedPeer::SetResponder(Responder responder) {
  std::lock_guard lock(mMutex);
  mResponder = std::move(responder);
}

void ScriptedPeer::SetHook(Hook hook) {
  std::lock_guard lock(mMutex);
  mHook = std::move(hook);
}

std::vector<ScriptedPeer::Posted> ScriptedPeer::Posts() const {
  std::lock_guard lock(mMutex);
  return mPosted;
}

std::vector<std::string> ScriptedPeer::SyncMessages() const {
  std::vector<std::string> messages;
  for (const Posted& posted : Posts()) {
    const bool check = posted.body.find("<MsgID>1</MsgID>") != std::string::npos && posted.body.find("<Alert>") == std::string::npos;
    if (!check) messages.push_back(posted.body);
  }
  return messages;
}

std::vector<std::string> ScriptedPeer::SyncSessions() const {
  std::vector<std::string> sessions;
  std::vector<std::string> ids;
  for (const std::string& message : SyncMessages()) {
    const std::string id = Between(message, "<SessionID>", "</SessionID>");
    const auto known = std::find(ids.begin(), ids.end(), id);
    if (known == ids.end()) {
      ids.push_back(id);
      sessions.push_back(message);
    } else {
      sessions[static_cast<std::size_t>(known - ids.begin())] += message;
    }
  }
  return sessions;
}

std::string ScriptedPeer::Post(const std::string& url, const std::string& message) {
  Responder responder;
  Hook hook;
  int index = 0;
  {
    std::lock_guard lock(mMutex);
    index = static_cast<int>(mPosted.size());
    mPosted.push_back({url, message});
    responder = mResponder;
    hook = mHook;
  }
  if (hook) hook(index);
  return responder ? responder(message, index) : DefaultReply(message, index);
}

std::string ScriptedPeer::DefaultReply(const std::string& message, int index) {
  const bool alert = message.find("<Alert>") != std::string::npos;
  return ServerReply(index + 1, HeaderStatus() + (alert ? AlertStatus("200") : "") + ItemStatuses(message));
}

std::unique_ptr<SyncTransport> ScriptedTransportFactory::CreateTransport(CConf&) {
  return std::make_unique<ScriptedTransport>(mServer);
}

// ---- Recorders

void RecordingObserver::SyncBegin() {
  std::lock_guard lock(mMutex);
  mEvents.push_back("begin");
}

void RecordingObserver::SyncLinkUpdate(int linkIndex, const CSyncLink& link) {
  std::lock_guard lock(mMutex);
  mEvents.push_back("link " + std::to_string(linkIndex) + " " + std::to_string(link.mState) + " " + link.mStatusText);
}

void RecordingObserver::SyncEnd() {
  std::lock_guard lock(mMutex);
  mEvents.push_back("end");
}

std::vector<std::string> RecordingObserver::Events() const {
  std::lock_guard lock(mMutex);
  return mEvents;
}

PromptAnswer AnsweringPrompt::Message(std::string_view text, PromptButtons, PromptKind) {
  std::lock_guard lock(mMutex);
  mTexts.emplace_back(text);
  return answer;
}

bool AnsweringPrompt::AskLogin(LoginRequest& request) {
  std::lock_guard lock(mMutex);
  mTexts.emplace_back("login");
  if (password.empty()) return false;
  request.password = password;
  return true;
}

SlowSyncAnswer AnsweringPrompt::AskSlowSync(const SlowSyncQuestion& question) {
  std::lock_guard lock(mMutex);
  slowSyncQuestions.push_back(question);
  return slowSync;
}

DeletionAnswer AnsweringPrompt::AskMassDeletion(const MassDeletionQuestion& question) {
  std::lock_guard lock(mMutex);
  deletionQuestions.push_back(question);
  return deletions;
}

std::vector<std::string> AnsweringPrompt::Texts() const {
  std::lock_guard lock(mMutex);
  return mTexts;
}

std::unique_ptr<CDatabaseObject> MirroredStoreFactory::CreateStore(CConf& conf, Prompt&) {
  auto store = std::make_unique<TestStore>(conf, TestStore::Options{TestStore::StampForm::OleDateText, mFolder});
  if (configure) configure(*store);
  return store;
}

// ---- Fixture

SyncRunTest::SyncRunTest() {
  mConf.Load(true);
  mConf.SetUrl("http://sync.invalid");
  mConf.SetLogin("user");
  mConf.SetPassword("secret");
  mConf.SetRememberPass(true);
  mConf.SetLanguage("en");
  mConf.SetSyncWithOutlook(LOCAL_APP_OUTLOOK);
  mConf.SetSyncAb(true);
  mConf.SetSyncCal(true);
  mConf.SetSyncTasks(true);
  mConf.SetSyncPeriod(5);
  mConf.SetClientStoreId("driver-test-client");
  mConf.SetSilent(true);
  for (const int type : {DATA_TYPE_CONTACTS, DATA_TYPE_EVENTS}) {
    CSyncLink link;
    link.mMode = SYNC_MODE_TWO_WAY;
    link.mDataType = type;
    link.mClientApp = LOCAL_APP_OUTLOOK;
    link.mLocalName = type == DATA_TYPE_CONTACTS ? "Contacts" : "Calendar";
    link.mLocalPath = "\\\\Personal\\" + link.mLocalName;
    mConf.Links().Add(link);
  }
  mConf.Save();
}

SyncRunTest::~SyncRunTest() {
  mRun.reset();
  CLog::Instance().Close();
}

std::unique_ptr<TestStore> SyncRunTest::OpenStore() {
  return std::make_unique<TestStore>(mConf, TestStore::Options{TestStore::StampForm::OleDateText, mDir.Path() + "store"});
}

std::unique_ptr<CSyncRun> SyncRunTest::MakeRun() {
  return std::make_unique<CSyncRun>(mConf, CSyncRun::Services{mObserver, mPrompt, mStores, mUpdates, &mTransports});
}

SyncRunStart SyncRunTest::RunOnce(int selected) {
  if (!mRun) mRun = MakeRun();
  mRun->SetSelectedLink(selected);
  const SyncRunStart start = mRun->BeginSyncRun();
  mRun->WaitForEnd();
  return start;
}

std::string SyncRunTest::AnchorText(int linkIndex) const {
  return ReadFileBytes(mConf.ConfigFolder() + mConf.Links().At(static_cast<std::size_t>(linkIndex)).LocalFileName() + ".anc");
}

std::string SyncRunTest::IndexBytes(int linkIndex) const {
  return ReadFileBytes(mConf.ConfigFolder() + mConf.Links().At(static_cast<std::size_t>(linkIndex)).LocalFileName() + ".dat");
}

void ConfigureThreeTwoWayLinks(CConf& conf) {
  conf.SetSyncAb(true);
  conf.SetSyncCal(true);
  conf.SetSyncTasks(true);
  conf.SetSyncPeriod(5);
  conf.SetSyncMime("application/vnd.syncml+xml");
  const char* names[] = {"Contacts", "Calendar", "Tasks"};
  for (const int type : {DATA_TYPE_CONTACTS, DATA_TYPE_EVENTS, DATA_TYPE_TASKS}) {
    CSyncLink link;
    link.mMode = SYNC_MODE_TWO_WAY;
    link.mDataType = type;
    link.mClientApp = LOCAL_APP_OUTLOOK;
    link.mLocalName = names[type];
    link.mLocalPath = names[type];
    conf.Links().Add(link);
  }
}
