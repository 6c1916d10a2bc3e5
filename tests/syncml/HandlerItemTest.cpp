// The server's Add, Replace, Delete, Put and Get: items written to the store and answered with
// Status and Map, malformed items refused, automation errors, and the client's device information.
#include <gtest/gtest.h>

#include "common/Format.h"
#include "common/StringTable.h"
#include "tests/syncml/CSyncMLTestSupport.h"

namespace {

// Keeps the calendar texts the session hands to the store.
class RecordingStore final : public TestStore {
 public:
  using TestStore::TestStore;
  int32_t AddCalendarItem(const std::string& text, std::string& entryId) override {
    texts.push_back(text);
    return TestStore::AddCalendarItem(text, entryId);
  }
  std::vector<std::string> texts;
};

class HandlerItem : public SessionFixture {
 protected:
  // Parses a reply whose Sync holds `commands`; returns the answering message.
  ClientMessage Answer(const std::string& commands, CDatabaseObject* store = nullptr) {
    mSession = MakeSession(1, store != nullptr ? store : &mStore);
    mSession->StartMessage(false);
    Exchange(*mSession, ServerMessage(1, SyncXml(2, commands)));
    return NextMessage(*mSession);
  }
  static std::string Card(const std::string& serverId, const std::string& name) {
    return ItemXml({serverId, std::nullopt, "text/x-vcard", VCardText(name)});
  }
  static std::vector<std::string> Codes(const ClientMessage& message, const std::string& cmd) {
    std::vector<std::string> codes;
    for (const ClientCommand& status : message.Named("Status")) {
      if (status.status.cmd == cmd) codes.push_back(status.status.data.text);
    }
    return codes;
  }

  std::unique_ptr<CSyncML> mSession;
};

TEST_F(HandlerItem, ServerContactIsStoredAnsweredWith201AndMappedToItsNewIdentifier) {
  const ClientMessage message = Answer(ItemCommandXml("Add", 3, Card("srv-1", "Sam Server")));
  ASSERT_EQ(mStore.HeldCount(DATA_TYPE_CONTACTS), 1u);
  const std::string localId = mStore.HeldIds(DATA_TYPE_CONTACTS)[0];
  EXPECT_EQ(mStore.Held(localId)->Property("PR_DISPLAY_NAME"), "Sam Server");
  ASSERT_EQ(message.Names(), (std::vector<std::string>{"Status", "Status", "Status", "Map"}));
  EXPECT_EQ(message.commands[1].status.cmd, "Sync");
  EXPECT_EQ(message.commands[1].status.cmdRef, "2");
  const SmlStatus& added = message.commands[2].status;
  EXPECT_EQ(added.cmdRef, "3");
  EXPECT_EQ(added.data.text, "201");
  EXPECT_TRUE(added.sourceRefs.empty());
  EXPECT_EQ(message.commands[3].map.mapItems.at(0).target->locUri, "srv-1");
  EXPECT_EQ(message.commands[3].map.mapItems.at(0).source->locUri, localId);
  EXPECT_EQ(mSession->ServerAdditions(), 1);
  EXPECT_FALSE(mSession->IsFinished());
}

// A server item is written into the store only while its Status and Map still fit into the next
// message: a written item whose answers were lost would come again as a second copy.
TEST_F(HandlerItem, ItemsWhoseAnswersNoLongerFitFailTheReplyBeforeTheyAreWritten) {
  SessionSettings settings = SessionSettings::FromConf(mConf);
  settings.workspaceSize = 9000;
  StoreItemSink sink(mStore);
  auto transport = std::make_unique<ScriptedTransport>();
  ScriptedTransport* scripted = transport.get();
  CSyncML session(settings, TestSessionServices(mConf, &sink, std::move(transport)), 1);
  session.SetTargetDatabase("./contacts");
  session.SetSourceDatabase("Contacts");
  session.StartMessage(false);
  session.Finalize();
  std::string items;
  for (int i = 0; i < 20; ++i) items += Card("srv-" + std::to_string(i), "Person " + std::to_string(i));
  scripted->Reply(ServerMessage(1, SyncXml(2, ItemCommandXml("Add", 3, items))));
  session.SendRequest();
  EXPECT_EQ(ThrownStringId<CSyncmlException>([&] { session.Parse(); }), IDS_SYNCML_MEMORY_ERROR);
  const std::size_t written = mStore.HeldCount(DATA_TYPE_CONTACTS);
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, 20u);
  // Every item written has its Map in the message being built.
  session.Finalize();
  EXPECT_EQ(DecodeClientMessage(session.OutgoingMessage()).Named("Map").size(), written);
}

TEST_F(HandlerItem, CalendarTextReachesTheStoreWithLfLineEnds) {
  RecordingStore store(mConf);
  ASSERT_TRUE(store.SetCurrentFolder(DATA_TYPE_EVENTS, "", ""));
  const ClientMessage message =
      Answer(ItemCommandXml("Add", 3, ItemXml({"srv-5", std::nullopt, "text/x-vcalendar", VEventText("Meeting")})), &store);
  ASSERT_EQ(store.texts.size(), 1u);
  EXPECT_EQ(store.texts[0].find('\r'), std::string::npos);
  EXPECT_NE(store.texts[0].find("SUMMARY:Meeting\nDTSTART"), std::string::npos);
  EXPECT_EQ(Codes(message, "Add"), std::vector<std::string>{"201"});
  EXPECT_EQ(store.HeldCount(DATA_TYPE_EVENTS), 1u);
}

TEST_F(HandlerItem, MalformedAddItemsAreRefusedWith500AndTheProtocolText) {
  const std::string card = VCardText("X");
  const std::string items = ItemXml({"s1", std::nullopt, "text/x-vcard", std::nullopt}) +
                            ItemXml({std::nullopt, std::nullopt, "text/x-vcard", card}) +
                            ItemXml({"s3", std::nullopt, std::nullopt, card}) +
                            ItemXml({"s4", std::nullopt, "text/plain", "just text"});
  const ClientMessage message = Answer(ItemCommandXml("Add", 3, items));
  EXPECT_EQ(Codes(message, "Add"), (std::vector<std::string>{"500", "500", "500", "500"}));
  EXPECT_TRUE(message.Named("Map").empty());
  EXPECT_EQ(mStore.HeldCount(DATA_TYPE_CONTACTS), 0u);
  const std::string log = LogText();
  EXPECT_NE(log.find("Protocol error: the ADD command MUST contain DATA tag!"), std::string::npos);
  EXPECT_NE(log.find("Protocol error: the ADD command MUST contain SOURCE tag!"), std::string::npos);
  EXPECT_NE(log.find("Protocol error: the ADD command MUST contain META tag!"), std::string::npos);
}

// Standard servers give the type once on the command; an item without its own Meta takes it.
TEST_F(HandlerItem, ItemWithoutMetaTakesTheTypeOfItsCommand) {
  const ClientMessage message =
      Answer(ItemCommandXml("Add", 3, ItemXml({"srv-1", std::nullopt, std::nullopt, VCardText("Typed By Command")}),
                            "text/x-vcard"));
  EXPECT_EQ(Codes(message, "Add"), std::vector<std::string>{"201"});
  EXPECT_EQ(mStore.HeldCount(DATA_TYPE_CONTACTS), 1u);
}

TEST_F(HandlerItem, ServerReplaceUpdatesTheLocalItemAndATargetIsRequired) {
  const std::string id = mStore.AddLocalContact("Old Name");
  const std::string items = ItemXml({"srv-1", id, "text/x-vcard", VCardText("New Name")}) +
                            ItemXml({"srv-2", std::nullopt, "text/x-vcard", VCardText("No Target")});
  const ClientMessage message = Answer(ItemCommandXml("Replace", 3, items));
  EXPECT_EQ(Codes(message, "Replace"), (std::vector<std::string>{"200", "500"}));
  EXPECT_EQ(mStore.Held(id)->Property("PR_DISPLAY_NAME"), "New Name");
  EXPECT_EQ(mSession->ServerReplacements(), 1);
  EXPECT_NE(LogText().find("Protocol error: the REPLACE command MUST specify a TARGET tag!"), std::string::npos);
}

TEST_F(HandlerItem, ReplaceWhoseNameTheStoreCompletedIsSentBackAsStored) {
  const std::string id = mStore.AddLocalContact("Before");
  ASSERT_EQ(mStore.LoadContent("contacts"), kStoreOk);
  const ClientMessage message =
      Answer(ItemCommandXml("Replace", 3, ItemXml({"srv-1", id, "text/x-vcard", VCardText("", "Nicky")})));
  EXPECT_EQ(Codes(message, "Replace"), std::vector<std::string>{"200"});
  const auto replaces = message.Named("Replace");
  ASSERT_EQ(replaces.size(), 1u);
  EXPECT_TRUE(replaces[0].inSync);
  EXPECT_EQ(message.Names(), (std::vector<std::string>{"Status", "Status", "Sync", "Replace", "Status"}));
  const SmlItem& item = replaces[0].item.items.at(0);
  EXPECT_EQ(item.source->locUri, id);
  EXPECT_EQ(item.meta.MetInf()->type, "text/x-vcard");
  EXPECT_NE(item.data.text.find("Nicky"), std::string::npos);
}

// Such a Replace is no pending change the next message could carry: held back, it would be lost.
TEST_F(HandlerItem, EveryContactSentBackGoesOutEvenBeyondTheMessageSizeLimit) {
  const std::string first = mStore.AddLocalContact("First");
  const std::string second = mStore.AddLocalContact("Second");
  ASSERT_EQ(mStore.LoadContent("contacts"), kStoreOk);
  mConf.SetMaxMsgSize(1000);
  const std::string items = ItemXml({"srv-1", first, "text/x-vcard", VCardText("", "Nicky")}) +
                            ItemXml({"srv-2", second, "text/x-vcard", VCardText("", "Tiny")});
  const ClientMessage message = Answer(ItemCommandXml("Replace", 3, items));
  const auto replaces = message.Named("Replace");
  ASSERT_EQ(replaces.size(), 2u);
  EXPECT_EQ(replaces[0].item.items.at(0).source->locUri, first);
  EXPECT_EQ(replaces[1].item.items.at(0).source->locUri, second);
  EXPECT_NE(replaces[1].item.items.at(0).data.text.find("Tiny"), std::string::npos);
  EXPECT_GT(mSession->OutgoingMessage().size(), 1000u);
  EXPECT_FALSE(mSession->IsMessageFull());
  EXPECT_TRUE(message.final);
}

// Servers send Delete without Meta; an item the client does not hold is gone already (211).
TEST_F(HandlerItem, ServerDeleteRemovesTheItemAndNamesItsTargetInTheStatus) {
  const std::string id = mStore.AddLocalContact("Going");
  const std::string bare = mStore.AddLocalContact("Going without Meta");
  ASSERT_EQ(mStore.LoadContent("Link"), kStoreOk);
  const std::string items = ItemXml({std::nullopt, id, "text/x-vcard", std::nullopt}) +
                            ItemXml({std::nullopt, bare, std::nullopt, std::nullopt}) +
                            ItemXml({std::nullopt, "other", std::nullopt, std::nullopt}) +
                            ItemXml({"s3", std::nullopt, "text/x-vcard", std::nullopt});
  const ClientMessage message = Answer(ItemCommandXml("Delete", 3, items));
  const auto statuses = message.Named("Status");
  ASSERT_EQ(statuses.size(), 6u);
  EXPECT_EQ(statuses[2].status.data.text, "210");
  EXPECT_EQ(statuses[2].status.targetRefs, std::vector<std::string>{id});
  EXPECT_TRUE(statuses[2].status.sourceRefs.empty());
  EXPECT_EQ(statuses[3].status.data.text, "210");
  EXPECT_EQ(statuses[4].status.data.text, "211");
  EXPECT_EQ(statuses[4].status.targetRefs, std::vector<std::string>{"other"});
  EXPECT_EQ(statuses[5].status.data.text, "500");
  EXPECT_TRUE(statuses[5].status.targetRefs.empty());
  EXPECT_EQ(mStore.HeldCount(DATA_TYPE_CONTACTS), 0u);
  EXPECT_EQ(mSession->ServerDeletions(), 2);
  EXPECT_NE(LogText().find("Protocol error: the DELETE command MUST specify a TARGET URI !"), std::string::npos);
}

TEST_F(HandlerItem, AutomationErrorIsLoggedAndLeavesTheRestOfTheCommandUnanswered) {
  mStore.RaiseAutomationErrors("The operation failed.", 1);
  const std::string items = Card("s1", "One") + Card("s2", "Two") + Card("s3", "Three");
  const ClientMessage message = Answer(ItemCommandXml("Add", 3, items) + ItemCommandXml("Add", 4, Card("s4", "Four")));
  EXPECT_EQ(Codes(message, "Add"), std::vector<std::string>{"201"});
  EXPECT_EQ(message.Named("Map").size(), 1u);
  EXPECT_EQ(mStore.HeldCount(DATA_TYPE_CONTACTS), 1u);
  const std::string refusal = FormatText(LoadString(IDS_OUTLOOK_REFUSES), {"The operation failed."});
  EXPECT_NE(LogText().find(refusal), std::string::npos);
}

TEST_F(HandlerItem, PutAndGetAreAnsweredAndAGetOfDeviceInformationGetsResults) {
  mConf.Links().Add([] {
    CSyncLink link;
    link.mMode = SYNC_MODE_TWO_WAY;
    link.mLocalPath = "Contacts";
    link.mLocalName = "My Contacts";
    return link;
  }());
  auto session = MakeSession(1, &mStore);
  session->StartMessage(false);
  const std::string body = "<Put><CmdID>1</CmdID><Item><Source><LocURI>./devinf11</LocURI></Source><Data>x</Data></Item></Put>" +
                           GetXml(2, "./devinf12") + GetXml(3, "./other");
  Exchange(*session, ServerMessage(9, body));
  const ClientMessage message = NextMessage(*session);
  ASSERT_EQ(message.Names(), (std::vector<std::string>{"Status", "Status", "Status", "Results", "Status"}));
  EXPECT_EQ(message.commands[1].status.cmd, "Put");
  EXPECT_EQ(message.commands[2].status.cmd, "Get");
  EXPECT_EQ(message.commands[4].status.cmdRef, "3");
  const SmlResults& results = message.commands[3].results;
  EXPECT_EQ(results.msgRef, "9");
  EXPECT_EQ(results.cmdRef, "2");
  EXPECT_EQ(results.meta.MetInf()->type, "application/vnd.syncml-devinf+xml");
  const SmlItem& item = results.items.at(0);
  EXPECT_EQ(item.source->locUri, "./devinf12");
  const SmlDevInf* devInf = item.data.DevInf();
  ASSERT_NE(devInf, nullptr);
  EXPECT_EQ(devInf->devId, "client-identity");
  ASSERT_EQ(devInf->dataStores.size(), 1u);
  EXPECT_EQ(devInf->dataStores[0].sourceRef, "Contacts");
  EXPECT_EQ(devInf->dataStores[0].rxPref->ctType, "text/x-vcard");
  EXPECT_FALSE(session->IsFinished());
}

}  // namespace
