// The local SyncML servers' scripts: a server stopped in the middle of a session leaves no process
// behind (SyncEvolution runs a helper process per session), and a restart keeps its items.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/Base64.h"
#include "config/CConf.h"
#include "syncml/SyncTransport.h"
#include "tests/support/SyncPeer.h"

namespace {

constexpr const char* kDevice = "server-script-test-device";

std::string Command(const std::string& pid) {
  std::string name = ReadFileBytes("/proc/" + pid + "/comm");
  while (!name.empty() && name.back() == '\n') name.pop_back();
  return name;
}

// The first message of a slow sync of contacts with one card, as a client writes it.
std::string SlowSyncMessage(const std::string& url, const PeerLogin& login) {
  const std::string card = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Stopper;Sam;;;\r\nFN:Sam Stopper\r\nEND:VCARD\r\n";
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><SyncML xmlns='SYNCML:SYNCML1.1'><SyncHdr><VerDTD>1.1</VerDTD>"
         "<VerProto>SyncML/1.1</VerProto><SessionID>77</SessionID><MsgID>1</MsgID><Target><LocURI>" + url +
         "</LocURI></Target><Source><LocURI>" + kDevice + "</LocURI></Source><Cred><Meta><Format xmlns='syncml:metinf'>b64"
         "</Format><Type xmlns='syncml:metinf'>syncml:auth-basic</Type></Meta><Data>" +
         EncodeBase64(login.user + ":" + login.password) +
         "</Data></Cred><Meta><MaxMsgSize xmlns='syncml:metinf'>60000</MaxMsgSize></Meta></SyncHdr><SyncBody>"
         "<Alert><CmdID>1</CmdID><Data>201</Data><Item><Target><LocURI>./contacts</LocURI></Target><Source><LocURI>Contacts"
         "</LocURI></Source><Meta><Anchor xmlns='syncml:metinf'><Last>0</Last><Next>1</Next></Anchor></Meta></Item></Alert>"
         "<Sync><CmdID>2</CmdID><Target><LocURI>./contacts</LocURI></Target><Source><LocURI>Contacts</LocURI></Source>"
         "<Add><CmdID>3</CmdID><Meta><Type xmlns='syncml:metinf'>text/x-vcard</Type></Meta><Item><Source><LocURI>local-1"
         "</LocURI></Source><Data><![CDATA[" + card + "]]></Data></Item></Add></Sync><Final/></SyncBody></SyncML>";
}

class ServerScriptTest : public ::testing::TestWithParam<PeerKind> {
 protected:
  void SetUp() override {
    const std::string missing = SyncPeer::MissingPrograms(GetParam());
    if (!missing.empty()) GTEST_SKIP() << PeerName(GetParam()) << " not installed: " << missing;
    mServer = ScriptPeer::Make(GetParam());
    mServer->Start();
  }

  // Posts the first message of a session; the server then waits for the client's next one.
  std::string BeginSession() {
    const PeerLogin login = mServer->AddPeer(kDevice);
    CConf conf(mDir.Path());
    conf.SetUrl(mServer->Url());
    conf.SetSyncMime("application/vnd.syncml+xml");
    return MakeHttpSyncTransport(conf)->Post(conf.SyncUrl(), SlowSyncMessage(mServer->Url(), login));
  }

  TempDir mDir;
  std::unique_ptr<ScriptPeer> mServer;
};

TEST_P(ServerScriptTest, StopInTheMiddleOfASessionLeavesNoProcessOfTheServer) {
  const std::string reply = BeginSession();
  ASSERT_NE(reply.find("<Status>"), std::string::npos) << reply;
  const std::vector<long> running = mServer->LivingProcesses();
  ASSERT_FALSE(running.empty());
  if (GetParam() == PeerKind::SyncEvolution) {
    // The session's helper is one of the processes found, so a helper left behind would be found too.
    bool helper = false;
    for (const long pid : running) helper = helper || Command(std::to_string(pid)) == "syncevo-dbus-he";
    EXPECT_TRUE(helper) << "no session helper running";
  }
  mServer->Stop();
  EXPECT_EQ(mServer->LivingProcesses(), std::vector<long>{});
}

TEST_P(ServerScriptTest, ARestartKeepsThePortAndTheServersItems) {
  mServer->PutItem("contacts", "kept", "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Kept;Kim;;;\r\nFN:Kim Kept\r\nEND:VCARD\r\n");
  const std::string url = mServer->Url();
  mServer->Stop();
  EXPECT_EQ(mServer->LivingProcesses(), std::vector<long>{});
  mServer->Start();
  EXPECT_EQ(mServer->Url(), url);
  const std::vector<std::string> items = mServer->Items("contacts");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_NE(items[0].find("FN:Kim Kept"), std::string::npos) << items[0];
  mServer->DeleteItem("contacts", "kept");
  EXPECT_TRUE(mServer->Items("contacts").empty());
}

INSTANTIATE_TEST_SUITE_P(Peers, ServerScriptTest, ::testing::Values(PeerKind::SyncEvolution, PeerKind::Virtuoso),
                         PeerTestName<::testing::TestParamInfo<PeerKind>>);

}  // namespace
