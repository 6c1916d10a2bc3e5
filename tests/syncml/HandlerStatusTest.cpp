// The server's statuses and alerts: every row of the code and command tables, the messages of the
// error states, the guard that keeps the first error, and the three answers to a conflict.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "common/StringTable.h"
#include "tests/syncml/CSyncMLTestSupport.h"

namespace {

class HandlerStatus : public SessionFixture {
 protected:
  // The error state after a reply holding `body`, starting from `initial`.
  int StateAfter(const std::string& body, int initial = SYNC_ERROR_NONE) {
    auto session = MakeSession(1, &mStore);
    session->SetErrorState(initial);
    session->StartMessage(false);
    Exchange(*session, ServerMessage(1, body));
    return session->GetErrorState();
  }
  int StateAfterStatus(const std::string& cmd, const std::string& code) {
    return StateAfter(StatusXml(1, "1", cmd, code));
  }
};

// For an item command only the codes that speak for the whole session are taken from the code
// table; the others refuse that one item (below).
TEST_F(HandlerStatus, CodeTableIsConsultedBeforeTheCommand) {
  const std::pair<const char*, int> rows[] = {{"400", 4},  {"403", 16}, {"404", 6},  {"417", 7}, {"420", 8},
                                              {"503", 15}, {"508", 3},  {"510", 11}, {"513", 5}};
  for (const auto& [code, state] : rows) {
    for (const char* cmd : {"SyncHdr", "Alert", "Sync"}) EXPECT_EQ(StateAfterStatus(cmd, code), state) << cmd << " " << code;
    const bool aboutTheSession = std::string(code) != "400" && std::string(code) != "403" && std::string(code) != "404";
    EXPECT_EQ(StateAfterStatus("Delete", code), aboutTheSession ? state : 0) << code;
  }
}

TEST_F(HandlerStatus, CommandTableAcceptsItsCodesAndTurnsOthersIntoItsError) {
  struct Row {
    const char* cmd;
    const char* code;
    int state;
  };
  const Row rows[] = {{"SyncHdr", "212", 0}, {"SyncHdr", "200", 0}, {"SyncHdr", "402", 9},  {"SyncHdr", "401", 10},
                      {"SyncHdr", "407", 10}, {"Add", "201", 0},    {"Add", "200", 0},      {"Add", "418", 0},
                      {"Add", "208", 0},      {"Add", "300", 12},   {"Add", "409", 0},      {"Replace", "201", 0},
                      {"Replace", "200", 0},  {"Replace", "208", 0}, {"Replace", "300", 13}, {"Replace", "409", 0},
                      {"Delete", "210", 0},   {"Delete", "211", 0}, {"Delete", "404", 0},   {"Delete", "200", 0},
                      {"Delete", "419", 0},   {"Delete", "300", 14}, {"Sync", "999", 0},    {"Alert", "401", 0}};
  for (const Row& row : rows) EXPECT_EQ(StateAfterStatus(row.cmd, row.code), row.state) << row.cmd << " " << row.code;
  const std::string log = LogText();
  EXPECT_NE(log.find("authenticated"), std::string::npos);
  EXPECT_NE(log.find("authentication error"), std::string::npos);
  EXPECT_NE(log.find("Add error on the server: 300"), std::string::npos);
  EXPECT_NE(log.find("Delete conflict on the server: server won"), std::string::npos);
}

// One refused item does not fail the session: it is named (by its references, or by the command
// the Status refers to when it carries none) for the driver to keep as a pending change.
TEST_F(HandlerStatus, AnItemTheServerRefusesIsNamedAndTheSessionGoesOn) {
  auto session = MakeSession(1, &mStore);
  session->StartMessage(false);
  session->Alert("", "");
  session->Add("local-a", VCardText("A"), "text/x-vcard");
  session->Replace("local-b", VCardText("B"), "text/x-vcard");
  session->Delete("local-c");
  session->Delete("local-d");
  session->Add("local-e", VCardText("E"), "text/x-vcard");
  session->Finalize();
  std::map<std::string, std::string> cmdIds;
  for (const ClientCommand& command : DecodeClientMessage(session->OutgoingMessage()).commands) {
    if (command.name == "Add" || command.name == "Replace" || command.name == "Delete") {
      cmdIds[command.item.items.at(0).source->locUri.value()] = command.cmdId;
    }
  }
  wire->Reply(ServerMessage(1, StatusXml(1, "0", "SyncHdr", "212") +
                                   StatusXml(2, cmdIds["local-a"], "Add", "500", "local-a") +
                                   StatusXml(3, cmdIds["local-b"], "Replace", "403") +
                                   StatusXml(4, cmdIds["local-c"], "Delete", "404", "local-c") +
                                   StatusXml(5, cmdIds["local-d"], "Delete", "500", "local-d") +
                                   StatusXml(6, cmdIds["local-e"], "Add", "418", "local-e")));
  session->SendRequest();
  session->Parse();
  EXPECT_EQ(session->GetErrorState(), SYNC_ERROR_NONE);
  EXPECT_EQ(session->ItemFailures(), (std::vector<ItemFailure>{{true, "local-a", "Add", 500},
                                                               {true, "local-b", "Replace", 403},
                                                               {true, "local-d", "Delete", 500}}));
  EXPECT_NE(LogText().find("Replace refused by the server (403): local-b"), std::string::npos);
}

// A Status names its command by MsgRef and CmdRef (no MsgRef: the message just posted), or by the
// item it refers to; a command the server never answered fails once the session has ended.
TEST_F(HandlerStatus, ItemCommandsTheServerNeverAnsweredFailWhenTheSessionEnds) {
  auto session = MakeSession(1, &mStore);
  session->StartMessage(false);
  session->Alert("", "");
  for (const char* id : {"local-a", "local-b", "local-e"}) session->Add(id, VCardText(id), "text/x-vcard");
  session->Replace("local-c", VCardText("C"), "text/x-vcard");
  session->Delete("local-d");
  session->Finalize();
  std::map<std::string, std::string> cmdIds;
  for (const ClientCommand& command : DecodeClientMessage(session->OutgoingMessage()).commands) {
    if (command.name == "Add" || command.name == "Replace" || command.name == "Delete") {
      cmdIds[command.item.items.at(0).source->locUri.value()] = command.cmdId;
    }
  }
  std::string withoutMsgRef = StatusXml(4, cmdIds["local-d"], "Delete", "200");
  withoutMsgRef.erase(withoutMsgRef.find("<MsgRef>"), std::string("<MsgRef>1</MsgRef>").size());
  wire->Reply(ServerMessage(1, StatusXml(1, "0", "SyncHdr", "212") + StatusXml(2, cmdIds["local-a"], "Add", "201") +
                                   StatusXml(3, "99", "Replace", "200", "local-c") + withoutMsgRef +
                                   // A Status of another command does not answer the Add of its item.
                                   StatusXml(5, "98", "Replace", "200", "local-e")));
  session->SendRequest();
  session->Parse();
  EXPECT_TRUE(session->ItemFailures().empty());
  session->FailUnansweredItems();
  EXPECT_EQ(session->ItemFailures(), (std::vector<ItemFailure>{{true, "local-b", "Add", 0}, {true, "local-e", "Add", 0}}));
  session->FailUnansweredItems();
  EXPECT_EQ(session->ItemFailures().size(), 2u);
  EXPECT_NE(LogText().find("Add never answered by the server: local-b"), std::string::npos);
}

TEST_F(HandlerStatus, EveryErrorStateHasItsMessageAndTheOthersFallBackToTheSupportText) {
  const std::pair<int, unsigned> rows[] = {{1, 253}, {4, 254},  {5, 110},  {6, 255},  {7, 256},  {8, 109},  {9, 128},
                                           {10, 102}, {11, 257}, {12, 258}, {13, 259}, {14, 260}, {15, 269}};
  for (const auto& [state, id] : rows) {
    auto session = MakeSession();
    session->SetErrorState(state);
    EXPECT_EQ(session->GetErrorText(), LoadString(id)) << state;
    EXPECT_FALSE(session->GetErrorText().empty());
    EXPECT_EQ(ThrownStringId<CSyncmlException>([&] { session->ThrowErrorState(); }), id);
  }
  EXPECT_EQ(LoadString(102), "Authentication error : your login or password could be wrong");
  for (const int state : {0, 2, 3, 16}) {
    auto session = MakeSession();
    session->SetErrorState(state);
    EXPECT_EQ(session->GetErrorText(), "") << state;
    EXPECT_EQ(ThrownStringId<CSyncmlException>([&] { session->ThrowErrorState(); }), IDS_SYNCML_ERROR);
  }
}

// Filters are optional for a server: a 406 for the Alert names the date filter only when the
// session sent one (the driver then runs the session again without it).
TEST_F(HandlerStatus, OptionalFeatureRefusedOnTheAlertNamesTheDateFilterOnlyWhenOneWasSent) {
  const auto stateAfter406 = [&](const std::string& filterStart, const std::string& cmd) {
    auto session = MakeSession(1, &mStore);
    session->SetFilterStartDate(filterStart);
    session->StartMessage(false);
    Exchange(*session, ServerMessage(1, StatusXml(1, "1", cmd, "406")));
    return session->GetErrorState();
  };
  EXPECT_EQ(stateAfter406("20261201", "Alert"), SYNC_ERROR_FILTER_REFUSED);
  EXPECT_EQ(stateAfter406("", "Alert"), SYNC_ERROR_NONE);
  EXPECT_EQ(stateAfter406("20261201", "SyncHdr"), SYNC_ERROR_AUTHENTICATION);
}

TEST_F(HandlerStatus, FirstErrorOfTheSessionWinsWhileSlowSyncStatesMayChange) {
  EXPECT_EQ(StateAfter(StatusXml(1, "1", "Alert", "404") + StatusXml(2, "2", "Add", "500")), 6);
  EXPECT_EQ(StateAfter(StatusXml(1, "1", "Alert", "404") + StatusXml(2, "2", "Alert", "508")), 6);
  EXPECT_EQ(StateAfter(StatusXml(1, "1", "Alert", "404") + AlertXml(2, "201")), 6);
  EXPECT_EQ(StateAfter(StatusXml(1, "1", "Alert", "508") + StatusXml(2, "2", "Alert", "404")), 6);
  EXPECT_EQ(StateAfter(StatusXml(1, "1", "Alert", "508"), SYNC_ERROR_SLOW_SYNC), 3);
  EXPECT_EQ(StateAfter(StatusXml(1, "1", "Alert", "400"), SYNC_ERROR_PAYMENT), 9);
}

// A server takes an unanswered Alert as a failed session and forces a slow sync next time.
TEST_F(HandlerStatus, ServerAlertsShowAMessageOrAskForSlowSyncAndAreAnswered) {
  auto session = MakeSession(1, &mStore);
  session->StartMessage(false);
  Exchange(*session, ServerMessage(1, AlertXml(1, "100", "Maintenance tonight")));
  EXPECT_EQ(session->GetErrorState(), SYNC_ERROR_DISPLAY_ALERT);
  EXPECT_EQ(session->GetErrorText(), "Unknown Alert code.");
  EXPECT_NE(LogText().find("status 100: Maintenance tonight"), std::string::npos);

  session = MakeSession(1, &mStore);
  session->StartMessage(false);
  Exchange(*session, ServerMessage(1, "<Alert><CmdID>6</CmdID><Data>201</Data><Item><Target><LocURI>Contacts</LocURI>"
                                      "</Target><Source><LocURI>./contacts</LocURI></Source></Item></Alert>"));
  const auto statuses = NextMessage(*session).Named("Status");
  ASSERT_EQ(statuses.size(), 2u);
  EXPECT_EQ(statuses[1].status.cmd, "Alert");
  EXPECT_EQ(statuses[1].status.cmdRef, "6");
  EXPECT_EQ(statuses[1].status.data.text, "200");
  EXPECT_EQ(statuses[1].status.targetRefs, std::vector<std::string>{"Contacts"});
  EXPECT_EQ(statuses[1].status.sourceRefs, std::vector<std::string>{"./contacts"});

  EXPECT_EQ(StateAfter(AlertXml(1, "201")), SYNC_ERROR_SLOW_REQUESTED);
  EXPECT_NE(LogText().find("request for a SLOW SYNC"), std::string::npos);
  EXPECT_EQ(StateAfter(AlertXml(1, "200")), 0);
  EXPECT_EQ(StateAfter("<Alert><CmdID>1</CmdID></Alert>"), 0);
}

class HandlerConflict : public SessionFixture {
 protected:
  HandlerConflict() {
    mLocalId = mStore.AddLocal(DATA_TYPE_CONTACTS, ITEM_CONTACT, {{"PR_DISPLAY_NAME", "Ann Local"}, {"PR_NICKNAME", "Annie"}});
    EXPECT_EQ(mStore.LoadContent("contacts"), kStoreOk);
  }

  // The message answering the server's 409 for the client's Replace of `localId`.
  ClientMessage AnswerToConflict(const std::string& localId) {
    auto session = MakeSession(1, &mStore, &mPrompt);
    session->StartMessage(false);
    Exchange(*session, ServerMessage(1, StatusXml(4, "3", "Replace", "409", localId, "srv-9")));
    return NextMessage(*session);
  }

  // The message answering a reply that holds the 409 and then the server's own version of the
  // item (Replace of `localId` with `serverCard`), after `before` (more commands of that reply).
  ClientMessage AnswerToConflictWithServerVersion(const std::string& serverCard, const std::string& before = "") {
    auto session = MakeSession(1, &mStore, &mPrompt);
    session->StartMessage(false);
    const std::string replace = ItemCommandXml("Replace", 6, ItemXml({std::nullopt, mLocalId, "text/x-vcard", serverCard}));
    Exchange(*session, ServerMessage(1, before + StatusXml(4, "3", "Replace", "409", mLocalId, "srv-9") + SyncXml(5, replace)));
    mFailures = session->ItemFailures();
    return NextMessage(*session);
  }
  static std::string ServerCard() {
    return "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Local;Ann;;;\r\nFN:Ann Local\r\nNICKNAME:Annie\r\n"
           "TEL;WORK;VOICE:+49 30 1234\r\nEND:VCARD\r\n";
  }
  // The contacts the store holds, by display name and business phone.
  std::vector<std::string> HeldContacts() const {
    std::vector<std::string> held;
    for (const std::string& id : mStore.HeldIds(DATA_TYPE_CONTACTS)) {
      const CDataItem::Ptr item = mStore.Held(id);
      held.push_back(item->Property("PR_DISPLAY_NAME") + "|" + item->Property("PR_BUSINESS_TELEPHONE_NUMBER"));
    }
    std::sort(held.begin(), held.end());
    return held;
  }

  std::string mLocalId;
  RecordingPrompt mPrompt;
  std::vector<ItemFailure> mFailures;
};

// The server's version arrives with the 409: the question compares the two, and "keep both" keeps
// both on both sides: the original takes the server's version, a new local item holds the local
// one and goes to the server as an Add.
TEST_F(HandlerConflict, KeepBothWithTheServersVersionMakesALocalCopyAndAddsItToTheServer) {
  mStore.EditLocal(mLocalId, "PR_GIVEN_NAME", "Ann");
  mStore.EditLocal(mLocalId, "PR_SURNAME", "Local");
  mStore.EditLocal(mLocalId, "PR_MOBILE_TELEPHONE_NUMBER", "+49 170 5555");
  ASSERT_EQ(mStore.LoadContent("contacts"), kStoreOk);
  const ClientMessage message = AnswerToConflictWithServerVersion(ServerCard());
  ASSERT_EQ(mPrompt.conflicts.size(), 1u);
  const ConflictQuestion& question = mPrompt.conflicts[0];
  EXPECT_TRUE(question.serverVersionKnown);
  EXPECT_EQ(question.serverName, "sync.example.test") << "the host, as the server named itself nowhere";
  EXPECT_EQ(question.kind, ConflictItemKind::Contact);
  EXPECT_EQ(question.fields, (std::vector<ConflictField>{{"PR_BUSINESS_TELEPHONE_NUMBER", "", "+49 30 1234"},
                                                         {"PR_MOBILE_TELEPHONE_NUMBER", "+49 170 5555", ""}}));

  ASSERT_EQ(HeldContacts(), (std::vector<std::string>{"Ann Local|", "Ann Local|+49 30 1234"}));
  std::string copyId;
  for (const std::string& id : mStore.HeldIds(DATA_TYPE_CONTACTS)) {
    if (id != mLocalId) copyId = id;
  }
  EXPECT_EQ(mStore.Held(mLocalId)->Property("PR_BUSINESS_TELEPHONE_NUMBER"), "+49 30 1234");
  EXPECT_EQ(mStore.Held(copyId)->Property("PR_MOBILE_TELEPHONE_NUMBER"), "+49 170 5555");

  const auto statuses = message.Named("Status");
  ASSERT_EQ(statuses.size(), 3u);  // SyncHdr, Sync, Replace
  EXPECT_EQ(statuses[2].status.cmd, "Replace");
  EXPECT_EQ(statuses[2].status.data.text, "209");
  const auto adds = message.Named("Add");
  ASSERT_EQ(adds.size(), 1u);
  EXPECT_EQ(adds[0].item.items.at(0).source->locUri, copyId);
  EXPECT_NE(adds[0].item.items.at(0).data.text.find("+49 170 5555"), std::string::npos);
  EXPECT_TRUE(message.Named("Alert").empty()) << "no request of the original protocol when the server sent its version";
  EXPECT_TRUE(message.Named("Replace").empty());
  EXPECT_TRUE(mFailures.empty());
}

TEST_F(HandlerConflict, TheServersVersionWinsOrThisComputersVersionIsSentAgain) {
  mPrompt.conflictAnswer = ConflictAnswer::Server;
  ClientMessage message = AnswerToConflictWithServerVersion(ServerCard());
  EXPECT_EQ(HeldContacts(), std::vector<std::string>{"Ann Local|+49 30 1234"});
  EXPECT_EQ(message.Named("Status").back().status.data.text, "200");
  EXPECT_TRUE(message.Named("Replace").empty());
  EXPECT_TRUE(message.Named("Add").empty());

  mLocalId = mStore.AddLocal(DATA_TYPE_CONTACTS, ITEM_CONTACT, {{"PR_DISPLAY_NAME", "Bea Local"}});
  ASSERT_EQ(mStore.LoadContent("contacts"), kStoreOk);
  mPrompt.conflictAnswer = ConflictAnswer::Local;
  message = AnswerToConflictWithServerVersion(ServerCard());
  EXPECT_EQ(mStore.Held(mLocalId)->Property("PR_DISPLAY_NAME"), "Bea Local") << "the server's version was written";
  EXPECT_EQ(message.Named("Status").back().status.data.text, "208");
  const auto replaces = message.Named("Replace");
  ASSERT_EQ(replaces.size(), 1u);
  EXPECT_EQ(replaces[0].item.items.at(0).source->locUri, mLocalId);
  EXPECT_NE(replaces[0].item.items.at(0).data.text.find("Bea Local"), std::string::npos);
  EXPECT_TRUE(mFailures.empty());
}

// The server names itself in its device information; a conflict it reports again after the answer
// was carried out is not asked about twice: the item stays a pending change.
TEST_F(HandlerConflict, TheServersOwnNameIsShownAndAConflictComesBackOnlyAsAFailure) {
  const std::string devInf =
      "<Put><CmdID>2</CmdID><Meta><Type xmlns='syncml:metinf'>application/vnd.syncml-devinf+xml</Type></Meta><Item><Source>"
      "<LocURI>./devinf11</LocURI></Source><Data><DevInf xmlns='syncml:devinf'><VerDTD>1.1</VerDTD><Man>Example Ltd</Man>"
      "<Mod>Example Groupware</Mod><DevID>srv</DevID><DevTyp>server</DevTyp></DevInf></Data></Item></Put>";
  mPrompt.conflictAnswer = ConflictAnswer::Local;
  auto session = MakeSession(1, &mStore, &mPrompt);
  session->StartMessage(false);
  const std::string replace = ItemCommandXml("Replace", 6, ItemXml({std::nullopt, mLocalId, "text/x-vcard", ServerCard()}));
  Exchange(*session, ServerMessage(1, devInf + StatusXml(4, "3", "Replace", "409", mLocalId, "srv-9") + SyncXml(5, replace)));
  ASSERT_EQ(mPrompt.conflicts.size(), 1u);
  EXPECT_EQ(mPrompt.conflicts[0].serverName, "Example Groupware");
  Exchange(*session, ServerMessage(2, StatusXml(1, "4", "Replace", "409", mLocalId, "srv-9")));
  EXPECT_EQ(mPrompt.conflicts.size(), 1u);
  ASSERT_EQ(session->ItemFailures().size(), 1u);
  EXPECT_EQ(session->ItemFailures()[0].code, 409);
  EXPECT_EQ(session->ItemFailures()[0].id, mLocalId);
}

TEST_F(HandlerConflict, WithoutTheServersVersionBothValuesAlertAndReplaceTheItemWithStatus209) {
  const ClientMessage message = AnswerToConflict(mLocalId);
  ASSERT_EQ(mPrompt.conflicts.size(), 1u);
  EXPECT_EQ(mPrompt.conflicts[0].displayName, "Ann Local");
  EXPECT_EQ(mPrompt.conflicts[0].nickname, "Annie");
  EXPECT_FALSE(mPrompt.conflicts[0].serverVersionKnown);
  EXPECT_TRUE(mPrompt.conflicts[0].fields.empty());
  ASSERT_EQ(message.Names(), (std::vector<std::string>{"Status", "Alert", "Status", "Sync", "Replace"}));
  const SmlItem& alertItem = message.commands[1].alert.items.at(0);
  EXPECT_EQ(alertItem.target->locUri, mLocalId);
  EXPECT_EQ(alertItem.source->locUri, "srv-9");
  const SmlStatus& status = message.commands[2].status;
  EXPECT_EQ(status.cmd, "Status");
  EXPECT_EQ(status.cmdRef, "4");
  EXPECT_EQ(status.data.text, "209");
  EXPECT_EQ(status.sourceRefs, std::vector<std::string>{mLocalId});
  EXPECT_EQ(status.targetRefs, std::vector<std::string>{"srv-9"});
  const SmlItem& replaced = message.commands[4].item.items.at(0);
  EXPECT_EQ(replaced.source->locUri, mLocalId);
  EXPECT_NE(replaced.data.text.find("Ann Local"), std::string::npos);
}

TEST_F(HandlerConflict, WithoutTheServersVersionServerValueAlertsWith419AndLocalValueReplacesWith208) {
  mPrompt.conflictAnswer = ConflictAnswer::Server;
  const ClientMessage server = AnswerToConflict(mLocalId);
  ASSERT_EQ(server.Names(), (std::vector<std::string>{"Status", "Alert", "Status"}));
  EXPECT_EQ(server.commands[2].status.data.text, "419");
  EXPECT_EQ(server.commands[2].status.targetRefs, std::vector<std::string>{"srv-9"});

  mPrompt.conflictAnswer = ConflictAnswer::Local;
  const ClientMessage local = AnswerToConflict(mLocalId);
  ASSERT_EQ(local.Names(), (std::vector<std::string>{"Status", "Status", "Sync", "Replace"}));
  EXPECT_EQ(local.commands[1].status.data.text, "208");
  EXPECT_EQ(local.commands[1].status.sourceRefs, std::vector<std::string>{mLocalId});
  EXPECT_TRUE(local.commands[1].status.targetRefs.empty());
}

TEST_F(HandlerConflict, AutomaticPolicyAndSilentRunsKeepBothWithoutAskingAndUnknownItemsAreLeft) {
  mPrompt.conflictAnswer = ConflictAnswer::Server;
  mConf.SetConfResPol(true);
  EXPECT_EQ(AnswerToConflict(mLocalId).Named("Replace").size(), 1u);
  mConf.SetConfResPol(false);
  mConf.SetSilent(true);
  EXPECT_EQ(AnswerToConflict(mLocalId).Named("Replace").size(), 1u);
  mConf.SetSilent(false);
  EXPECT_EQ(AnswerToConflict("not-held").Names(), (std::vector<std::string>{"Status"}));
  EXPECT_TRUE(mPrompt.conflicts.empty());
}

}  // namespace
