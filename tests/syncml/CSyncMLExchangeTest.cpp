// Whole exchanges: where messages are posted (RespURI), what the log keeps of them, and how a
// reply ends a session: cancel, unhandled containers, oversized or broken replies, endless servers.
#include <gtest/gtest.h>

#include <string>

#include "common/CXException.h"
#include "common/StringIds.h"
#include "common/Base64.h"
#include "tests/support/ScriptedSyncServer.h"
#include "tests/syncml/CSyncMLTestSupport.h"

namespace {

class CSyncMLExchange : public SessionFixture {
 protected:
  // A session posting over HTTP to the scripted server.
  std::unique_ptr<CSyncML> MakeHttpSession() {
    mConf.SetUrl(mServer.BaseUrl() + "/");
    mConf.SetSyncMime("application/vnd.syncml+xml");
    return MakeSessionOver(nullptr, 1, &mStore);
  }

  static std::string AddOfCard(int cmdId, const std::string& serverId, const std::string& name) {
    return ItemCommandXml("Add", cmdId, ItemXml({serverId, std::nullopt, "text/x-vcard", VCardText(name)}));
  }

  ScriptedSyncServer mServer;
};

TEST_F(CSyncMLExchange, LaterMessagesArePostedToTheRespUriAndAMalformedOneIsRefused) {
  auto session = MakeHttpSession();
  session->StartMessage(false);
  session->Finalize();
  mServer.Enqueue(ScriptedReply::SyncMl(ServerMessage(1, "", mServer.Url("/cgi-bin/vudireravaz?sessionid=7"))));
  session->SendRequest();
  session->Parse();
  session->Finalize();
  mServer.Enqueue(ScriptedReply::SyncMl(ServerMessage(2, "", "ftp://elsewhere.test/sync")));
  session->SendRequest();
  session->Parse();
  session->Finalize();
  EXPECT_EQ(ThrownStringId<CHttpException>([&] { session->SendRequest(); }), IDS_INCORRECT_SERVER_ADDRESS);

  const auto requests = mServer.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].target, "/cgi-bin/vudireravaz");
  EXPECT_EQ(requests[1].target, "/cgi-bin/vudireravaz?sessionid=7");
  EXPECT_EQ(DecodeClientMessage(requests[1].body).header.msgId, "2");
}

// The credentials of every header go where the messages go: a RespURI naming another host, or
// plain http after https, is refused; the same host with another port or path, or https after
// http, is followed.
TEST_F(CSyncMLExchange, ARespUriOfAnotherHostOrWithoutTlsIsRefused) {
  mConf.SetUrl("https://sync.example.test/");
  const auto accepted = [&](const std::string& respUri) {
    auto session = MakeSession(1, &mStore);
    session->StartMessage(false);
    Exchange(*session, ServerMessage(1, StatusXml(1, "0", "SyncHdr", "212"), respUri));
    session->Finalize();
    wire->Reply(ServerMessage(2, StatusXml(1, "0", "SyncHdr", "200")));
    return ThrownStringId<CHttpException>([&] { session->SendRequest(); }) == 0;
  };
  EXPECT_TRUE(accepted("https://sync.example.test/cgi-bin/vudireravaz?sessionid=7"));
  EXPECT_TRUE(accepted("https://SYNC.example.test:8443/other"));
  EXPECT_FALSE(accepted("http://sync.example.test/cgi-bin/vudireravaz?sessionid=7"));
  EXPECT_FALSE(accepted("https://elsewhere.example.test/cgi-bin/vudireravaz"));
  EXPECT_FALSE(accepted("https://sync.example.test@elsewhere.example.test/"));
  mConf.SetUrl("http://sync.example.test/");
  EXPECT_TRUE(accepted("https://sync.example.test/secure"));
}

TEST_F(CSyncMLExchange, LogOfAWholeExchangeHoldsNeitherPlainNorEncodedPassword) {
  const std::string password = "Tr1cky:Pa55";
  mConf.SetPassword(password);
  auto session = MakeHttpSession();
  session->StartMessage(false);
  session->Alert("", "");
  session->Add("1", VCardText("Local Person"), "text/x-vcard");
  session->Finalize();
  mServer.Enqueue(ScriptedReply::SyncMl(ServerMessage(1, StatusXml(1, "0", "SyncHdr", "212") +
                                                             SyncXml(2, AddOfCard(3, "srv-1", "Server Person")))));
  session->SendRequest();
  session->Parse();
  session->Finalize();
  mServer.Enqueue(ScriptedReply::SyncMl(ServerMessage(2, StatusXml(1, "0", "SyncHdr", "200"))));
  session->SendRequest();
  session->Parse();

  const std::string log = LogText();
  EXPECT_NE(log.find("Message sent to server"), std::string::npos);
  EXPECT_NE(log.find("Message received from server"), std::string::npos);
  EXPECT_EQ(log.find(password), std::string::npos);
  EXPECT_EQ(log.find(EncodeBase64(password)), std::string::npos);
  EXPECT_EQ(log.find(EncodeBase64("user:" + password)), std::string::npos);
  EXPECT_NE(mServer.Requests().at(0).body.find(EncodeBase64("user:" + password)), std::string::npos);
}

TEST_F(CSyncMLExchange, StatusesAnswerTheServerMessageTheyReferTo) {
  auto session = MakeSession(1, &mStore);
  session->StartMessage(false);
  Exchange(*session, ServerMessage(5, SyncXml(2, AddOfCard(3, "srv-1", "Server Person"))));
  for (const ClientCommand& status : NextMessage(*session).Named("Status")) EXPECT_EQ(status.status.msgRef, "5");
}

// A server package may span several messages; only the one with Final ends the session.
TEST_F(CSyncMLExchange, MessageWithoutFinalKeepsTheSessionGoingAndAsksForTheNextOneWhenNothingElseIsSent) {
  const auto withoutFinal = [](std::string message) { return message.erase(message.find("<Final/>"), 8); };
  auto session = MakeSession(1, &mStore);
  session->StartMessage(false);
  Exchange(*session, withoutFinal(ServerMessage(1, StatusXml(1, "0", "SyncHdr", "212"))));
  EXPECT_FALSE(session->IsFinished());
  const ClientMessage request = NextMessage(*session);
  const std::vector<ClientCommand> alerts = request.Named("Alert");
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0].alert.data.text, "222");
  ASSERT_EQ(alerts[0].alert.items.size(), 1u);
  ASSERT_TRUE(alerts[0].alert.items[0].target && alerts[0].alert.items[0].source);
  EXPECT_EQ(alerts[0].alert.items[0].target->locUri, "./contacts");
  EXPECT_EQ(alerts[0].alert.items[0].source->locUri, "Contacts");

  // Items to answer are answer enough; the last message ends the session.
  wire->Reply(withoutFinal(ServerMessage(2, SyncXml(2, AddOfCard(3, "srv-1", "Server Person")))));
  session->SendRequest();
  session->Parse();
  EXPECT_FALSE(session->IsFinished());
  EXPECT_TRUE(NextMessage(*session).Named("Alert").empty());
  wire->Reply(ServerMessage(3, StatusXml(1, "0", "SyncHdr", "200")));
  session->SendRequest();
  session->Parse();
  EXPECT_TRUE(session->IsFinished());
  EXPECT_TRUE(NextMessage(*session).Named("Alert").empty());
}

TEST_F(CSyncMLExchange, ReplyWithoutFinalToAClientMessageThatWasFullAsksForNothing) {
  mConf.SetMaxMsgSize(1200);
  auto session = MakeSession(1, &mStore);
  session->StartMessage(false);
  session->Add("1", std::string(300, 'a'), "text/x-vcard");
  session->Add("2", std::string(2000, 'b'), "text/x-vcard");
  ASSERT_TRUE(session->IsMessageFull());
  std::string reply = ServerMessage(1, StatusXml(1, "0", "SyncHdr", "212"));
  Exchange(*session, reply.erase(reply.find("<Final/>"), 8));
  EXPECT_FALSE(session->IsFinished());
  EXPECT_TRUE(NextMessage(*session).Named("Alert").empty());
}

TEST_F(CSyncMLExchange, CancelStopsAfterTheFirstHandlerAndFailsTheParse) {
  auto session = MakeSession(1, &mStore);
  session->StartMessage(false);
  mConf.SetSyncRunning(CConf::RUN_CANCEL_REQUESTED);
  EXPECT_EQ(ThrownStringId<CSyncmlException>(
                [&] { Exchange(*session, ServerMessage(1, SyncXml(2, AddOfCard(3, "srv-1", "Server Person")))); }),
            IDS_CANCELED_BY_USER);
  EXPECT_EQ(mStore.HeldCount(DATA_TYPE_CONTACTS), 0u);
  EXPECT_EQ(NextMessage(*session).Names(), (std::vector<std::string>{"Status"}));
}

TEST_F(CSyncMLExchange, ContainersCopyExecAndSearchFailTheParseWhileEarlierCommandsStayApplied) {
  for (const std::string container : {"Atomic", "Sequence", "Copy"}) {
    TestStore store(mConf);
    ASSERT_TRUE(store.SetCurrentFolder(DATA_TYPE_CONTACTS, "", ""));
    auto session = MakeSession(1, &store);
    session->StartMessage(false);
    const std::string inner = AddOfCard(5, "srv-2", "Second Person");
    const std::string unhandled = container == "Copy"
                                      ? ItemCommandXml("Copy", 4, ItemXml({"srv-3", std::nullopt, "text/x-vcard", "x"}))
                                      : "<" + container + "><CmdID>4</CmdID>" + inner + "</" + container + ">";
    const std::string reply = ServerMessage(1, SyncXml(2, AddOfCard(3, "srv-1", "First Person") + unhandled));
    EXPECT_EQ(ThrownStringId<CSyncmlException>([&] { Exchange(*session, reply); }), IDS_SYNCML_PARSE_ERROR) << container;
    EXPECT_EQ(store.HeldCount(DATA_TYPE_CONTACTS), 1u) << container;
  }
  // Exec and Search stand in the body, after the Sync.
  for (const std::string command : {"Exec", "Search"}) {
    TestStore store(mConf);
    ASSERT_TRUE(store.SetCurrentFolder(DATA_TYPE_CONTACTS, "", ""));
    auto session = MakeSession(1, &store);
    session->StartMessage(false);
    const std::string unhandled = ItemCommandXml(command, 4, ItemXml({std::nullopt, "./run", std::nullopt, "x"}));
    const std::string reply = ServerMessage(1, SyncXml(2, AddOfCard(3, "srv-1", "First Person")) + unhandled);
    EXPECT_EQ(ThrownStringId<CSyncmlException>([&] { Exchange(*session, reply); }), IDS_SYNCML_PARSE_ERROR) << command;
    EXPECT_EQ(store.HeldCount(DATA_TYPE_CONTACTS), 1u) << command;
  }
  EXPECT_NE(LogText().find("CSyncML::Parse error"), std::string::npos);
}

TEST_F(CSyncMLExchange, ReplyLargerThanTheWorkspaceIsAMemoryErrorAndBrokenXmlAParseError) {
  auto session = MakeSession();
  session->StartMessage(false);
  session->Finalize();
  session->SetReceivedMessage(std::string(CSyncML::kWorkspaceSize + 1, ' '));
  EXPECT_EQ(ThrownStringId<CSyncmlException>([&] { session->Parse(); }), IDS_SYNCML_MEMORY_ERROR);
  session->SetReceivedMessage("<SyncML xmlns='SYNCML:SYNCML1.1'><SyncHdr>");
  EXPECT_EQ(ThrownStringId<CSyncmlException>([&] { session->Parse(); }), IDS_SYNCML_PARSE_ERROR);
}

TEST_F(CSyncMLExchange, ServerThatNeverEndsTheSessionFailsItAfterTenThousandMessages) {
  auto session = MakeSession();
  int reply = 0;
  wire->SetResponder([&](const std::string&) { return ServerMessage(++reply, GetXml(1, "./devinf11")); });
  session->StartMessage(false);
  EXPECT_EQ(ThrownStringId<CSyncmlException>([&] {
              for (;;) {
                session->Finalize();
                session->SendRequest();
                session->Parse();
                ASSERT_FALSE(session->IsFinished());
              }
            }),
            IDS_TOO_MANY_MESSAGES);
  EXPECT_EQ(wire->PostedMessages().size(), static_cast<std::size_t>(CSyncML::kMaxMessages));
}

}  // namespace
