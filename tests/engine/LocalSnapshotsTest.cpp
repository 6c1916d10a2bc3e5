// Snapshots of a link's local items: the file and folder they live in, how many stay, reading
// them back; restoring one through the store's writers so that the next run's change detection
// sends the restoration; and the preview of a run, which changes nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "common/AtomicFile.h"
#include "common/CXException.h"
#include "config/CConf.h"
#include "engine/CChangeLog.h"
#include "engine/CSyncLink.h"
#include "engine/LocalSnapshots.h"
#include "engine/SnapshotRestore.h"
#include "engine/SyncPreview.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestStore.h"

namespace {

namespace fs = std::filesystem;

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 0777;
}

class LocalSnapshotsTest : public ::testing::Test {
 protected:
  void SetUp() override { Open(TestStore::StampForm::OleDateText); }
  void Open(TestStore::StampForm stamps) {
    mStore = std::make_unique<TestStore>(mConf, TestStore::Options{stamps, "", 1767225600});
    mLink.mLocalPath = "Contacts";
    mLink.mLocalName = "Contacts";
    mLink.mMode = SYNC_MODE_TWO_WAY;
  }
  // The folder as a run loads it.
  void Load() {
    ASSERT_TRUE(mStore->SetCurrentFolder(static_cast<SyncDataType>(mLink.mDataType), "", ""));
    ASSERT_EQ(mStore->LoadContent(mLink.LocalFileName()), kStoreOk);
  }
  // A successful run: the index and anchor as the driver leaves them.
  void Synchronized() {
    Load();
    mStore->mCurrentItems.SaveFile();
    ASSERT_TRUE(WriteFileAtomically(mConf.ConfigFolder() + mLink.LocalFileName() + ".anc", "3"));
    mLink.mLastSyncTime = 1767225600;
    mConf.SetClientStoreId("device");
  }
  std::vector<CChangeLogEntry> NextRunChanges() {
    Load();
    CChangeLog log(mConf);
    EXPECT_TRUE(log.InitAnchor(mLink.CompareMode(), mLink.LocalFileName()));
    log.CheckUpdate(*mStore, false);
    return log.Entries();
  }
  std::string Snapshot() {
    Load();
    return LocalSnapshots(mConf).Save(*mStore, mLink);
  }
  std::map<std::string, std::string> Held() {
    std::map<std::string, std::string> held;
    for (const std::string& id : mStore->HeldIds(mLink.mDataType)) {
      CDataItem::Ptr item = mStore->Held(id);
      item->properties.erase("PR_LAST_MODIFICATION_TIME");
      item->properties.erase("PR_ENTRYID");
      held[item->Property(mLink.mDataType == DATA_TYPE_CONTACTS ? "PR_DISPLAY_NAME" : "VC_SUMMARY")] = item->ToText();
    }
    return held;
  }

  TempDir mDir;
  CConf mConf{mDir.Path()};
  std::unique_ptr<TestStore> mStore;
  CSyncLink mLink;
};

TEST_F(LocalSnapshotsTest, SnapshotHoldsEveryItemWithItsIdentifierInAPrivateFileThatReadsBack) {
  const std::string ada = mStore->AddLocal(DATA_TYPE_CONTACTS, ITEM_CONTACT,
                                           {{"PR_DISPLAY_NAME", "Ada Lovelace"}, {"PR_GIVEN_NAME", "Ada"}, {"PR_SURNAME", "Lovelace"},
                                            {"PR_BUSINESS_TELEPHONE_NUMBER", "+44 20 7946 0001"}, {"PR_BODY", "line one\r\nline two"}});
  const std::string alan = mStore->AddLocalContact("Alan Turing");
  const std::string path = Snapshot();

  EXPECT_EQ(fs::path(path).parent_path().string() + "/", mConf.ConfigFolder() + "snapshots/");
  EXPECT_TRUE(path.ends_with(".vcf")) << path;
  EXPECT_EQ(ModeOf(mConf.ConfigFolder() + "snapshots"), 0700u);
  EXPECT_EQ(ModeOf(path), 0600u);
  const std::vector<SnapshotItem> items = LocalSnapshots::Read(path);
  ASSERT_EQ(items.size(), 2u);
  std::map<std::string, SnapshotItem> byId;
  for (const SnapshotItem& item : items) byId[item.id] = item;
  ASSERT_EQ(byId.count(ada), 1u);
  // The text is the store's own, unchanged by the identifier lines around it.
  EXPECT_EQ(byId[ada].text, mStore->ItemText(*mStore->mCurrentItems.Find(ada), {}));
  EXPECT_EQ(byId[ada].kind, ITEM_CONTACT);
  EXPECT_EQ(byId[alan].text, mStore->ItemText(*mStore->mCurrentItems.Find(alan), {}));
  EXPECT_EQ(LocalSnapshots::Serialize(items), ReadFileBytes(path));
}

TEST_F(LocalSnapshotsTest, EventsGoToACalendarFileAndGroupsKeepTheirKind) {
  mStore->AddLocalGroup("Team", {mStore->AddLocalContact("Member")});
  const std::vector<SnapshotItem> contacts = LocalSnapshots::Read(Snapshot());
  EXPECT_EQ(std::count_if(contacts.begin(), contacts.end(), [](const SnapshotItem& item) { return item.kind == ITEM_GROUP; }), 1);

  mLink.mDataType = DATA_TYPE_EVENTS;
  mLink.mLocalPath = "Calendar";
  mStore->AddLocalEvent("Review", "20270112T090000Z", "20270112T103000Z");
  const std::string path = Snapshot();
  EXPECT_TRUE(path.ends_with(".ics")) << path;
  const std::vector<SnapshotItem> events = LocalSnapshots::Read(path);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, ITEM_EVENT);
  EXPECT_NE(events[0].text.find("SUMMARY:Review"), std::string::npos);
}

TEST_F(LocalSnapshotsTest, OnlyTheNewestRunsOfALinkAreKeptAndOtherLinksFilesAreLeftAlone) {
  mConf.SetSnapshotRuns(3);
  mStore->AddLocalContact("A");
  CSyncLink other = mLink;
  other.mLocalPath = "Contacts.old";
  Load();
  const std::string otherFile = LocalSnapshots(mConf).Save(*mStore, other);
  std::vector<std::string> made;
  for (int run = 0; run < 5; ++run) made.push_back(Snapshot());
  // Something else in the folder is no snapshot.
  ASSERT_TRUE(WriteFileAtomically(mConf.ConfigFolder() + "snapshots/Contacts.notes.vcf", "x"));

  const std::vector<SnapshotFile> kept = LocalSnapshots(mConf).List(mLink);
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_EQ(kept[0].path, made[4]);
  EXPECT_EQ(kept[2].path, made[2]);
  EXPECT_FALSE(fs::exists(made[0]));
  EXPECT_FALSE(fs::exists(made[1]));
  EXPECT_TRUE(fs::exists(otherFile));
  EXPECT_EQ(LocalSnapshots(mConf).List(other).size(), 1u);
}

TEST_F(LocalSnapshotsTest, DamagedSnapshotIsRefusedRatherThanRestoredInPart) {
  const std::string folder = mConf.ConfigFolder();
  ASSERT_TRUE(WriteFileAtomically(folder + "cut.vcf", "BEGIN:VCARD\r\nX-SNAPSHOT-ID:1\r\nFN:A\r\n"));
  ASSERT_TRUE(WriteFileAtomically(folder + "anonymous.vcf", "BEGIN:VCARD\r\nFN:A\r\nEND:VCARD\r\n"));
  EXPECT_THROW(LocalSnapshots::Read(folder + "cut.vcf"), CMainException);
  EXPECT_THROW(LocalSnapshots::Read(folder + "anonymous.vcf"), CMainException);
  EXPECT_THROW(LocalSnapshots::Read(folder + "missing.vcf"), CMainException);
}

TEST_F(LocalSnapshotsTest, SnapshotThatCannotBeWrittenThrowsSoTheRunChangesNothing) {
  mStore->AddLocalContact("A");
  // A file where the folder should be.
  ASSERT_TRUE(WriteFileAtomically(mConf.ConfigFolder() + "snapshots", "in the way"));
  Load();
  EXPECT_THROW(LocalSnapshots(mConf).Save(*mStore, mLink), CMainException);
}

// Over both kinds of change stamp; with whole seconds the restore writes in the second of the
// index, which must not hide the restored items from the next run.
class SnapshotRestoreTest : public LocalSnapshotsTest, public ::testing::WithParamInterface<TestStore::StampForm> {
 protected:
  void SetUp() override {
    Open(GetParam());
    if (GetParam() == TestStore::StampForm::UnixSeconds) mLink.mClientApp = LOCAL_APP_WINDOWS_CONTACTS;
  }
};

TEST_P(SnapshotRestoreTest, RestorePutsTheFolderBackAndTheNextRunSendsEachRestoredItem) {
  const std::string ada = mStore->AddLocal(DATA_TYPE_CONTACTS, ITEM_CONTACT,
                                           {{"PR_DISPLAY_NAME", "Ada Lovelace"}, {"PR_BUSINESS_TELEPHONE_NUMBER", "+44 20 7946 0001"}});
  const std::string alan = mStore->AddLocal(DATA_TYPE_CONTACTS, ITEM_CONTACT,
                                            {{"PR_DISPLAY_NAME", "Alan Turing"}, {"PR_BUSINESS_TELEPHONE_NUMBER", "+44 1908 640404"}});
  mStore->AddLocalContact("Unchanged");
  const std::map<std::string, std::string> before = Held();
  const std::string snapshot = Snapshot();
  // What a bad run did: a phone replaced, a contact deleted, one added; then its index.
  const std::time_t runTime = mStore->Clock();
  mStore->EditLocal(ada, "PR_BUSINESS_TELEPHONE_NUMBER", "+1 000 000 0000");
  mStore->DeleteLocal(alan);
  mStore->AddLocalContact("Unknown Caller");
  Synchronized();
  ASSERT_NE(Held(), before);

  // The restore falls into the second of the run's writes.
  mStore->SetClock(runTime);
  const RestoreCounts counts = SnapshotRestore(mConf, *mStore).Restore(mLink, snapshot);

  EXPECT_EQ(counts.rewritten, 1);
  EXPECT_EQ(counts.recreated, 1);
  EXPECT_EQ(counts.deleted, 1);
  EXPECT_EQ(counts.failed, 0);
  EXPECT_EQ(Held(), before);
  int added = 0, updated = 0, deleted = 0;
  for (const CChangeLogEntry& entry : NextRunChanges()) {
    added += entry.type == CChangeLogEntry::NEW;
    updated += entry.type == CChangeLogEntry::UPDATED && entry.key == ada;
    deleted += entry.type == CChangeLogEntry::DELETED;
  }
  EXPECT_EQ(added, 1);
  EXPECT_EQ(updated, 1);
  EXPECT_EQ(deleted, 1);
  // The state the restore replaced is itself kept.
  EXPECT_EQ(LocalSnapshots(mConf).List(mLink).size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Stamps, SnapshotRestoreTest,
                         ::testing::Values(TestStore::StampForm::OleDateText, TestStore::StampForm::UnixSeconds));

TEST_F(LocalSnapshotsTest, PreviewNamesEachChangeAndWritesNothing) {
  const std::string ada = mStore->AddLocalContact("Ada Lovelace");
  const std::string alan = mStore->AddLocalContact("Alan Turing");
  mStore->AddLocalGroup("Team", {ada});
  Synchronized();
  mStore->EditLocal(ada, "PR_BUSINESS_TELEPHONE_NUMBER", "+44 20 7946 0002");
  mStore->DeleteLocal(alan);
  mStore->AddLocalContact("Grace Hopper");
  const std::string base = mConf.ConfigFolder() + mLink.LocalFileName();
  const std::string index = ReadFileBytes(base + ".dat");

  const std::string preview = SyncPreview(mConf, *mStore).OfLink(mLink, 2);

  EXPECT_TRUE(preview.starts_with("sync_2: Contacts <-> ./contacts")) << preview;
  EXPECT_NE(preview.find("  send add contact \"Grace Hopper\"\n"), std::string::npos) << preview;
  EXPECT_NE(preview.find("  send update contact \"Ada Lovelace\"\n"), std::string::npos) << preview;
  EXPECT_NE(preview.find("  send delete contact \"Alan Turing\"\n"), std::string::npos) << preview;
  // Groups stay local, as in a run.
  EXPECT_EQ(preview.find("Team"), std::string::npos) << preview;
  EXPECT_NE(preview.find("server's changes are not known"), std::string::npos) << preview;
  EXPECT_EQ(ReadFileBytes(base + ".dat"), index);
  EXPECT_EQ(ReadFileBytes(base + ".anc"), "3");
}

TEST_F(LocalSnapshotsTest, PreviewOfALinkNeverSynchronizedSendsEverythingAndCreatesNoFile) {
  mStore->AddLocalContact("Ada Lovelace");
  mConf.SetClientStoreId("device");
  const std::string preview = SyncPreview(mConf, *mStore).OfLink(mLink, 1);
  EXPECT_NE(preview.find("slow sync"), std::string::npos) << preview;
  EXPECT_NE(preview.find("send add contact \"Ada Lovelace\""), std::string::npos) << preview;
  EXPECT_FALSE(fs::exists(mConf.ConfigFolder() + mLink.LocalFileName() + ".dat"));
  EXPECT_FALSE(fs::exists(mConf.ConfigFolder() + mLink.LocalFileName() + ".anc"));
}

}  // namespace
