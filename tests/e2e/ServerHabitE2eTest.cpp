// Sync runs of the real client against the scripted server playing one habit of standard SyncML
// servers at a time: each test is named by the habit and asserts the sound outcome (both sides
// equal, nothing doubled, no slow sync asked for, failures not reported as success).
#include <csignal>
#include <algorithm>
#include <filesystem>
#include <sstream>

#include "syncml/DatabaseRequest.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/StatefulSyncServer.h"

namespace {

namespace fs = std::filesystem;

class ServerHabitE2eTest : public E2eTest {
 protected:
  StatefulSyncServer& Scripted() { return *Server().Scripted(); }
  void Play(const ServerHabits& habits) { Scripted().SetHabits(habits); }

  // Items of every kind on both sides, synchronized once; both sides then hold the same.
  void SynchronizeBothWays() {
    WriteLocal("contacts", "ada.vcf", VCard("Ada", "Lovelace", "TEL;WORK;VOICE:+44 20 7946 0001\r\n"));
    WriteLocal("contacts", "alan.vcf", VCard("Alan", "Turing", "ORG:Bletchley Park\r\n"));
    WriteLocal("events", "review.vcs", VEvent("Quarterly review", "20270112T090000Z", "20270112T103000Z"));
    WriteLocal("tasks", "report.vcs", VTodo("Annual report", "20270131"));
    WriteServer("contacts", "server-grace", VCard("Grace", "Hopper", "TEL;CELL:+1 202 555 0143\r\n"));
    WriteServer("events", "server-launch", VEvent("Launch", "20270301T140000Z", "20270301T150000Z"));
    WriteServer("tasks", "server-taxes", VTodo("File taxes", "20270415"));
    ExpectRunSucceeds();
    ExpectBothSidesEqual();
    EXPECT_EQ(FolderContents(LocalFolder("contacts"), false).size(), 3u);
  }
  // A change of each kind on each side.
  void ChangeBothSides() {
    WriteLocal("contacts", "ada.vcf", VCard("Ada", "King", "TEL;WORK;VOICE:+44 20 7946 0002\r\n"));
    fs::remove(LocalFolder("contacts") + "alan.vcf");
    WriteLocal("contacts", "edsger.vcf", VCard("Edsger", "Dijkstra"));
    WriteServer("contacts", "server-linus", VCard("Linus", "Pauling"));
    WriteServer("contacts", "server-grace", VCard("Grace", "Hopper", "TITLE:Rear Admiral\r\n"));
    DeleteServer("events", "server-launch");
  }
  void ExpectRunSucceeds() {
    const SyncRunOutcome outcome = Sync();
    EXPECT_TRUE(outcome.Succeeded()) << outcome.error << " | " << Link(0).mStatusText << " | " << Link(1).mStatusText << " | "
                                     << Link(2).mStatusText << "\n"
                                     << Server().LogTail();
  }
  // The whole cycle: first sync, a quiet second run, changes both ways, and the run after them.
  void RunTheCycle() {
    SynchronizeBothWays();
    const std::size_t before = Scripted().Exchanges().size();
    ExpectRunSucceeds();
    EXPECT_EQ(CommandsSentSince(before, {"Add", "Replace", "Delete"}), 0) << "the quiet run sent items";
    ChangeBothSides();
    ExpectRunSucceeds();
    ExpectBothSidesEqual();
    EXPECT_EQ(FolderContents(LocalFolder("contacts"), false).size(), 4u);
    EXPECT_EQ(FolderContents(LocalFolder("events"), true).size(), 1u);
  }
  // Requests since exchange `from`, parsed.
  std::vector<XmlElement> RequestsSince(std::size_t from) {
    std::vector<XmlElement> requests;
    const std::vector<ServerExchange> exchanges = Scripted().Exchanges();
    for (std::size_t i = from; i < exchanges.size(); ++i) {
      if (exchanges[i].error.empty()) requests.push_back(ParseXml(exchanges[i].request));
    }
    return requests;
  }
  // How many item commands of those kinds the client sent since exchange `from`.
  int CommandsSentSince(std::size_t from, std::initializer_list<const char*> kinds) {
    int count = 0;
    for (const XmlElement& request : RequestsSince(from)) {
      for (const XmlElement* sync : request.Find("SyncBody")->Children("Sync")) {
        for (const char* kind : kinds) count += static_cast<int>(sync->Children(kind).size());
      }
    }
    return count;
  }
  // The client's Alert codes since exchange `from`.
  std::vector<std::string> AlertCodesSince(std::size_t from) {
    std::vector<std::string> codes;
    for (const XmlElement& request : RequestsSince(from)) {
      for (const XmlElement* alert : request.Find("SyncBody")->Children("Alert")) codes.push_back(alert->Text("Data"));
    }
    return codes;
  }
  std::vector<std::string> RefusedRequests() {
    std::vector<std::string> errors;
    for (const ServerExchange& exchange : Scripted().Exchanges()) {
      if (!exchange.error.empty()) errors.push_back(exchange.error);
    }
    return errors;
  }
  bool CleanlySynchronized(int link) { return Link(link).mState == SYNC_STATE_SYNCHRONIZED && Link(link).mStatusText.find("error") == std::string::npos; }
};

TEST_P(ServerHabitE2eTest, LowerCaseNamespaces) {
  ServerHabits habits;
  habits.lowerCaseNamespaces = true;
  Play(habits);
  RunTheCycle();
}

TEST_P(ServerHabitE2eTest, NoGetOfTheClientsDevInf) {
  ServerHabits habits;
  habits.devInfGet = ServerHabits::DevInfGet::Never;
  Play(habits);
  SynchronizeBothWays();
  const std::optional<XmlElement> devInf = Scripted().ClientDevInf(mIdentity);
  ASSERT_TRUE(devInf.has_value()) << "no DevInf from the client";
  EXPECT_TRUE(devInf->Has("UTC"));
  EXPECT_FALSE(devInf->Children("DataStore").empty());
}

TEST_P(ServerHabitE2eTest, GetOfTheClientsDevInfInEveryFinalReplyUntilItArrives) {
  ServerHabits habits;
  habits.devInfGet = ServerHabits::DevInfGet::EveryFinalReply;
  Play(habits);
  RunTheCycle();
  EXPECT_TRUE(Scripted().ClientDevInf(mIdentity).has_value());
  EXPECT_LT(Scripted().Exchanges().size(), 60u) << "sessions did not end";
}

TEST_P(ServerHabitE2eTest, DeleteWithoutMeta) {
  ServerHabits habits;
  habits.deleteWithoutMeta = true;
  Play(habits);
  SynchronizeBothWays();
  DeleteServer("contacts", "server-grace");
  ExpectRunSucceeds();
  EXPECT_EQ(Link(0).mServerCounts.deleted, 1);
  ExpectBothSidesEqual();
  EXPECT_EQ(FolderContents(LocalFolder("contacts"), false).size(), 2u);
}

TEST_P(ServerHabitE2eTest, ContentTypeOnTheCommandOnly) {
  ServerHabits habits;
  habits.typeOnCommandOnly = true;
  Play(habits);
  RunTheCycle();
}

TEST_P(ServerHabitE2eTest, NoContentMatchingAndMapErasureOnAClientSlowSyncAfterAnInterruptedSession) {
  ServerHabits habits;
  habits.contentMatching = false;
  habits.eraseMapOnClientSlowSync = true;
  Play(habits);
  SynchronizeBothWays();
  ChangeBothSides();
  const std::size_t before = Scripted().Exchanges().size();
  EXPECT_TRUE(SyncInChildKilledBy(nullptr, [](int session, int message) {
    if (session == 1 && message == 0) ::raise(SIGKILL);
  }));
  ExpectRunSucceeds();
  ExpectBothSidesEqual();
  EXPECT_EQ(FolderContents(LocalFolder("contacts"), false).size(), 4u);
  const std::vector<std::string> alerts = AlertCodesSince(before);
  EXPECT_EQ(std::count(alerts.begin(), alerts.end(), "201"), 0) << "the client asked for a slow sync";
}

TEST_P(ServerHabitE2eTest, StaleAnchorAnswered508WithoutContentMatching) {
  ServerHabits habits;
  habits.contentMatching = false;
  Play(habits);
  SynchronizeBothWays();
  Scripted().SetStoredAnchor(mIdentity, "contacts", "stale");
  mConf->SetSlowSyncGuard(false);
  ExpectRunSucceeds();
  ExpectBothSidesEqual();
  EXPECT_EQ(Scripted().Items("contacts").size(), 3u);
  EXPECT_EQ(FolderContents(LocalFolder("contacts"), false).size(), 3u);
}

TEST_P(ServerHabitE2eTest, NotFound404ForAnItemTheServerNoLongerHas) {
  ServerHabits habits;
  habits.unknownItemIs404 = true;
  Play(habits);
  SynchronizeBothWays();
  // Deleted on both sides between two runs: the client's Delete meets an identifier the server forgot.
  const std::string serverId = Scripted().ClientMap(mIdentity, "contacts").at("alan.vcf");
  Scripted().DeleteItem("contacts", serverId);
  fs::remove(LocalFolder("contacts") + "alan.vcf");
  ExpectRunSucceeds();
  EXPECT_TRUE(CleanlySynchronized(0)) << Link(0).mStatusText;
  ExpectBothSidesEqual();
}

TEST_P(ServerHabitE2eTest, OneItemRefusedWith500ThreeRunsInARow) {
  ServerHabits habits;
  habits.refuseItemsContaining = "Refused meeting";
  Play(habits);
  for (int i = 0; i < 4; ++i) {
    WriteLocal("events", "event-" + std::to_string(i) + ".vcs",
               VEvent("Meeting " + std::to_string(i), "2027020" + std::to_string(i + 1) + "T090000Z", "2027020" + std::to_string(i + 1) + "T100000Z"));
  }
  WriteLocal("events", "refused.vcs", VEvent("Refused meeting", "20270210T090000Z", "20270210T100000Z"));
  for (int run = 0; run < 3; ++run) {
    const std::size_t before = Scripted().Exchanges().size();
    const SyncRunOutcome outcome = Sync(1);
    EXPECT_EQ(Scripted().Items("events").size(), 4u) << "run " << run;
    EXPECT_EQ(FolderContents(LocalFolder("events"), true).size(), 5u) << "run " << run;
    EXPECT_FALSE(outcome.Succeeded() && CleanlySynchronized(1)) << "a refused item reported as a clean success, run " << run;
    // What the server took stays committed: a later run retries the refused item alone, once.
    if (run > 0) {
      EXPECT_EQ(CommandsSentSince(before, {"Add", "Replace"}), 1) << "run " << run;
    }
  }
}

TEST_P(ServerHabitE2eTest, CmdIdsContinueAcrossMessages) {
  ServerHabits habits;
  habits.cmdIdsContinue = true;
  Play(habits);
  mConf->SetMaxMsgSize(4000);
  for (int i = 0; i < 12; ++i) WriteLocal("contacts", "local-" + std::to_string(i) + ".vcf", VCard("Local" + std::to_string(i), "Person"));
  for (int i = 0; i < 8; ++i) WriteServer("contacts", "server-" + std::to_string(i), VCard("Server" + std::to_string(i), "Person"));
  ExpectRunSucceeds();
  ExpectBothSidesEqual();
  EXPECT_EQ(FolderContents(LocalFolder("contacts"), false).size(), 20u);
  const std::size_t before = Scripted().Exchanges().size();
  ExpectRunSucceeds();
  EXPECT_EQ(CommandsSentSince(before, {"Add", "Replace", "Delete"}), 0);
}

TEST_P(ServerHabitE2eTest, DevInfNamespaceOtherThanSyncmlDevinf) {
  for (const char* space : {"syncml:devinf", "http://www.syncml.org/docs/devinf_v11_20020215.dtd"}) {
    ServerHabits habits;
    habits.devInfNamespace = space;
    Play(habits);
    std::ostringstream out;
    HeadlessPrompt prompt(out);
    EXPECT_EQ(RequestServerDatabases(*mConf, prompt), DatabaseRequestResult::Succeeded) << space << ": " << out.str();
    EXPECT_EQ(mConf->Links().Size(), 3u) << space;
  }
}

TEST_P(ServerHabitE2eTest, MaxMsgSize10000InTheServersHeader) {
  ServerHabits habits;
  habits.maxMsgSize = 10000;
  Play(habits);
  const std::string note = "NOTE:" + std::string(300, 'n') + "\r\n";
  for (int i = 0; i < 40; ++i) WriteLocal("contacts", "c" + std::to_string(i) + ".vcf", VCard("Card" + std::to_string(i), "Sizer", note));
  ExpectRunSucceeds();
  ExpectBothSidesEqual();
  for (const ServerExchange& exchange : Scripted().Exchanges()) EXPECT_LE(exchange.request.size(), 10000u);
}

TEST_P(ServerHabitE2eTest, ServerChangesOnlyAfterTheClientsFinalMessage) {
  ServerHabits habits;
  habits.changesAfterClientFinal = true;
  habits.devInfGet = ServerHabits::DevInfGet::Never;  // no Get that would keep the session going
  Play(habits);
  RunTheCycle();
  EXPECT_TRUE(Scripted().StoredAnchor(mIdentity, "contacts").has_value());
}

TEST_P(ServerHabitE2eTest, SessionStateKeyedByTheExactAlertTarget) {
  ServerHabits habits;
  habits.stateKeyedByExactTarget = true;
  Play(habits);
  RunTheCycle();
}

TEST_P(ServerHabitE2eTest, ControlCharactersInItemTextKeepTheMessageWellFormed) {
  WriteLocal("contacts", "noted.vcf", VCard("Nora", "Noted", "NOTE:line\x0Bseparated\x01text\r\nTITLE:Head\x0Bof\x02staff\r\n"));
  WriteLocal("events", "noted.vcs",
             "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:VEVENT\r\nSUMMARY:Stand\x0Bup\r\nDESCRIPTION:first\x0Bsecond\x01\r\n"
             "DTSTART:20270112T090000Z\r\nDTEND:20270112T093000Z\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
  ExpectRunSucceeds();
  EXPECT_EQ(RefusedRequests(), std::vector<std::string>{});
  EXPECT_EQ(Scripted().Items("contacts").size(), 1u);
  EXPECT_EQ(Scripted().Items("events").size(), 1u);
}

// Answers the conflict question with one answer and keeps the questions.
class ConflictAnswering final : public Prompt {
 public:
  explicit ConflictAnswering(ConflictAnswer answer) : mAnswer(answer) {}
  PromptAnswer Message(std::string_view, PromptButtons buttons, PromptKind) override { return SafeDefaultAnswer(buttons); }
  bool AskLogin(LoginRequest&) override { return false; }
  ConflictAnswer AskConflict(const ConflictQuestion& question) override {
    questions.push_back(question);
    return mAnswer;
  }
  std::vector<ConflictQuestion> questions;

 private:
  ConflictAnswer mAnswer;
};

// The server refuses the client's change of a contact it changed too (409) and sends its own
// version. Whatever the user answers, both sides end equal; "keep both" leaves both versions on
// both sides, and the run after it moves nothing.
TEST_P(ServerHabitE2eTest, ConflictRefusedWith409IsSettledOnBothSidesByEachAnswer) {
  ServerHabits habits;
  habits.conflictsRefused409 = true;
  // Its changes after the client's: the client's Replace meets the server's change first.
  habits.changesAfterClientFinal = true;
  Play(habits);
  const auto versionsOf = [](const std::vector<std::string>& contents, const std::string& given) {
    std::vector<std::string> found;
    for (const std::string& content : contents) {
      if (content.find(given) == std::string::npos) continue;
      found.push_back(content.find("Server title") != std::string::npos ? "server" : content.find("+1 202 555 0199") != std::string::npos ? "local" : "old");
    }
    std::sort(found.begin(), found.end());
    return found;
  };
  const std::pair<ConflictAnswer, std::vector<std::string>> cases[] = {{ConflictAnswer::Both, {"local", "server"}},
                                                                       {ConflictAnswer::Server, {"server"}},
                                                                       {ConflictAnswer::Local, {"local"}}};
  for (const auto& [answer, expected] : cases) {
    const std::string given = "Conflict" + std::to_string(static_cast<int>(answer));
    SCOPED_TRACE(given);
    const std::string file = given + ".vcf";
    WriteLocal("contacts", file, VCard(given, "Person", "TEL;WORK;VOICE:+1 202 555 0100\r\n"));
    ExpectRunSucceeds();
    const std::string serverId = Scripted().ClientMap(mIdentity, "contacts").at(file);
    Scripted().PutItem("contacts", serverId, VCard(given, "Person", "TEL;WORK;VOICE:+1 202 555 0100\r\nTITLE:Server title\r\n"));
    WriteLocal("contacts", file, VCard(given, "Person", "TEL;WORK;VOICE:+1 202 555 0100\r\nTEL;CELL:+1 202 555 0199\r\n"));

    // A user at the window answers.
    ConflictAnswering prompt(answer);
    mPrompt = &prompt;
    mConf->SetSilent(false);
    ExpectRunSucceeds();
    mConf->SetSilent(true);
    mPrompt = nullptr;
    ASSERT_EQ(prompt.questions.size(), 1u);
    EXPECT_TRUE(prompt.questions[0].serverVersionKnown);
    EXPECT_EQ(prompt.questions[0].displayName, given + " Person");
    EXPECT_FALSE(prompt.questions[0].fields.empty());
    EXPECT_EQ(versionsOf(ServerContents("contacts"), given), expected) << "server";
    EXPECT_EQ(versionsOf(LocalContacts(), given), expected) << "this computer";
    ExpectBothSidesEqual();

    const std::size_t before = Scripted().Exchanges().size();
    ExpectRunSucceeds();
    EXPECT_EQ(CommandsSentSince(before, {"Add", "Replace", "Delete"}), 0) << "the run after the conflict sent items";
    EXPECT_EQ(versionsOf(ServerContents("contacts"), given), expected) << "server, the run after";
  }
}

INSTANTIATE_TEST_SUITE_P(Peers, ServerHabitE2eTest, ::testing::Values(PeerKind::Scripted), PeerTestName<::testing::TestParamInfo<E2eParam>>);

}  // namespace
