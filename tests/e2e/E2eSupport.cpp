// The local server, the end-to-end client and content comparison.
#include "tests/e2e/E2eSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "common/CXException.h"
#include "config/CLog.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "pim/CalendarRecordBuilder.h"
#include "pim/ContactRecordBuilder.h"
#include "stores/folder/FolderStore.h"
#include "tests/support/PeerServer.h"

namespace {

namespace fs = std::filesystem;

std::string ShellQuoted(const std::string& argument) {
  std::string quoted = "'";
  for (const char c : argument) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string Canonical(const CDataItem& record, std::initializer_list<const char*> keys) {
  std::string text;
  for (const char* key : keys) {
    const std::string& value = record.Property(key);
    // A list of nothing (an empty EMAIL line gives a lone tab) says as little as no value.
    if (value.find_first_not_of('\t') != std::string::npos) text += std::string(key) + "=" + value + ";";
  }
  return text;
}

class FolderStoreFactory final : public SyncStoreFactory {
 public:
  explicit FolderStoreFactory(std::string root) : mRoot(std::move(root)) {}
  std::unique_ptr<CDatabaseObject> CreateStore(CConf& conf) override { return std::make_unique<FolderStore>(conf, mRoot); }

 private:
  std::string mRoot;
};

class HookedTransportFactory final : public SyncTransportFactory {
 public:
  HookedTransportFactory(HookedTransport::Hook before, HookedTransport::Hook after)
      : mBefore(std::move(before)), mAfter(std::move(after)) {}
  std::unique_ptr<SyncTransport> CreateTransport(const CConf& conf) override {
    return std::make_unique<HookedTransport>(MakeHttpSyncTransport(conf), mSessions++, mBefore, mAfter);
  }

 private:
  HookedTransport::Hook mBefore;
  HookedTransport::Hook mAfter;
  std::atomic<int> mSessions{0};
};

class RefusedUpdate final : public UpdateStarter {
 public:
  void StartUpdate(CConf&) override { throw CUpdaterException(std::string("no update in tests")); }
};

}  // namespace

// ---- Server

SyncEvolutionServer::SyncEvolutionServer() { Start(); }

SyncEvolutionServer::~SyncEvolutionServer() {
  try {
    Stop();
  } catch (const std::exception&) {
    // The folder goes away with the object; nothing more to do.
  }
}

void SyncEvolutionServer::Start() {
  std::vector<std::string> arguments{"start", mDir.Path() + "server"};
  if (!mPort.empty()) arguments.push_back(mPort);
  const std::string output = Run(arguments);
  const size_t at = output.rfind("URL=");
  if (at == std::string::npos) throw std::runtime_error("no URL from the SyncML server script: " + output);
  mUrl = output.substr(at + 4, output.find('\n', at) - at - 4);
  const size_t colon = mUrl.rfind(':');
  mPort = mUrl.substr(colon + 1, mUrl.find('/', colon) - colon - 1);
  mRunning = true;
}

void SyncEvolutionServer::Stop() {
  if (!mRunning) return;
  mRunning = false;
  Run({"stop", mDir.Path() + "server"});
}

void SyncEvolutionServer::AddPeer(const std::string& deviceId, const std::string& user, const std::string& password) {
  Run({"add-peer", mDir.Path() + "server", deviceId, user, password});
}

std::string SyncEvolutionServer::DatastoreFolder(const std::string& name) const { return mDir.Path() + "server/data/" + name + "/"; }

void SyncEvolutionServer::ClearDatastores() {
  for (const char* name : {"contacts", "events", "tasks"}) {
    for (const auto& entry : fs::directory_iterator(DatastoreFolder(name))) fs::remove_all(entry.path());
  }
}

std::string SyncEvolutionServer::LogTail() const {
  const std::string log = ReadFileBytes(mDir.Path() + "server/logs/http-server.log");
  return log.size() > 3000 ? log.substr(log.size() - 3000) : log;
}

std::string SyncEvolutionServer::Run(const std::vector<std::string>& arguments) const {
  std::string command = ShellQuoted(LARK_SOURCE_DIR "/scripts/syncml-server");
  for (const std::string& argument : arguments) command += " " + ShellQuoted(argument);
  command += " 2>&1";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run " + command);
  std::string output;
  char buffer[4096];
  for (size_t read; (read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, read);
  const int status = ::pclose(pipe);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(command + " failed: " + output);
  return output;
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
  return Canonical(*record, {"VC_SUMMARY", "VC_DTSTART", "VC_DTEND", "VC_DUE", "VC_LOCATION", "VC_PRIORITY"});
}

std::vector<std::string> FolderContents(const std::string& folder, bool calendar) {
  std::vector<std::string> contents;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file() || name.find(".group") != std::string::npos) continue;
    const std::string text = ReadFileBytes(entry.path().string());
    contents.push_back(calendar ? CalendarContent(text) : ContactContent(text));
  }
  std::sort(contents.begin(), contents.end());
  return contents;
}

// ---- Hooked transport

HookedTransport::HookedTransport(std::unique_ptr<SyncTransport> inner, int session, Hook beforePost, Hook afterPost)
    : mInner(std::move(inner)), mSession(session), mBeforePost(std::move(beforePost)), mAfterPost(std::move(afterPost)) {}

std::string HookedTransport::Post(const std::string& url, const std::string& message) {
  const int number = mMessages++;
  if (mBeforePost) mBeforePost(mSession, number);
  std::string reply = mInner->Post(url, message);
  if (mAfterPost) mAfterPost(mSession, number);
  return reply;
}

// ---- Client

SyncEvolutionServer* E2eTest::sServer = nullptr;

void E2eTest::SetUpTestSuite() {
  if (!PeerServer::MissingPrograms().empty()) return;
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  sServer = new SyncEvolutionServer();
}

void E2eTest::TearDownTestSuite() {
  delete sServer;
  sServer = nullptr;
}

void E2eTest::SetUp() {
  const std::string missing = PeerServer::MissingPrograms();
  if (!missing.empty()) GTEST_SKIP() << "SyncML server not installed (scripts/packages/peer.txt): " << missing;
  ASSERT_NE(sServer, nullptr);
  sServer->ClearDatastores();
  mStoreRoot = mDir.Path() + "items/";
  mConf = std::make_unique<CConf>(mDir.Path() + "config");
  mConf->Load(true);
  const std::string identity = "e2e-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                               std::to_string(::getpid());
  sServer->AddPeer(identity, kUser, kPassword);
  mConf->SetUrl(sServer->Url());
  mConf->SetLogin(kUser);
  mConf->SetPassword(kPassword);
  mConf->SetRememberPass(true);
  mConf->SetLanguage("en");
  mConf->SetSyncWithOutlook(LOCAL_APP_OUTLOOK);
  mConf->SetClientStoreId(identity);
  mConf->SetValue(CConf::kSection, "OutlookID", identity);  // kept in the file, as the program keeps it
  mConf->SetSyncAb(true);
  mConf->SetSyncCal(true);
  mConf->SetSyncTasks(true);
  mConf->SetSyncPeriod(5);
  mConf->SetSyncMime("application/vnd.syncml+xml");
  mConf->SetSilent(true);
  const char* names[] = {"Contacts", "Calendar", "Tasks"};
  for (const int type : {DATA_TYPE_CONTACTS, DATA_TYPE_EVENTS, DATA_TYPE_TASKS}) {
    CSyncLink link;
    link.mMode = SYNC_MODE_TWO_WAY;
    link.mDataType = type;
    link.mClientApp = LOCAL_APP_OUTLOOK;
    link.mLocalName = names[type];
    link.mLocalPath = names[type];
    mConf->Links().Add(link);
  }
  mConf->Save();
  FolderStore created(*mConf, mStoreRoot);
  ASSERT_EQ(created.mInitError, 0u);
}

void E2eTest::TearDown() {
  mRun.reset();
  CLog::Instance().Close();
}

SyncRunOutcome E2eTest::Sync(int selected) {
  std::ostringstream progress;
  ConsoleSyncObserver observer(progress);
  HeadlessPrompt prompt(progress);
  FolderStoreFactory stores(mStoreRoot);
  RefusedUpdate updates;
  HookedTransportFactory transports(mBeforePost, mAfterPost);
  mRun = std::make_unique<CSyncRun>(*mConf, CSyncRun::Services{observer, prompt, stores, updates, &transports});
  mRun->SetSelectedLink(selected);
  mRun->BeginSyncRun();
  mRun->WaitForEnd();
  const SyncRunOutcome outcome = mRun->LastOutcome();
  mRun.reset();
  return outcome;
}

bool E2eTest::SyncInChildKilledBy(const HookedTransport::Hook& beforePost, const HookedTransport::Hook& afterPost) {
  const pid_t child = ::fork();
  if (child == 0) {
    mBeforePost = beforePost;
    mAfterPost = afterPost;
    Sync();
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  // The child's configuration was saved after its finished links; the next run reads it anew.
  mConf->Load(false);
  return WIFSIGNALED(status);
}

void E2eTest::WriteLocal(const std::string& folder, const std::string& file, const std::string& text) {
  WriteFileBytes(LocalFolder(folder) + file, text);
}

// A server file changed within the second of the server's last look would keep its revision;
// a time well after that makes every change visible.
void E2eTest::WriteServer(const std::string& datastore, const std::string& file, const std::string& text) {
  const std::string path = ServerFolder(datastore) + file;
  WriteFileBytes(path, text);
  const time_t when = ::time(nullptr) + 60 + (++mServerWrites);
  const timespec times[2] = {{when, 0}, {when, 0}};
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

void E2eTest::ExpectBothSidesEqual() {
  const std::pair<const char*, const char*> sides[] = {{"contacts", "contacts"}, {"events", "events"}, {"tasks", "tasks"}};
  for (const auto& [local, server] : sides) {
    const bool calendar = std::string(local) != "contacts";
    EXPECT_EQ(FolderContents(LocalFolder(local), calendar), FolderContents(ServerFolder(server), calendar)) << local;
  }
}

std::string E2eTest::AnchorAndIndex(int index) const {
  const std::string base = mConf->ConfigFolder() + mConf->Links().At(static_cast<std::size_t>(index)).LocalFileName();
  return ReadFileBytes(base + ".anc") + "|" + ReadFileBytes(base + ".dat");
}

std::string E2eTest::LogText() const { return ReadFileBytes(mConf->LogPath()); }

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
