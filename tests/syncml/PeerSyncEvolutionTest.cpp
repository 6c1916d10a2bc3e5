// The session against a real SyncML server on loopback (SyncEvolution's HTTP server with file
// datastores): the header-only check, the database request, a first slow-sync message with a card
// answered in well-formed messages until the server ends the session, and the two-way session after.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "config/CLog.h"
#include "syncml/DatabaseRequest.h"
#include "tests/support/PeerServer.h"
#include "tests/syncml/CSyncMLTestSupport.h"

namespace {

constexpr const char* kIdentity = "larkspan-peer-test-client";
constexpr const char* kUser = "alice";
constexpr const char* kPassword = "s3cret:pass";

class PeerSyncEvolution : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!PeerServer::MissingPrograms().empty()) return;
    sServer = std::make_unique<PeerServer>(std::string(LARK_SOURCE_DIR) + "/scripts/syncml-server");
    sServer->AddPeer(kIdentity, kUser, kPassword);
    // A database the classification does not know: the server lists it as "./family".
    sServer->AddDatastore("family", "contacts");
  }
  static void TearDownTestSuite() {
    sServer.reset();
  }

  void SetUp() override {
    const std::string missing = PeerServer::MissingPrograms();
    if (!missing.empty()) GTEST_SKIP() << "SyncML server not installed (scripts/packages/peer.txt): " << missing;
    ASSERT_NE(sServer, nullptr);
    mConf.SetUrl(sServer->Url());
    mConf.SetLogin(kUser);
    mConf.SetPassword(kPassword);
    mConf.SetClientStoreId(kIdentity);
    mConf.SetSyncMime("application/vnd.syncml+xml");
    mConf.SetMaxMsgSize(65536);
    CLog::Instance().Open(mDir.File("Sync.log"), LOG_DEBUG);
    ASSERT_TRUE(mStore.SetCurrentFolder(DATA_TYPE_CONTACTS, "", ""));
  }
  void TearDown() override { CLog::Instance().Close(); }

  // The error state after the header-only check exchange.
  int CheckState() {
    CSyncML session(SessionSettings::FromConf(mConf), TestSessionServices(mConf, nullptr), 0);
    session.StartMessage(false);
    session.Finalize();
    session.SendRequest();
    session.Parse();
    return session.GetErrorState();
  }

  static std::unique_ptr<PeerServer> sServer;
  TempDir mDir;
  CConf mConf{mDir.Path()};
  TestStore mStore{mConf};
  StoreItemSink mSink{mStore};
};

std::unique_ptr<PeerServer> PeerSyncEvolution::sServer;

TEST_F(PeerSyncEvolution, HeaderOnlyCheckPassesWithTheRightLoginAndFailsWithAWrongOne) {
  EXPECT_EQ(CheckState(), SYNC_ERROR_NONE);
  mConf.SetPassword("wrong");
  EXPECT_EQ(CheckState(), SYNC_ERROR_AUTHENTICATION);
}

TEST_F(PeerSyncEvolution, DeviceInformationRequestRebuildsTheLinksFromTheServersDatabases) {
  CSyncLink configured;
  configured.mDataType = DATA_TYPE_EVENTS;
  configured.mMode = SYNC_MODE_TWO_WAY;
  configured.mLocalPath = "Calendar";
  mConf.Links().Add(configured);
  RecordingPrompt prompt;
  ASSERT_EQ(RequestServerDatabases(mConf, prompt), DatabaseRequestResult::Succeeded)
      << (prompt.messages.empty() ? "" : prompt.messages.back());
  // contacts, events and tasks; "./family" is no contacts, events or tasks database and is left out.
  ASSERT_EQ(mConf.Links().Size(), 3u);
  EXPECT_EQ(mConf.Links().At(0).mDataType, DATA_TYPE_CONTACTS);
  EXPECT_EQ(mConf.Links().At(0).mServerName, "");
  EXPECT_EQ(mConf.Links().At(1), configured);
  EXPECT_EQ(mConf.Links().At(2).mDataType, DATA_TYPE_TASKS);
  for (const CSyncLink& link : mConf.Links()) EXPECT_EQ(link.mReadOnly, 0);
}

// Runs exchanges as the sync driver does until the server ends the session; the messages sent.
std::vector<ClientMessage> RunSession(CSyncML& session) {
  std::vector<ClientMessage> sent;
  for (int round = 0; round < 8; ++round) {
    session.Finalize();
    sent.push_back(DecodeClientMessage(session.OutgoingMessage()));
    session.SendRequest();
    session.Parse();
    EXPECT_TRUE(IsErrorFree(session.GetErrorState())) << session.GetErrorText() << "\n" << session.ReceivedMessage();
    if (!IsErrorFree(session.GetErrorState())) break;
    // The server confirms a slow sync with its own Alert 201; the session goes on as a slow one.
    if (session.GetErrorState() == SYNC_ERROR_SLOW_REQUESTED) session.SetErrorState(SYNC_ERROR_SLOW_SYNC);
    if (session.IsFinished()) break;
  }
  EXPECT_TRUE(session.IsFinished()) << "the server did not end the session";
  return sent;
}

TEST_F(PeerSyncEvolution, SlowSyncWithACardThenATwoWaySyncAreAcceptedAndEveryAnswerDecodes) {
  {
    std::ofstream seed(sServer->DatastoreFolder("contacts") + "server-card-1");
    seed << "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Server;Sam;;;\r\nFN:Sam Server\r\nEMAIL:sam@example.org\r\nEND:VCARD\r\n";
  }
  std::vector<ClientMessage> sent;
  {
    CSyncML session(SessionSettings::FromConf(mConf), TestSessionServices(mConf, &mSink), -1);
    session.SetTargetDatabase("./contacts");
    session.SetSourceDatabase("Contacts");
    session.SetErrorState(SYNC_ERROR_SLOW_SYNC);
    session.StartMessage(false);
    session.Alert("", "");
    session.StartSync();
    session.Add("local-1", VCardText("Lara Local"), "text/x-vcard");
    sent = RunSession(session);
    EXPECT_FALSE(session.RespUri().empty());
  }
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[0].Named("Alert").at(0).alert.data.text, "201");
  EXPECT_EQ(sent[0].Named("Add").size(), 1u);

  // The server stored the card, and the client stored the server's card and mapped it.
  bool stored = false;
  for (const std::string& item : sServer->Items("contacts")) stored = stored || item.find("Lara Local") != std::string::npos;
  EXPECT_TRUE(stored);
  ASSERT_EQ(mStore.HeldCount(DATA_TYPE_CONTACTS), 1u);
  const std::string localId = mStore.HeldIds(DATA_TYPE_CONTACTS)[0];
  EXPECT_EQ(mStore.Held(localId)->Property("PR_DISPLAY_NAME"), "Sam Server");
  bool mapped = false;
  for (const ClientMessage& message : sent) {
    for (const ClientCommand& map : message.Named("Map")) {
      mapped = mapped || (map.map.mapItems.at(0).target->locUri == "server-card-1" &&
                          map.map.mapItems.at(0).source->locUri == localId);
    }
    for (const ClientCommand& status : message.Named("Status")) EXPECT_FALSE(status.status.msgRef.value_or("").empty());
  }
  EXPECT_TRUE(mapped);

  // The next session is an ordinary two-way one: the server deletes the card it removed.
  std::filesystem::remove(sServer->DatastoreFolder("contacts") + "server-card-1");
  ASSERT_EQ(mStore.LoadContent("contacts"), kStoreOk);
  CSyncML twoWay(SessionSettings::FromConf(mConf), TestSessionServices(mConf, &mSink), 0);
  twoWay.SetTargetDatabase("./contacts");
  twoWay.SetSourceDatabase("Contacts");
  twoWay.StartMessage(false);
  twoWay.Alert("", "");
  twoWay.StartSync();
  RunSession(twoWay);
  EXPECT_EQ(twoWay.GetErrorState(), SYNC_ERROR_NONE);
  EXPECT_EQ(mStore.HeldCount(DATA_TYPE_CONTACTS), 0u);
  EXPECT_EQ(ReadFileBytes(mDir.File("Sync.log")).find(kPassword), std::string::npos);
}

}  // namespace
