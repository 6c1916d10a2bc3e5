// The local server, the end-to-end client and content comparison.
#include "tests/e2e/E2eSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "common/CXException.h"
#include "config/CLog.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "pim/CalendarRecordBuilder.h"
#include "pim/ContactRecordBuilder.h"
#include "stores/folder/FolderStore.h"
#include "tests/support/SyncRunTestSupport.h"

namespace {

namespace fs = std::filesystem;

std::string Canonical(const CDataItem& record, std::initializer_list<const char*> keys) {
  std::string text;
  for (const char* key : keys) {
    const std::string& value = record.Property(key);
    // A list of nothing (an empty EMAIL line gives a lone tab) says as little as no value.
    if (value.find_first_not_of('\t') != std::string::npos) text += std::string(key) + "=" + value + ";";
  }
  return text;
}

class CheckpointHook final : public SyncCheckpoints {
 public:
  explicit CheckpointHook(std::function<void(const char*)> hook) : mHook(std::move(hook)) {}
  void Reached(const char* step) override {
    if (mHook) mHook(step);
  }

 private:
  std::function<void(const char*)> mHook;
};

}  // namespace

std::string StoreAndPeerTestName(const ::testing::TestParamInfo<E2eParam>& info) {
  return std::string(StoreName(info.param.store)) + "_" + PeerName(info.param.peer);
}

// ---- Known faults

bool ShowsFault(PeerKind kind, PeerFault fault) {
  switch (fault) {
    case PeerFault::DropsItsChangesAfterAPackageOfSeveralMessages:
      return kind == PeerKind::Virtuoso;
    case PeerFault::ForgetsTheChangesOfAnAbortedSession:
      return kind == PeerKind::SyncEvolution;
  }
  return false;
}

bool ForcesSlowSyncOnUnknownAnchor(PeerKind kind) { return kind != PeerKind::Virtuoso; }

bool SkipKnownFaults() {
  const char* run = std::getenv("LARK_RUN_KNOWN_FAULTS");
  return run == nullptr || *run == '\0';
}

const char* FaultText(PeerFault fault) {
  switch (fault) {
    case PeerFault::DropsItsChangesAfterAPackageOfSeveralMessages:
      return "the server sends none of its changes when the client's package spans several messages";
    case PeerFault::ForgetsTheChangesOfAnAbortedSession:
      return "the server never re-sends the changes of a reply the client did not receive";
  }
  return "";
}

// ---- Contents

std::string ContactContent(const std::string& vcardText) {
  VCardContext context;
  const PVCardPtr card = Zep3_PVCard_FromStream(&context, vcardText);
  if (!card) return "unreadable";
  CDataItem record;
  ContactRecordBuilder(record).Build(*card);
  return Canonical(record, {"PR_DISPLAY_NAME", "PR_SURNAME", "PR_GIVEN_NAME", "PR_COMPANY_NAME", "PR_TITLE", "PR_COMMENT",
                            "PR_CONTACT_EMAIL_ADDRESSES", "PR_BUSINESS_TELEPHONE_NUMBER", "PR_HOME_TELEPHONE_NUMBER",
                            "PR_MOBILE_TELEPHONE_NUMBER", "PR_BUSINESS_HOME_PAGE", "PR_STREET_ADDRESS", "PR_LOCALITY"});
}

std::string CalendarContent(const std::string& vcalendarText) {
  const CDataItem::Ptr record = CalendarRecordBuilder::Build(vcalendarText);
  if (!record) return "unreadable";
  // A store whose items always have an importance (Outlook) sends the middle priority for the
  // normal one: it says no more than an item without a priority.
  if (record->Property("VC_PRIORITY") == "2") record->properties.erase("VC_PRIORITY");
  return Canonical(*record, {"VC_SUMMARY", "VC_DTSTART", "VC_DTEND", "VC_DUE", "VC_LOCATION", "VC_PRIORITY"});
}

std::vector<std::string> Contents(const std::vector<std::string>& texts, bool calendar) {
  std::vector<std::string> contents;
  for (const std::string& text : texts) contents.push_back(calendar ? CalendarContent(text) : ContactContent(text));
  std::sort(contents.begin(), contents.end());
  return contents;
}

std::vector<std::string> FolderContents(const std::string& folder, bool calendar) {
  std::vector<std::string> texts;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file() || name.find(".group") != std::string::npos) continue;
    texts.push_back(ReadFileBytes(entry.path().string()));
  }
  return Contents(texts, calendar);
}

// ---- Hooked transport

HookedTransport::HookedTransport(std::unique_ptr<SyncTransport> inner, int session, Hook beforePost, Hook afterPost,
                                 Inspect inspect)
    : mInner(std::move(inner)),
      mSession(session),
      mBeforePost(std::move(beforePost)),
      mAfterPost(std::move(afterPost)),
      mInspect(std::move(inspect)) {}

std::string HookedTransport::Post(const std::string& url, const std::string& message) {
  const int number = mMessages++;
  if (mInspect) mInspect(mSession, number, message);
  if (mBeforePost) mBeforePost(mSession, number);
  std::string reply = mInner->Post(url, message);
  if (mAfterPost) mAfterPost(mSession, number);
  return reply;
}

// ---- Client

namespace {

// The servers of the test process, one per kind, started by the first test that needs it.
std::map<PeerKind, std::unique_ptr<SyncPeer>>& Servers() {
  static std::map<PeerKind, std::unique_ptr<SyncPeer>> servers;
  return servers;
}

}  // namespace

SyncPeer& E2eTest::Server() const {
  std::unique_ptr<SyncPeer>& server = Servers()[GetParam()];
  if (!server) {
    server = SyncPeer::Make(GetParam());
    server->Start();
  }
  return *server;
}

void E2eTest::TearDownTestSuite() { Servers().clear(); }

void E2eTest::SetUp() {
  const std::string missing = SyncPeer::MissingPrograms(GetParam());
  if (!missing.empty()) {
    GTEST_SKIP() << PeerName(GetParam()) << " not installed (scripts/packages/peer.txt, virtuoso.txt): " << missing;
  }
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  SyncPeer& server = Server();
  if (!server.Running()) server.Start();  // a test that stopped it failed before restarting it
  server.Clear();
  mStoreRoot = mDir.Path() + "items/";
  mLocal = MakeLocalSide(GetParam().store, mDir.Path());
  mConf = std::make_unique<CConf>(mDir.Path() + "config");
  mConf->Load(true);
  mIdentity = "e2e-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" + std::to_string(::getpid());
  const std::string& identity = mIdentity;
  const PeerLogin login = server.AddPeer(identity);
  mConf->SetUrl(server.Url());
  mConf->SetLogin(login.user);
  mConf->SetPassword(login.password);
  mConf->SetRememberPass(true);
  mConf->SetLanguage("en");
  mConf->SetSyncWithOutlook(LOCAL_APP_OUTLOOK);
  mConf->SetClientStoreId(identity);
  mConf->SetValue(CConf::kSection, "OutlookID", identity);  // kept in the file, as the program keeps it
  ConfigureThreeTwoWayLinks(*mConf);
  mConf->SetSilent(true);
  mLocal->Configure(*mConf);
  mConf->Save();
}

void E2eTest::TearDown() {
  mRun.reset();
  CLog::Instance().Close();
  KeepLog();
  KeepServerLogs();
}

// Beside the client logs, the server's own (<dir>/<test>.<server>.server/), of every session since
// the server started.
void E2eTest::KeepServerLogs() {
  const char* keep = std::getenv("LARK_E2E_LOG_DIR");
  const std::string folder = Server().LogFolder();
  if (keep == nullptr || *keep == '\0' || folder.empty()) return;
  const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  const fs::path target = fs::path(keep) / (name.substr(0, name.find('/')) + "." + PeerName(GetParam()) + ".server");
  std::error_code ignored;
  for (const auto& entry : fs::recursive_directory_iterator(folder, ignored)) {
    const std::string extension = entry.path().extension().string();
    if (!entry.is_regular_file() || (extension != ".log" && extension != ".html")) continue;
    const fs::path copy = target / fs::relative(entry.path(), folder);
    fs::create_directories(copy.parent_path(), ignored);
    fs::copy_file(entry.path(), copy, fs::copy_options::overwrite_existing, ignored);
  }
}

// LARK_E2E_LOG_DIR keeps the client logs of each test's runs, one after the other
// (<dir>/<test>.<server>.log), for a look afterwards; each run begins its log anew.
void E2eTest::KeepLog(bool killed) {
  const char* keep = std::getenv("LARK_E2E_LOG_DIR");
  if (keep == nullptr || *keep == '\0' || !mConf) return;
  const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  const std::string path = std::string(keep) + "/" + name.substr(0, name.find('/')) + "." + PeerName(GetParam()) + ".log";
  mKeptLog += "==== run " + std::to_string(++mRunsLogged) + (killed ? " (killed)" : "") + "\n" + LogText();
  std::filesystem::create_directories(keep);
  WriteFileBytes(path, mKeptLog);
}

SyncRunOutcome E2eTest::Sync(int selected) {
  std::ostringstream progress;
  ConsoleSyncObserver observer(progress);
  HeadlessPrompt headless(progress);
  Prompt& prompt = mPrompt != nullptr ? *mPrompt : headless;
  const std::unique_ptr<SyncStoreFactory> stores = mLocal->MakeStoreFactory(mKillAfterServerWrites);
  RefusedUpdate updates;
  HookedTransportFactory transports(mBeforePost, mAfterPost, mInspect);
  CheckpointHook checkpoints(mCheckpoint);
  mRun = std::make_unique<CSyncRun>(*mConf, CSyncRun::Services{observer, prompt, *stores, updates, &transports, &checkpoints});
  mRun->SetSelectedLink(selected);
  mRun->BeginSyncRun();
  mRun->WaitForEnd();
  const SyncRunOutcome outcome = mRun->LastOutcome();
  mRun.reset();
  KeepLog();
  return outcome;
}

bool E2eTest::SyncInChildKilledBy(const HookedTransport::Hook& beforePost, const HookedTransport::Hook& afterPost) {
  // The hooks are the child's only.
  HookedTransport::Hook before = std::exchange(mBeforePost, beforePost);
  HookedTransport::Hook after = std::exchange(mAfterPost, afterPost);
  const bool killed = SyncInChild();
  mBeforePost = std::move(before);
  mAfterPost = std::move(after);
  return killed;
}

bool E2eTest::SyncInChild(int selected) {
  const pid_t child = ::fork();
  if (child == 0) {
    Sync(selected);
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  KeepLog(WIFSIGNALED(status));
  // The child's configuration was saved after its finished links; the next run reads it anew.
  mConf->Load(false);
  return WIFSIGNALED(status);
}

void E2eTest::WriteLocal(const std::string& folder, const std::string& file, const std::string& text) {
  WriteFileBytes(LocalFolder(folder) + file, text);
}

void E2eTest::WriteServer(const std::string& datastore, const std::string& name, const std::string& text) {
  Server().PutItem(datastore, name, text);
}

void E2eTest::DeleteServer(const std::string& datastore, const std::string& name) { Server().DeleteItem(datastore, name); }

std::vector<std::string> E2eTest::ServerContents(const std::string& datastore) const {
  return Contents(Server().Items(datastore), datastore != "contacts");
}

void E2eTest::ExpectBothSidesEqual() {
  EXPECT_EQ(LocalContacts(), ServerContents("contacts")) << "contacts";
  if (Can().calendar) {
    EXPECT_EQ(Contents(mLocal->CalendarItems(DATA_TYPE_EVENTS), true), ServerContents("events")) << "events";
  }
  if (Can().tasks) {
    EXPECT_EQ(Contents(mLocal->CalendarItems(DATA_TYPE_TASKS), true), ServerContents("tasks")) << "tasks";
  }
}

std::string E2eTest::AnchorAndIndex(int index) const {
  const std::string base = mConf->ConfigFolder() + mConf->Links().At(static_cast<std::size_t>(index)).LocalFileName();
  return ReadFileBytes(base + ".anc") + "|" + ReadFileBytes(base + ".dat");
}

std::string E2eTest::LogText() const { return ReadFileBytes(mConf->LogPath()); }

int E2eTest::ItemCommandsInLog() const {
  const std::string log = LogText();
  int count = 0;
  for (const char* operation : {"CSyncML::Add\tDebug\tItem Id", "CSyncML::Replace\tDebug\tItem Id", "\tCSyncML::Delete\tDebug\tBegin"}) {
    for (size_t at = log.find(operation); at != std::string::npos; at = log.find(operation, at + 1)) ++count;
  }
  return count;
}

// ---- Samples

std::string VCard(const std::string& given, const std::string& family, const std::string& extraLines) {
  return "BEGIN:VCARD\r\nVERSION:2.1\r\nN:" + family + ";" + given + ";;;\r\nFN:" + given + " " + family + "\r\n" + extraLines +
         "END:VCARD\r\n";
}

std::string VEvent(const std::string& summary, const std::string& start, const std::string& end) {
  return "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:VEVENT\r\nSUMMARY:" + summary + "\r\nDTSTART:" + start + "\r\nDTEND:" + end +
         "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

std::string VTodo(const std::string& summary, const std::string& due) {
  return "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:VTODO\r\nSUMMARY:" + summary + "\r\nDUE:" + due +
         "\r\nEND:VTODO\r\nEND:VCALENDAR\r\n";
}
