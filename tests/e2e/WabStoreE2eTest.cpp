// End-to-end cases of the Windows Contacts store against the local SyncML servers: the real run
// store factory over an address book of the test's own, with the book changed as another
// program changes it.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <memory>
#include <sstream>
#include <string>

#include "common/CXException.h"
#include "common/StringIds.h"
#include "common/StringTable.h"
#include "stores/RunStoreFactory.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/e2e/WabLocalSide.h"

namespace {

class WabStoreE2eTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    if (IsSkipped()) return;
    mSide = std::make_unique<WabLocalSide>(mDir.Path());
    mSide->Configure(*mConf);
  }
  void TearDown() override {
    E2eTest::TearDown();
    mSide.reset();
  }

  // One run of the contacts link with the program's own store factory.
  SyncRunOutcome RunWab() {
    std::ostringstream progress;
    ConsoleSyncObserver observer(progress);
    HeadlessPrompt prompt(progress);
    RunStoreFactory stores;
    RefusedUpdate updates;
    HookedTransportFactory transports(mBeforePost, mAfterPost, mInspect);
    CSyncRun run(*mConf, CSyncRun::Services{observer, prompt, stores, updates, &transports, nullptr});
    run.SetSelectedLink(0);
    run.BeginSyncRun();
    run.WaitForEnd();
    return run.LastOutcome();
  }

  // The same run in a child process that the hooks may kill; true when it was killed.
  bool RunWabInChild() {
    const pid_t child = ::fork();
    if (child == 0) {
      RunWab();
      ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    mConf->Load(false);
    return WIFSIGNALED(status);
  }

  void ExpectBothSidesEqual() { EXPECT_EQ(Contents(mSide->Contacts(), false), ServerContents("contacts")); }

  // A run that sends and receives no item.
  void ExpectQuietRun() {
    std::vector<std::string> sent;
    mInspect = [&](int, int, const std::string& text) { sent.push_back(text); };
    const SyncRunOutcome outcome = RunWab();
    mInspect = nullptr;
    ASSERT_TRUE(outcome.Succeeded()) << outcome.error << " " << Link(0).mStatusText;
    for (const std::string& text : sent) {
      for (const char* command : {"<Add>", "<Replace>", "<Delete>"}) EXPECT_EQ(text.find(command), std::string::npos) << text;
    }
    EXPECT_EQ(Link(0).mServerCounts.added + Link(0).mServerCounts.updated + Link(0).mServerCounts.deleted, 0);
  }

  std::unique_ptr<WabLocalSide> mSide;
};

TEST_P(WabStoreE2eTest, ThePreferredFaxTakesTheBusinessFaxAndTheOtherGoesToTheAdditionalPhones) {
  WriteServer("contacts", "fax", VCard("Paula", "Faxer", "TEL;WORK;FAX:+49 30 111\r\nTEL;PREF;WORK;FAX:+49 30 222\r\n"));
  const SyncRunOutcome outcome = RunWab();
  ASSERT_TRUE(outcome.Succeeded()) << outcome.error << " " << Link(0).mStatusText;
  const std::vector<std::string> ids = mSide->Ids();
  ASSERT_EQ(ids.size(), 1u);
  EXPECT_EQ(mSide->PropertyOf(ids[0], "PR_BUSINESS_FAX_NUMBER"), "+49 30 222");
  EXPECT_EQ(mSide->PropertyOf(ids[0], "PR_ZEP_ADDITIONAL_PHONES_LIST"), "+49 30 111\t");
  // The shared contact mapping marks each additional number preferred (P) or not (N).
  EXPECT_EQ(mSide->PropertyOf(ids[0], "PR_ZEP_ADDITIONAL_PHONES_ATTR"), "WFN\t");
  EXPECT_EQ(mSide->PropertyOf(ids[0], "PR_ZEP_PREF_PHONE_INDEX"), "PR_BUSINESS_FAX_NUMBER");
  // The card the store would send holds both numbers as the server has them. (The comparable
  // contents read cards by other field rules, which put a preferred second fax elsewhere.)
  const std::vector<std::string> local = mSide->Contacts();
  ASSERT_EQ(local.size(), 1u);
  EXPECT_NE(local[0].find("TEL;TYPE=WORK,FAX,PREF:+49 30 222"), std::string::npos) << local[0];
  EXPECT_NE(local[0].find("TEL;TYPE=WORK,FAX:+49 30 111"), std::string::npos) << local[0];
  const std::vector<std::string> server = ServerContents("contacts");
  ExpectQuietRun();
  EXPECT_EQ(ServerContents("contacts"), server);
}

TEST_P(WabStoreE2eTest, AContactOfAnotherProgramKeepsTheIdentifierItIsGivenOnce) {
  const std::string id = mSide->AddContact(VCard("Otto", "Other", "EMAIL;INTERNET;WORK:otto@example.org\r\n"));
  EXPECT_EQ(mSide->StoreIdentifierOf(id), std::nullopt);
  ASSERT_TRUE(RunWab().Succeeded()) << Link(0).mStatusText;
  const std::optional<std::string> given = mSide->StoreIdentifierOf(id);
  ASSERT_TRUE(given);
  ExpectBothSidesEqual();

  mSide->ChangeContact(id, VCard("Otto", "Otherwise", "EMAIL;INTERNET;WORK:otto@example.org\r\n"));
  ASSERT_TRUE(RunWab().Succeeded()) << Link(0).mStatusText;
  EXPECT_EQ(mSide->StoreIdentifierOf(id), given);
  EXPECT_EQ(Link(0).mLocalCounts.updated, 1);
  const std::vector<std::string> server = ServerContents("contacts");
  ASSERT_EQ(server.size(), 1u);
  EXPECT_NE(server[0].find("Otherwise"), std::string::npos) << server[0];
  ExpectBothSidesEqual();
  ExpectQuietRun();
  EXPECT_EQ(mSide->StoreIdentifierOf(id), given);
}

TEST_P(WabStoreE2eTest, IdentifiersMadeInTheSameSecondAreDistinct) {
  for (int i = 0; i < 5; ++i) WriteServer("contacts", "same-" + std::to_string(i), VCard("Same" + std::to_string(i), "Second"));
  ASSERT_TRUE(RunWab().Succeeded()) << Link(0).mStatusText;
  std::vector<std::string> identifiers;
  for (const std::string& id : mSide->Ids()) identifiers.push_back(mSide->StoreIdentifierOf(id).value_or(""));
  ASSERT_EQ(identifiers.size(), 5u);
  std::sort(identifiers.begin(), identifiers.end());
  EXPECT_EQ(std::adjacent_find(identifiers.begin(), identifiers.end()), identifiers.end()) << ::testing::PrintToString(identifiers);
  // Written in one run, so within a second or two: those of one second differ by the counter.
  for (const std::string& identifier : identifiers) EXPECT_NE(identifier.find('_'), std::string::npos) << identifier;
  ExpectBothSidesEqual();
  ExpectQuietRun();
}

TEST_P(WabStoreE2eTest, ARunKilledDuringADownloadIsCompletedByTheNextWithoutDuplicates) {
  mConf->SetMaxMsgSize(3000);
  for (int i = 0; i < 8; ++i) WriteServer("contacts", "down-" + std::to_string(i), VCard("Down" + std::to_string(i), "Loaded"));
  // The first items are in the book, their Map not yet sent.
  bool wrote = false;
  mInspect = [&](int session, int message, const std::string&) { wrote = session == 1 && message >= 2; };
  mBeforePost = [&](int, int) {
    if (wrote) ::raise(SIGKILL);
  };
  EXPECT_TRUE(RunWabInChild());
  mInspect = nullptr;
  mBeforePost = nullptr;
  EXPECT_FALSE(mSide->Ids().empty());
  EXPECT_LT(mSide->Ids().size(), 8u);

  const SyncRunOutcome outcome = RunWab();
  ASSERT_TRUE(outcome.Succeeded()) << outcome.error << " " << Link(0).mStatusText << "\n" << Server().LogTail();
  EXPECT_EQ(mSide->Ids().size(), 8u);
  EXPECT_EQ(ServerContents("contacts").size(), 8u);
  ExpectBothSidesEqual();
  ExpectQuietRun();
}

// Each way the book cannot be opened, produced for real: the run stops with the step's message
// before any link, and neither side changes.
TEST_P(WabStoreE2eTest, EachOpeningFailureStopsTheRunWithItsMessageAndChangesNothing) {
  mSide->AddContact(VCard("Kept", "Local"));
  WriteServer("contacts", "kept", VCard("Kept", "Remote"));
  const std::vector<std::string> serverBefore = ServerContents("contacts");
  const std::string indexBefore = AnchorAndIndex(0);
  const std::string library = ReadFileBytes(mSide->SettingPath());
  const std::string book = ReadFileBytes(mSide->BookPath());

  struct Failure {
    const char* name;
    std::function<void()> make;
    unsigned message;
  };
  const Failure failures[] = {
      {"no setting file", [&] { ::unlink(mSide->SettingPath().c_str()); }, IDS_WAB_REGISTRY_ERROR},
      {"a wrong library path", [&] { WriteFileBytes(mSide->SettingPath(), "DLLPath=/nonexistent/libwabstore.so\n"); },
       IDS_WAB_NOT_FOUND},
      {"a library without the entry point", [&] { WriteFileBytes(mSide->SettingPath(), "DLLPath=libm.so.6\n"); },
       IDS_WAB_NO_ENTRY_POINT},
      {"an unreadable book", [&] { WriteFileBytes(mSide->BookPath(), "this is no address book"); }, IDS_OUTLOOK_LOAD_ERROR},
  };
  for (const Failure& failure : failures) {
    WriteFileBytes(mSide->SettingPath(), library);
    WriteFileBytes(mSide->BookPath(), book);
    failure.make();
    const std::string bookInFailure = ReadFileBytes(mSide->BookPath());
    const SyncRunOutcome outcome = RunWab();
    EXPECT_EQ(outcome.error, LoadString(failure.message)) << failure.name;
    EXPECT_EQ(outcome.linksRun, 0) << failure.name;
    EXPECT_EQ(ReadFileBytes(mSide->BookPath()), bookInFailure) << failure.name;
    EXPECT_EQ(ServerContents("contacts"), serverBefore) << failure.name;
    EXPECT_EQ(AnchorAndIndex(0), indexBefore) << failure.name;
    EXPECT_NE(LogText().find("Database Object init error"), std::string::npos) << failure.name;
  }
  // Mended, the run goes through.
  WriteFileBytes(mSide->SettingPath(), library);
  WriteFileBytes(mSide->BookPath(), book);
  ASSERT_TRUE(RunWab().Succeeded()) << Link(0).mStatusText;
  ExpectBothSidesEqual();
}

INSTANTIATE_TEST_SUITE_P(Peers, WabStoreE2eTest, ::testing::Values(PeerKind::SyncEvolution, PeerKind::Scripted),
                         PeerTestName<::testing::TestParamInfo<E2eParam>>);

}  // namespace
