// The safety nets around a run, over each store and server: the preview of the next run changes
// nothing and names what it will send; a run that went wrong on the server's side is undone from
// the snapshot taken before it, field for field, and the next run puts the server right again.
#include <chrono>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "engine/LocalSnapshots.h"
#include "engine/SnapshotRestore.h"
#include "engine/SyncPreview.h"
#include "stores/CDatabaseObject.h"
#include "tests/e2e/E2eSupport.h"

namespace {

namespace fs = std::filesystem;

class SnapshotRestoreE2eTest : public E2eTest {
 protected:
  // Three contacts from the server and one of this computer, synchronized.
  void SynchronizeContacts() {
    WriteServer("contacts", "server-ada", VCard("Ada", "Lovelace", "TEL;WORK;VOICE:+44 20 7946 0001\r\n"));
    WriteServer("contacts", "server-grace", VCard("Grace", "Hopper", "TEL;WORK;VOICE:+1 202 555 0143\r\n"));
    WriteServer("contacts", "server-alan", VCard("Alan", "Turing", "TEL;WORK;VOICE:+44 1908 640404\r\n"));
    mLocalOnly = Local().AddContact(VCard("Katherine", "Johnson", "TEL;WORK;VOICE:+1 757 555 0100\r\n"));
    const SyncRunOutcome outcome = Sync(0);
    ASSERT_TRUE(outcome.Succeeded()) << outcome.error << " " << Link(0).mStatusText;
    ExpectBothSidesEqual();
    // The address book names new items by the second and a counter: what follows gets names of
    // its own, as it would at a person's pace.
    const std::time_t synchronized = std::time(nullptr);
    while (std::time(nullptr) == synchronized) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::vector<SnapshotFile> Snapshots(int link = 0) const {
    return LocalSnapshots(*mConf).List(mConf->Links().At(static_cast<std::size_t>(link)));
  }
  std::string Preview() {
    const std::unique_ptr<SyncStoreFactory> factory = Local().MakeStoreFactory(-1);
    const std::unique_ptr<CDatabaseObject> store = factory->CreateStore(*mConf, *mQuiet);
    return SyncPreview(*mConf, *store).OfLink(mConf->Links().At(0), 1);
  }
  RestoreCounts Restore(int run, int link = 0) {
    const std::vector<SnapshotFile> files = Snapshots(link);
    EXPECT_GE(files.size(), static_cast<std::size_t>(run));
    const std::unique_ptr<SyncStoreFactory> factory = Local().MakeStoreFactory(-1);
    const std::unique_ptr<CDatabaseObject> store = factory->CreateStore(*mConf, *mQuiet);
    return SnapshotRestore(*mConf, *store).Restore(mConf->Links().At(static_cast<std::size_t>(link)), files.at(static_cast<std::size_t>(run - 1)).path);
  }
  // Every file of the configuration folder but the log, with its bytes.
  std::map<std::string, std::string> ConfigurationFiles() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(mConf->ConfigFolder())) {
      if (!entry.is_regular_file() || entry.path().filename().string().starts_with("Sync.log")) continue;
      files[entry.path().string()] = ReadFileBytes(entry.path().string());
    }
    return files;
  }

  std::string mLocalOnly;
  std::ostringstream mPromptOutput;
  std::unique_ptr<HeadlessPrompt> mQuiet = std::make_unique<HeadlessPrompt>(mPromptOutput);
};

TEST_P(SnapshotRestoreE2eTest, PreviewListsTheLocalChangesAndLeavesBothSidesTheIndexAndTheFilesUnchanged) {
  SynchronizeContacts();
  Local().AddContact(VCard("Barbara", "Liskov", "TEL;WORK;VOICE:+1 617 555 0199\r\n"));
  Local().ChangeField(DATA_TYPE_CONTACTS, Local().IdOf("Ada Lovelace"), "PR_BUSINESS_TELEPHONE_NUMBER", "+44 20 7946 0002");
  Local().DeleteContact(Local().IdOf("Alan Turing"));
  const std::vector<std::string> localBefore = LocalContacts();
  const std::vector<std::string> serverBefore = ServerContents("contacts");
  const std::map<std::string, std::string> filesBefore = ConfigurationFiles();

  const std::string preview = Preview();

  EXPECT_NE(preview.find("send add contact \"Barbara Liskov\"\n"), std::string::npos) << preview;
  EXPECT_NE(preview.find("send update contact \"Ada Lovelace\"\n"), std::string::npos) << preview;
  EXPECT_NE(preview.find("send delete contact \"Alan Turing\"\n"), std::string::npos) << preview;
  EXPECT_EQ(preview.find("Grace"), std::string::npos) << preview;
  EXPECT_NE(preview.find("not known without connecting"), std::string::npos) << preview;
  EXPECT_EQ(LocalContacts(), localBefore);
  EXPECT_EQ(ServerContents("contacts"), serverBefore);
  EXPECT_EQ(ConfigurationFiles(), filesBefore);

  // What the preview named is what the run sends.
  const SyncRunOutcome outcome = Sync(0);
  ASSERT_TRUE(outcome.Succeeded()) << outcome.error;
  EXPECT_EQ(ItemCommandsInLog(), 3);
  ExpectBothSidesEqual();
}

TEST_P(SnapshotRestoreE2eTest, RunThatWentWrongOnTheServerIsUndoneFieldForFieldAndTheNextRunSendsItBack) {
  SynchronizeContacts();
  const std::vector<std::string> before = LocalContacts();
  const std::vector<std::string> rawBefore = Local().Contacts();
  const std::size_t snapshotsBefore = Snapshots().size();

  // The server replaces every phone it holds, loses one contact and gains another.
  WriteServer("contacts", "server-ada", VCard("Ada", "Lovelace", "TEL;WORK;VOICE:+1 000 000 0000\r\n"));
  WriteServer("contacts", "server-grace", VCard("Grace", "Hopper", "TEL;WORK;VOICE:+1 000 000 0000\r\n"));
  DeleteServer("contacts", "server-alan");
  WriteServer("contacts", "server-spam", VCard("Unknown", "Caller", "TEL;WORK;VOICE:+1 900 555 0000\r\n"));
  ASSERT_TRUE(Sync(0).Succeeded());
  ASSERT_NE(LocalContacts(), before);
  ASSERT_EQ(Snapshots().size(), snapshotsBefore + 1);

  const RestoreCounts counts = Restore(1);

  EXPECT_EQ(counts.rewritten, 2);
  EXPECT_EQ(counts.recreated, 1);
  EXPECT_EQ(counts.deleted, 1);
  EXPECT_EQ(counts.failed, 0);
  EXPECT_EQ(LocalContacts(), before);
  // The stores' own texts too, as the application shows them (identifiers of re-created items aside).
  EXPECT_EQ(Local().Contacts().size(), rawBefore.size());

  const SyncRunOutcome outcome = Sync(0);
  ASSERT_TRUE(outcome.Succeeded()) << outcome.error << " " << Link(0).mStatusText;
  EXPECT_EQ(ServerContents("contacts"), before);
  ExpectBothSidesEqual();
  // The run that put the server right changed nothing here: no snapshot of it.
  const std::size_t snapshotsAfter = Snapshots().size();
  ASSERT_TRUE(Sync(0).Succeeded());
  EXPECT_EQ(ItemCommandsInLog(), 0);
  EXPECT_EQ(Snapshots().size(), snapshotsAfter);
}

TEST_P(SnapshotRestoreE2eTest, EventsTheServerChangedAreRestoredAndSentBack) {
  if (!Can().calendar) GTEST_SKIP() << Local().Name() << " holds no events";
  constexpr int kEvents = 1;
  WriteServer("events", "server-review", VEvent("Quarterly review", "20270112T090000Z", "20270112T103000Z"));
  WriteServer("events", "server-launch", VEvent("Launch", "20270301T140000Z", "20270301T150000Z"));
  Local().AddCalendarItem(DATA_TYPE_EVENTS, VEvent("Dentist", "20270205T080000Z", "20270205T090000Z"));
  ASSERT_TRUE(Sync(kEvents).Succeeded()) << Link(kEvents).mStatusText;
  const std::vector<std::string> before = Contents(Local().CalendarItems(DATA_TYPE_EVENTS), true);

  WriteServer("events", "server-review", VEvent("Cancelled", "20270112T090000Z", "20270112T103000Z"));
  DeleteServer("events", "server-launch");
  ASSERT_TRUE(Sync(kEvents).Succeeded()) << Link(kEvents).mStatusText;
  ASSERT_NE(Contents(Local().CalendarItems(DATA_TYPE_EVENTS), true), before);

  const RestoreCounts counts = Restore(1, kEvents);
  EXPECT_EQ(counts.rewritten, 1);
  EXPECT_EQ(counts.recreated, 1);
  EXPECT_EQ(counts.failed, 0);
  EXPECT_EQ(Contents(Local().CalendarItems(DATA_TYPE_EVENTS), true), before);
  ASSERT_TRUE(Sync(kEvents).Succeeded()) << Link(kEvents).mStatusText;
  EXPECT_EQ(ServerContents("events"), before);
}

INSTANTIATE_TEST_SUITE_P(Stores, SnapshotRestoreE2eTest,
                         ::testing::Values(E2eParam(PeerKind::SyncEvolution, StoreKind::Folder), E2eParam(PeerKind::Scripted, StoreKind::Folder),
                                           E2eParam(PeerKind::SyncEvolution, StoreKind::Outlook), E2eParam(PeerKind::Scripted, StoreKind::Outlook),
                                           E2eParam(PeerKind::SyncEvolution, StoreKind::WindowsContacts),
                                           E2eParam(PeerKind::Scripted, StoreKind::WindowsContacts),
                                           E2eParam(PeerKind::SyncEvolution, StoreKind::Vdir), E2eParam(PeerKind::Scripted, StoreKind::Vdir)),
                         StoreAndPeerTestName);

}  // namespace
