// The session's outgoing messages: header and credentials, Alert codes and filter, counters across
// messages, the maximum message size, command placement and the errors of each operation.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/CXException.h"
#include "common/StringIds.h"
#include "common/Base64.h"
#include "tests/syncml/CSyncMLTestSupport.h"

namespace {

class CSyncMLMessage : public SessionFixture {
 protected:
  // Length of a finalized message holding two Adds, the second with `data`, under `maxMsgSize`.
  std::size_t TwoAddLength(long maxMsgSize, const std::string& data) {
    mConf.SetMaxMsgSize(maxMsgSize);
    auto session = MakeSession();
    session->StartMessage(false);
    session->Add("1", "small", "text/x-vcard");
    session->Add("2", data, "text/x-vcard");
    EXPECT_FALSE(session->IsMessageFull());
    session->Finalize();
    return session->OutgoingMessage().size();
  }
};

TEST_F(CSyncMLMessage, HeaderCarriesSessionTargetSourceSizeAndEscapedBasicCredentials) {
  mConf.SetLogin("us:er");
  mConf.SetPassword("pa:ss");
  mConf.SetMaxMsgSize(9000);
  auto session = MakeSession();
  session->StartMessage(false);
  const ClientMessage message = NextMessage(*session);
  const SmlSyncHdr& header = message.header;
  EXPECT_EQ(header.verDtd, "1.1");
  EXPECT_EQ(header.verProto, "SyncML/1.1");
  EXPECT_EQ(header.msgId, "1");
  EXPECT_EQ(header.target.locUri, "http://sync.example.test/");
  EXPECT_EQ(header.source.locUri, "client-identity");
  EXPECT_EQ(header.source.locName, "VudirerAvaz" + mConf.ProductVersion());
  EXPECT_EQ(header.sessionId.size(), 64u);
  EXPECT_EQ(header.sessionId.find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"),
            std::string::npos);
  ASSERT_NE(header.meta.MetInf(), nullptr);
  EXPECT_EQ(header.meta.MetInf()->maxMsgSize, "9000");
  ASSERT_TRUE(header.cred);
  ASSERT_NE(header.cred->meta.MetInf(), nullptr);
  EXPECT_EQ(header.cred->meta.MetInf()->format, "b64");
  EXPECT_EQ(header.cred->meta.MetInf()->type, "syncml:auth-basic");
  EXPECT_EQ(DecodeBase64(header.cred->data.text), "us\\:er:pa:ss");
  EXPECT_TRUE(message.final);
  EXPECT_TRUE(message.commands.empty());

  auto other = MakeSession();
  other->StartMessage(false);
  EXPECT_NE(other->SessionId(), session->SessionId());
}

TEST_F(CSyncMLMessage, WithoutLoginNoCredIsWrittenAndWithoutIdentityTheClientNameIsTheSource) {
  mConf.SetLogin("");
  mConf.SetClientStoreId("");
  auto session = MakeSession();
  session->StartMessage(false);
  const SmlSyncHdr header = NextMessage(*session).header;
  EXPECT_FALSE(header.cred);
  EXPECT_EQ(header.source.locUri, "VudirerAvaz");
}

TEST_F(CSyncMLMessage, AlertCodeFollowsModeAndSlowStateWithAnchorsFromTheLastOne) {
  struct Row {
    int mode;
    bool slow;
    const char* code;
  };
  for (const Row row : {Row{0, false, "200"}, Row{0, true, "201"}, Row{1, false, "204"}, Row{1, true, "205"},
                        Row{2, false, "202"}, Row{2, true, "203"}}) {
    auto session = MakeSession(-1);
    session->SetSyncMode(row.mode);
    if (row.slow) session->SetErrorState(SYNC_ERROR_SLOW_SYNC);
    session->StartMessage(false);
    session->Alert("", "");
    const auto alerts = NextMessage(*session).Named("Alert");
    ASSERT_EQ(alerts.size(), 1u);
    const SmlAlert& alert = alerts[0].alert;
    EXPECT_EQ(alert.data.text, row.code) << row.mode << row.slow;
    ASSERT_EQ(alert.items.size(), 1u);
    EXPECT_EQ(alert.items[0].target->locUri, "./contacts");
    EXPECT_EQ(alert.items[0].source->locUri, "Contacts");
    ASSERT_NE(alert.items[0].meta.MetInf(), nullptr);
    EXPECT_EQ(alert.items[0].meta.MetInf()->anchor, (SmlAnchor{"-1", "0"}));
  }
}

TEST_F(CSyncMLMessage, LaterMessagesKeepTheSessionCountMsgIdRestartCmdIdsAndCarryNoSyncAlert) {
  auto session = MakeSession();
  session->StartMessage(false);
  session->Alert("", "");
  const ClientMessage first = Exchange(*session, ServerMessage(1, ""));
  EXPECT_EQ(first.Names(), (std::vector<std::string>{"Alert"}));

  session->StartMessage(false);  // the handlers already started message 2
  session->Alert("", "");
  session->Alert("L1", "S1");
  const ClientMessage second = NextMessage(*session);
  EXPECT_EQ(second.header.msgId, "2");
  EXPECT_EQ(second.header.sessionId, first.header.sessionId);
  ASSERT_EQ(second.Names(), (std::vector<std::string>{"Status", "Alert"}));
  EXPECT_EQ(second.commands[0].cmdId, "1");
  EXPECT_EQ(second.commands[1].cmdId, "2");
  EXPECT_EQ(second.commands[1].alert.items[0].target->locUri, "L1");
  EXPECT_EQ(second.commands[1].alert.items[0].source->locUri, "S1");
}

TEST_F(CSyncMLMessage, CalendarAlertFiltersFromTheStartDateOnlyWhenThePeriodIsLimited) {
  ASSERT_TRUE(mStore.SetCurrentFolder(DATA_TYPE_EVENTS, "", ""));
  const auto filterOf = [&](int period) {
    mConf.SetSyncPeriod(period);
    auto session = MakeSession(3, &mStore);
    session->SetTargetDatabase("./events");
    session->StartMessage(false);
    session->Alert("", "");
    return NextMessage(*session).Named("Alert").at(0).alert.items.at(0).target->filter;
  };
  const auto filter = filterOf(1);
  ASSERT_TRUE(filter);
  EXPECT_EQ(filter->meta.MetInf()->type, "text/calendar");
  EXPECT_EQ(filter->filterType, "INCLUSIVE");
  ASSERT_EQ(filter->record.size(), 1u);
  EXPECT_EQ(filter->record[0].meta.MetInf()->type, "syncml:filtertype-cgi");
  EXPECT_EQ(filter->record[0].data.text, "SINCE&EQ;" + mConf.SyncStartDate());
  EXPECT_EQ(mConf.SyncStartDate().size(), 8u);
  EXPECT_FALSE(filterOf(5));

  ASSERT_TRUE(mStore.SetCurrentFolder(DATA_TYPE_CONTACTS, "", ""));
  EXPECT_FALSE(filterOf(1));
}

TEST_F(CSyncMLMessage, CommandThatMakesTheMessageReachTheLimitExactlyWaitsForTheNextMessage) {
  const std::string data(1500, 'x');
  const std::size_t length = TwoAddLength(9999, data);
  ASSERT_GE(length, 1000u);
  ASSERT_LT(length, 9998u);

  mConf.SetMaxMsgSize(static_cast<long>(length));
  auto full = MakeSession();
  full->StartMessage(false);
  full->Add("1", "small", "text/x-vcard");
  full->Add("2", data, "text/x-vcard");
  EXPECT_TRUE(full->IsMessageFull());
  const ClientMessage withOne = NextMessage(*full);
  EXPECT_EQ(withOne.Named("Add").size(), 1u);
  EXPECT_FALSE(withOne.final);

  EXPECT_EQ(TwoAddLength(static_cast<long>(length) + 1, data), length);
}

TEST_F(CSyncMLMessage, ItemLargerThanTheLimitGoesAloneInItsMessage) {
  mConf.SetMaxMsgSize(300);
  auto session = MakeSession();
  session->StartMessage(false);
  session->Add("big", std::string(2000, 'x'), "text/x-vcard");
  EXPECT_FALSE(session->IsMessageFull());
  session->Delete("next");
  EXPECT_TRUE(session->IsMessageFull());
  const ClientMessage message = NextMessage(*session);
  EXPECT_EQ(message.Names(), (std::vector<std::string>{"Sync", "Add"}));
  EXPECT_FALSE(message.final);
}

TEST_F(CSyncMLMessage, WithoutLimitEveryCommandIsAddedAndTheHeaderSaysZero) {
  mConf.SetMaxMsgSize(0);
  auto session = MakeSession();
  session->StartMessage(false);
  for (int i = 0; i < 5; ++i) session->Replace(std::to_string(i), std::string(50000, 'y'), "text/x-vcalendar");
  const ClientMessage message = NextMessage(*session);
  EXPECT_FALSE(session->IsMessageFull());
  EXPECT_EQ(message.Named("Replace").size(), 5u);
  EXPECT_EQ(message.header.meta.MetInf()->maxMsgSize, "0");
  const SmlItem item = message.Named("Replace")[0].item.items.at(0);
  EXPECT_EQ(item.source->locUri, "0");
  EXPECT_EQ(item.meta.MetInf()->type, "text/x-vcalendar");
}

// A Sync may hold item commands only: answers added after an item close the Sync, and the next
// item opens another, so the message stays valid SyncML.
TEST_F(CSyncMLMessage, AnswersNeverStandInsideASync) {
  auto session = MakeSession();
  session->StartMessage(false);
  EXPECT_TRUE(session->Status("3", "Alert", 200, std::string("src"), std::nullopt));
  EXPECT_TRUE(session->Map("local-1", "server-1"));
  session->Add("a", "text", "text/x-vcard");
  EXPECT_TRUE(session->Status("4", "Put", 200));
  EXPECT_TRUE(session->Map("local-2", "server-2"));
  session->Delete("b");
  const ClientMessage message = NextMessage(*session);
  ASSERT_EQ(message.Names(), (std::vector<std::string>{"Status", "Map", "Sync", "Add", "Status", "Map", "Sync", "Delete"}));
  for (const ClientCommand& command : message.commands) {
    EXPECT_EQ(command.inSync, command.name == "Add" || command.name == "Delete") << command.name;
  }
  EXPECT_EQ(message.commands[6].cmdId, "7");
  EXPECT_EQ(message.commands[0].status.sourceRefs, std::vector<std::string>{"src"});
  EXPECT_TRUE(message.commands[0].status.targetRefs.empty());
  const SmlMap& map = message.commands[1].map;
  EXPECT_EQ(map.target.locUri, "./contacts");
  EXPECT_EQ(map.source.locUri, "Contacts");
  EXPECT_EQ(map.mapItems.at(0).target->locUri, "server-1");
  EXPECT_EQ(map.mapItems.at(0).source->locUri, "local-1");
}

TEST_F(CSyncMLMessage, DeviceInformationRequestIsAGetOfDevinf11) {
  auto session = MakeSession();
  session->StartMessage(false);
  session->RequestDatabases();
  const auto gets = NextMessage(*session).Named("Get");
  ASSERT_EQ(gets.size(), 1u);
  EXPECT_EQ(gets[0].get.meta.MetInf()->type, "application/vnd.syncml-devinf+xml");
  EXPECT_EQ(gets[0].get.items.at(0).target->locUri, "./devinf11");
}

// Sent unasked in a sync session's first message: a server that never asks must still learn that
// the client reads UTC times.
TEST_F(CSyncMLMessage, DeviceInformationIsPutAsDevinf11WithUtcAndTheClientsStores) {
  auto session = MakeSession();
  session->StartMessage(false);
  session->Alert("", "");
  session->PutDevInf();
  const ClientMessage message = NextMessage(*session);
  ASSERT_EQ(message.Names(), (std::vector<std::string>{"Alert", "Put"}));
  const SmlPut put = message.Named("Put")[0].put;
  EXPECT_EQ(put.meta.MetInf()->type, "application/vnd.syncml-devinf+xml");
  ASSERT_EQ(put.items.size(), 1u);
  EXPECT_EQ(put.items[0].source->locUri, "./devinf11");
  const SmlDevInf* devInf = put.items[0].data.DevInf();
  ASSERT_NE(devInf, nullptr);
  EXPECT_TRUE(devInf->utc);
  EXPECT_EQ(devInf->devId, "client-identity");
  EXPECT_EQ(devInf->dataStores.size(), 3u);
}

// A server announcing a smaller MaxMsgSize in its header caps the client's messages (and what the
// client announces) from the next message on.
TEST_F(CSyncMLMessage, TheServersMaxMsgSizeCapsTheClientsMessages) {
  mConf.SetMaxMsgSize(102400);
  auto session = MakeSession();
  session->StartMessage(false);
  std::string reply = ServerMessage(1, StatusXml(1, "0", "SyncHdr", "212"));
  reply.insert(reply.find("</SyncHdr>"), "<Meta><MaxMsgSize xmlns='syncml:metinf'> 3000 </MaxMsgSize></Meta>");
  Exchange(*session, reply);
  EXPECT_EQ(session->MessageLimit(), 3000);
  session->Add("1", std::string(1500, 'x'), "text/x-vcard");
  session->Add("2", std::string(1500, 'y'), "text/x-vcard");
  EXPECT_TRUE(session->IsMessageFull());
  const ClientMessage message = NextMessage(*session);
  EXPECT_EQ(message.header.meta.MetInf()->maxMsgSize, "3000");
  EXPECT_EQ(message.Named("Add").size(), 1u);
  EXPECT_LT(session->OutgoingMessage().size(), 3000u);
  // A larger one does not raise the client's own limit.
  std::string larger = ServerMessage(2, StatusXml(1, "0", "SyncHdr", "200"));
  larger.insert(larger.find("</SyncHdr>"), "<Meta><MaxMsgSize xmlns='syncml:metinf'>900000</MaxMsgSize></Meta>");
  wire->Reply(larger);
  session->SendRequest();
  session->Parse();
  EXPECT_EQ(session->MessageLimit(), 102400);
}

TEST_F(CSyncMLMessage, EachOperationFailsWithItsOwnMessage) {
  auto session = MakeSession();
  EXPECT_EQ(ThrownStringId<CSyncmlException>([&] { session->Alert("", ""); }), IDS_SYNCML_ALERT_ERROR);
  EXPECT_EQ(ThrownStringId<CSyncmlException>([&] { session->RequestDatabases(); }), IDS_SYNCML_REQUEST_ERROR);
  EXPECT_EQ(ThrownStringId<CSyncmlException>([&] { session->Finalize(); }), IDS_SYNCML_FINALIZE_ERROR);
  EXPECT_FALSE(session->Status("1", "Get", 200));
  session->StartMessage(false);
  EXPECT_EQ(ThrownStringId<CSyncmlException>([&] { session->StartMessage(true); }), IDS_SYNCML_START_MESSAGE_ERROR);
  session->SetSourceDatabase("");
  EXPECT_FALSE(session->Map("l", "s"));
  EXPECT_EQ(ThrownStringId<CSyncmlException>([&] { session->Delete("x"); }), IDS_SYNCML_START_SYNC_ERROR);
  session->SetSourceDatabase("Contacts");
  // An item that cannot fit the workspace at all must fail, not wait for ever.
  const std::string huge(CSyncML::kWorkspaceSize, 'z');
  EXPECT_EQ(ThrownStringId<CSyncmlException>([&] { session->Add("huge", huge, "text/x-vcard"); }), IDS_SYNCML_ADD_ERROR);
}

}  // namespace
