// The folder store: item files read as records with stamps from their modification times, server
// writes as atomic file writes seen by the next change check, groups, calendars, folders.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>

#include "config/CConf.h"
#include "engine/CChangeLog.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "stores/folder/FolderStore.h"
#include "tests/support/TempDir.h"

namespace {

constexpr const char* kAda = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Lovelace;Ada\r\nFN:Ada Lovelace\r\nTEL;WORK;VOICE:+44 20 1\r\nEND:VCARD\r\n";
constexpr const char* kEvent =
    "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:VEVENT\r\nSUMMARY:Review\r\nDTSTART:20270105T090000Z\r\n"
    "DTEND:20270105T100000Z\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
constexpr const char* kTask = "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:VTODO\r\nSUMMARY:File taxes\r\nDUE:20270401\r\nEND:VTODO\r\nEND:VCALENDAR\r\n";

void SetModificationTime(const std::string& path, time_t seconds, long nanoseconds = 0) {
  const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

class FolderStoreTest : public ::testing::Test {
 protected:
  FolderStoreTest() {
    mConf.SetSyncWithOutlook(LOCAL_APP_OUTLOOK);
    mStore = std::make_unique<FolderStore>(mConf, mRoot);
  }
  std::string FileIn(const std::string& folder, const std::string& name) const { return mRoot + "/" + folder + "/" + name; }
  void Load(SyncDataType dataType) {
    ASSERT_TRUE(mStore->SetCurrentFolder(dataType, "", ""));
    ASSERT_EQ(mStore->LoadContent("Link"), kStoreOk);
  }
  PVCardPtr Card(const std::string& text) { return Zep3_PVCard_FromStream(&mContext, text); }

  TempDir mDir;
  std::string mRoot = mDir.Path() + "store";
  CConf mConf{mDir.Path() + "config"};
  std::unique_ptr<FolderStore> mStore;
  VCardContext mContext;
};

TEST_F(FolderStoreTest, ItemFilesBecomeRecordsNamedByTheirFilesAndOtherFilesAreIgnored) {
  WriteFileBytes(FileIn("contacts", "ada.vcf"), kAda);
  WriteFileBytes(FileIn("contacts", "team.group"), "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Team\r\nUID:ada.vcf\r\nUID:gone.vcf\r\nEND:VCARD\r\n");
  WriteFileBytes(FileIn("contacts", "notes.txt"), "not an item");
  WriteFileBytes(FileIn("contacts", "ada.vcf.Xy12Ab"), kAda);  // a write's temporary file
  Load(DATA_TYPE_CONTACTS);

  ASSERT_EQ(mStore->mCurrentItems.Count(), 2u);
  const CDataItem::Ptr ada = mStore->mCurrentItems.Find("ada.vcf");
  ASSERT_TRUE(ada);
  EXPECT_EQ(ada->kind, ITEM_CONTACT);
  EXPECT_EQ(ada->Property("PR_DISPLAY_NAME"), "Ada Lovelace");
  EXPECT_EQ(ada->Property("PR_BUSINESS_TELEPHONE_NUMBER"), "+44 20 1");
  EXPECT_EQ(ada->Property("PR_ENTRYID"), "ada.vcf");
  const CDataItem::Ptr team = mStore->mCurrentItems.Find("team.group");
  ASSERT_TRUE(team);
  EXPECT_EQ(team->kind, ITEM_GROUP);
  EXPECT_EQ(team->members, std::vector<std::string>{"ada.vcf"});
  EXPECT_EQ(team->ContentTypeOf(), "text/zep-group");
}

TEST_F(FolderStoreTest, AnUnreadableFileIsLeftOutButStillExistsSoItIsNeverADeletion) {
  WriteFileBytes(FileIn("events", "broken.vcs"), "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nEND:VCALENDAR\r\n");
  WriteFileBytes(FileIn("events", "review.vcs"), kEvent);
  Load(DATA_TYPE_EVENTS);
  EXPECT_EQ(mStore->mCurrentItems.Count(), 1u);
  EXPECT_TRUE(mStore->ItemExists("broken.vcs"));
  EXPECT_FALSE(mStore->ItemExists("missing.vcs"));
  EXPECT_FALSE(mStore->ItemExists("../contacts/x.vcf"));
}

TEST_F(FolderStoreTest, AFileThatCannotBeReadForARunStaysIndexedSoItReturnsAsAnUpdateNotAsANewItem) {
  const std::string path = FileIn("events", "review.vcs");
  WriteFileBytes(path, kEvent);
  SetModificationTime(path, 1800000000);
  Load(DATA_TYPE_EVENTS);
  mStore->mCurrentItems.SaveFile();
  CChangeLog changeLog(mConf);
  ASSERT_TRUE(changeLog.InitAnchor(2, "Link"));

  WriteFileBytes(path, "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nEND:VCALENDAR\r\n");  // a broken hand edit
  Load(DATA_TYPE_EVENTS);
  changeLog.CheckUpdate(*mStore, false);
  EXPECT_TRUE(changeLog.Entries().empty());
  mStore->mCurrentItems.SaveFile();

  std::string fixed = kEvent;
  fixed.replace(fixed.find("Review"), 6, "Yearly review");
  WriteFileBytes(path, fixed);
  SetModificationTime(path, 1900000000);
  Load(DATA_TYPE_EVENTS);
  changeLog.CheckUpdate(*mStore, false);
  EXPECT_EQ(changeLog.Entries(), (std::vector<CChangeLogEntry>{{CChangeLogEntry::UPDATED, "review.vcs"}}));
}

TEST_F(FolderStoreTest, StampsFollowModificationTimesInBothCompareForms) {
  const std::string path = FileIn("contacts", "ada.vcf");
  WriteFileBytes(path, kAda);
  SetModificationTime(path, 1767225600, 250000000);
  Load(DATA_TYPE_CONTACTS);
  EXPECT_EQ(mStore->mCurrentItems.Find("ada.vcf")->Property("PR_LAST_MODIFICATION_TIME"), "46023.00000289351737592369");

  SetModificationTime(path, 1767225600, 750000000);  // half a second later: a new text stamp
  Load(DATA_TYPE_CONTACTS);
  EXPECT_EQ(mStore->mCurrentItems.Find("ada.vcf")->Property("PR_LAST_MODIFICATION_TIME"), "46023.00000868055212777108");

  mConf.SetSyncWithOutlook(LOCAL_APP_WINDOWS_CONTACTS);
  Load(DATA_TYPE_CONTACTS);
  EXPECT_EQ(mStore->mCurrentItems.Find("ada.vcf")->Property("PR_LAST_MODIFICATION_TIME"), "1767225600");
}

TEST_F(FolderStoreTest, ServerContactsAreWrittenAsNewFilesOrOverTheirOwnAndMapped) {
  Load(DATA_TYPE_CONTACTS);
  auto card = Card(kAda);
  std::string id;
  ASSERT_EQ(mStore->AddAddressBookItem(*card, id, "srv-1", "text/x-vcard"), kStoreOk);
  EXPECT_EQ(id.size(), 20u);  // 16 hexadecimal digits and ".vcf"
  EXPECT_EQ(mStore->mIdMap.at("srv-1"), id);
  const CDataItem::Ptr written = mStore->mCurrentItems.Find(id);
  ASSERT_TRUE(written);
  EXPECT_EQ(written->Property("PR_DISPLAY_NAME"), "Ada Lovelace");
  EXPECT_EQ(written->Property("PR_LAST_MODIFICATION_TIME"), mStore->ReadItem(id)->Property("PR_LAST_MODIFICATION_TIME"));

  auto renamed = Card("BEGIN:VCARD\r\nVERSION:2.1\r\nN:King;Ada\r\nFN:Ada King\r\nEND:VCARD\r\n");
  std::string sameId = id;
  StoreWriteStatus status = WRITE_NOTHING;
  ASSERT_EQ(mStore->UpdateAddressBookItem(*renamed, sameId, "", "text/x-vcard", status), kStoreOk);
  EXPECT_EQ(sameId, id);
  EXPECT_EQ(status, WRITE_DONE);
  EXPECT_EQ(mStore->ReadItem(id)->Property("PR_DISPLAY_NAME"), "Ada King");

  std::string goneId = "gone.vcf";
  ASSERT_EQ(mStore->UpdateAddressBookItem(*renamed, goneId, "", "text/x-vcard", status), kStoreOk);
  EXPECT_NE(goneId, "gone.vcf");
  EXPECT_EQ(mStore->mCurrentItems.Count(), 2u);
}

TEST_F(FolderStoreTest, ServerGroupsResolveMembersSentEarlierInTheRunAndDropUnknownOnes) {
  Load(DATA_TYPE_CONTACTS);
  auto card = Card(kAda);
  std::string member;
  ASSERT_EQ(mStore->AddAddressBookItem(*card, member, "srv-7", "text/x-vcard"), kStoreOk);
  auto group = Card("BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Friends\r\nUID:TMP:srv-7\r\nUID:nobody.vcf\r\nEND:VCARD\r\n");
  std::string groupId;
  ASSERT_EQ(mStore->AddAddressBookItem(*group, groupId, "srv-8", "text/zep-group"), kStoreOk);
  EXPECT_EQ(groupId.substr(groupId.size() - 6), ".group");
  const CDataItem::Ptr read = mStore->ReadItem(groupId);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Property("PR_DISPLAY_NAME"), "Friends");
  EXPECT_EQ(read->members, std::vector<std::string>{member});
}

TEST_F(FolderStoreTest, CalendarItemsGoOnlyIntoTheirOwnKindOfFolder) {
  Load(DATA_TYPE_TASKS);
  std::string id;
  EXPECT_EQ(mStore->AddCalendarItem(kEvent, id), kStoreFail);
  ASSERT_EQ(mStore->AddCalendarItem(kTask, id), kStoreOk);
  EXPECT_EQ(mStore->GetContentKind(), CONTENT_CALENDAR);
  const CDataItem::Ptr task = mStore->ReadItem(id);
  ASSERT_TRUE(task);
  EXPECT_EQ(task->kind, ITEM_TASK);
  EXPECT_EQ(task->Property("VC_SUMMARY"), "File taxes");
  EXPECT_EQ(task->Property("VC_DUE"), "20270401");

  std::string sameId = id;
  ASSERT_EQ(mStore->AddCalendarItem(std::string(kTask).replace(std::string(kTask).find("File"), 4, "Pay"), sameId), kStoreOk);
  EXPECT_EQ(sameId, id);
  EXPECT_EQ(mStore->ReadItem(id)->Property("VC_SUMMARY"), "Pay taxes");
}

// A weekly series and the occurrence of 12 January moved by two hours, as servers send them.
constexpr const char* kSeries =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:standup@server\r\nSUMMARY:Stand-up\r\n"
    "DTSTART:20270105T080000Z\r\nDTEND:20270105T081500Z\r\nRRULE:FREQ=WEEKLY;COUNT=10\r\nEND:VEVENT\r\n";
constexpr const char* kMoved =
    "BEGIN:VEVENT\r\nUID:standup@server\r\nRECURRENCE-ID:20270112T080000Z\r\nSUMMARY:Stand-up (moved)\r\n"
    "DTSTART:20270112T100000Z\r\nDTEND:20270112T101500Z\r\nEND:VEVENT\r\n";
const std::string kEnd = "END:VCALENDAR\r\n";

TEST_F(FolderStoreTest, ASeriesFileGivesTheSeriesAndEachChangedOccurrenceAsRecords) {
  WriteFileBytes(FileIn("events", "standup.ics"), kSeries + std::string(kMoved) + kEnd);
  Load(DATA_TYPE_EVENTS);
  ASSERT_EQ(mStore->mCurrentItems.Count(), 2u);
  const CDataItem::Ptr series = mStore->mCurrentItems.Find("standup.ics");
  const CDataItem::Ptr moved = mStore->mCurrentItems.Find("standup.ics/20270112");
  ASSERT_TRUE(series && moved);
  EXPECT_EQ(series->Property("VC_SUMMARY"), "Stand-up") << "the changed occurrence does not overwrite the series";
  EXPECT_EQ(series->Property("VC_RRULE"), "FREQ=WEEKLY;INTERVAL=1;COUNT=10");
  EXPECT_EQ(moved->Property("VC_SUMMARY"), "Stand-up (moved)");
  EXPECT_EQ(moved->Property("VC_RECURRENCE_ID"), "20270112T080000Z");
  EXPECT_EQ(moved->Property("PR_LAST_MODIFICATION_TIME"), series->Property("PR_LAST_MODIFICATION_TIME"));
  // Sent on its own, the changed occurrence names its series by UID and the original start.
  const std::string text = moved->ToText();
  EXPECT_NE(text.find("\r\nUID:standup.ics\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\r\nRECURRENCE-ID:20270112T080000Z\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("RRULE"), std::string::npos);
  EXPECT_TRUE(mStore->ItemExists("standup.ics/20270112"));
  EXPECT_FALSE(mStore->ItemExists("standup.ics/20270119"));
  EXPECT_FALSE(mStore->ItemExists("standup.ics/2027011x"));
}

TEST_F(FolderStoreTest, AChangedOccurrenceSentOnItsOwnJoinsTheFileOfItsSeries) {
  Load(DATA_TYPE_EVENTS);
  CChangeLog changeLog(mConf);
  ASSERT_TRUE(changeLog.InitAnchor(1, "Link"));
  std::string series;
  ASSERT_EQ(mStore->AddCalendarItem(kSeries + kEnd, series), kStoreOk);
  std::string moved;
  ASSERT_EQ(mStore->AddCalendarItem("BEGIN:VCALENDAR\r\nVERSION:2.0\r\n" + std::string(kMoved) + kEnd, moved), kStoreOk);
  EXPECT_EQ(moved, series + "/20270112");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(mRoot + "/events"), std::filesystem::directory_iterator()), 1);
  ASSERT_EQ(mStore->mCurrentItems.Count(), 2u);
  EXPECT_EQ(mStore->mCurrentItems.Find(moved)->Property("VC_DTSTART"), "20270112T100000Z");

  // Changed again by the server, and the series with it: one file, both records, nothing sent back.
  std::string again = moved;
  const std::string later = std::string(kMoved).replace(std::string(kMoved).find("T100000Z"), 8, "T110000Z");
  ASSERT_EQ(mStore->AddCalendarItem("BEGIN:VCALENDAR\r\n" + later + kEnd, again), kStoreOk);
  EXPECT_EQ(again, moved);
  std::string seriesAgain = series;
  ASSERT_EQ(mStore->AddCalendarItem(std::string(kSeries).replace(std::string(kSeries).find("Stand-up"), 8, "Daily") + kEnd,
                                    seriesAgain), kStoreOk);
  EXPECT_EQ(mStore->ReadItem(series)->Property("VC_SUMMARY"), "Daily");
  EXPECT_EQ(mStore->ReadItem(moved)->Property("VC_DTSTART"), "20270112T110000Z") << "the series keeps its occurrence";
  mStore->mCurrentItems.SaveFile();
  Load(DATA_TYPE_EVENTS);
  EXPECT_FALSE(changeLog.CheckUpdate(*mStore, false));
}

TEST_F(FolderStoreTest, ASeriesSentWithItsChangedOccurrencesIsOneFileAndEachCanBeRemoved) {
  Load(DATA_TYPE_EVENTS);
  std::string id;
  ASSERT_EQ(mStore->AddCalendarItem(kSeries + std::string(kMoved) + kEnd, id), kStoreOk);
  EXPECT_EQ(id.find('/'), std::string::npos);
  ASSERT_EQ(mStore->mCurrentItems.Count(), 2u);
  EXPECT_TRUE(mStore->RemoveItem(id + "/20270112"));
  EXPECT_EQ(mStore->mCurrentItems.Count(), 1u);
  ASSERT_TRUE(mStore->ReadItem(id));
  EXPECT_FALSE(mStore->ReadItem(id + "/20270112"));
  EXPECT_TRUE(mStore->RemoveItem(id));
  EXPECT_FALSE(std::filesystem::exists(FileIn("events", id)));
}

TEST_F(FolderStoreTest, AChangedOccurrenceNeverGoesOverASeriesFileThatCannotBeReadOrHoldsNoSeries) {
  const std::string path = FileIn("events", "standup.ics");
  WriteFileBytes(path, kSeries + std::string(kMoved) + kEnd);
  Load(DATA_TYPE_EVENTS);
  const std::string broken = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nEND:VCALENDAR\r\n";  // a broken hand edit
  WriteFileBytes(path, broken);
  std::string moved = "standup.ics/20270112";
  ASSERT_EQ(mStore->AddCalendarItem("BEGIN:VCALENDAR\r\n" + std::string(kMoved) + kEnd, moved), kStoreOk);
  EXPECT_NE(moved.substr(0, moved.find('/')), "standup.ics") << "a file of its own";
  EXPECT_TRUE(mStore->RemoveItem("standup.ics/20270112"));
  EXPECT_EQ(ReadFileBytes(path), broken);
  // A folder where the file was cannot be read at all: nothing is done to it.
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  std::string again = "standup.ics/20270112";
  EXPECT_EQ(mStore->AddCalendarItem("BEGIN:VCALENDAR\r\n" + std::string(kMoved) + kEnd, again), kStoreFail);
  EXPECT_FALSE(mStore->RemoveItem("standup.ics/20270112"));
  EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST_F(FolderStoreTest, AChangedOccurrenceWithoutItsSeriesIsKeptInAFileOfItsOwn) {
  Load(DATA_TYPE_EVENTS);
  std::string id;
  ASSERT_EQ(mStore->AddCalendarItem("BEGIN:VCALENDAR\r\n" + std::string(kMoved) + kEnd, id), kStoreOk);
  ASSERT_NE(id.find("/20270112"), std::string::npos);
  const CDataItem::Ptr record = mStore->ReadItem(id);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->Property("VC_RECURRENCE_ID"), "20270112T080000Z");
  EXPECT_TRUE(mStore->RemoveItem(id));
  EXPECT_FALSE(std::filesystem::exists(FileIn("events", id.substr(0, id.find('/')))));
}

// A user's calendar folder may keep a series and its changed occurrences in files of their own:
// those of one UID are one series, until a write of the series puts them into its file.
TEST_F(FolderStoreTest, FilesOfOneUidAreOneSeries) {
  const std::string header = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n";
  WriteFileBytes(FileIn("events", "standup.ics"), kSeries + kEnd);
  WriteFileBytes(FileIn("events", "standup-moved.ics"), header + kMoved + kEnd);
  const std::string alone = std::string(kMoved).replace(std::string(kMoved).find("standup@"), 8, "another@");
  WriteFileBytes(FileIn("events", "another.ics"), header + alone + kEnd);
  Load(DATA_TYPE_EVENTS);
  CChangeLog changeLog(mConf);
  ASSERT_TRUE(changeLog.InitAnchor(1, "Link"));
  ASSERT_EQ(mStore->mCurrentItems.Count(), 3u);
  const CDataItem::Ptr moved = mStore->mCurrentItems.Find("standup.ics/20270112");
  ASSERT_TRUE(moved);
  EXPECT_EQ(moved->Property("VC_SUMMARY"), "Stand-up (moved)");
  EXPECT_TRUE(mStore->ItemExists("standup.ics/20270112"));
  EXPECT_TRUE(mStore->mCurrentItems.Find("another.ics/20270112")) << "no series of its UID: it stays its own";
  mStore->mCurrentItems.SaveFile();
  Load(DATA_TYPE_EVENTS);
  EXPECT_FALSE(changeLog.CheckUpdate(*mStore, false)) << "the same keys every run";

  // The server moves the occurrence again: the series' file holds it, and the other file goes.
  std::string id = "standup.ics/20270112";
  const std::string later = std::string(kMoved).replace(std::string(kMoved).find("T100000Z"), 8, "T110000Z");
  ASSERT_EQ(mStore->AddCalendarItem(header + later + kEnd, id), kStoreOk);
  EXPECT_EQ(id, "standup.ics/20270112");
  EXPECT_FALSE(std::filesystem::exists(FileIn("events", "standup-moved.ics")));
  EXPECT_EQ(mStore->ReadItem(id)->Property("VC_DTSTART"), "20270112T110000Z");
  EXPECT_EQ(mStore->mCurrentItems.Count(), 3u);

  // A series removed takes the files of its changed occurrences with it.
  WriteFileBytes(FileIn("events", "standup.ics"), kSeries + kEnd);
  WriteFileBytes(FileIn("events", "standup-moved.ics"), header + kMoved + kEnd);
  Load(DATA_TYPE_EVENTS);
  EXPECT_TRUE(mStore->RemoveItem("standup.ics"));
  EXPECT_FALSE(std::filesystem::exists(FileIn("events", "standup-moved.ics")));
  EXPECT_TRUE(std::filesystem::exists(FileIn("events", "another.ics")));
}

TEST_F(FolderStoreTest, RemovingDeletesTheFileAndAMissingFileIsNoError) {
  WriteFileBytes(FileIn("contacts", "ada.vcf"), kAda);
  Load(DATA_TYPE_CONTACTS);
  EXPECT_TRUE(mStore->RemoveItem("ada.vcf"));
  EXPECT_FALSE(std::filesystem::exists(FileIn("contacts", "ada.vcf")));
  EXPECT_EQ(mStore->mCurrentItems.Count(), 0u);
  EXPECT_TRUE(mStore->RemoveItem("ada.vcf"));
}

TEST_F(FolderStoreTest, ChangeCheckSeesUserEditsButNotTheServersOwnWrites) {
  WriteFileBytes(FileIn("contacts", "ada.vcf"), kAda);
  WriteFileBytes(FileIn("contacts", "bob.vcf"), "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Bob\r\nEND:VCARD\r\n");
  CChangeLog changeLog(mConf);
  ASSERT_TRUE(changeLog.InitAnchor(1, "Link"));
  Load(DATA_TYPE_CONTACTS);
  changeLog.CheckUpdate(*mStore, false);
  EXPECT_EQ(changeLog.NewCount(), 2);
  auto card = Card(kAda);
  std::string fromServer;
  ASSERT_EQ(mStore->AddAddressBookItem(*card, fromServer, "srv-1", "text/x-vcard"), kStoreOk);
  mStore->mCurrentItems.SaveFile();

  SetModificationTime(FileIn("contacts", "bob.vcf"), 1900000000);
  std::filesystem::remove(FileIn("contacts", "ada.vcf"));
  Load(DATA_TYPE_CONTACTS);
  changeLog.CheckUpdate(*mStore, false);
  EXPECT_EQ(changeLog.Entries(), (std::vector<CChangeLogEntry>{{CChangeLogEntry::DELETED, "ada.vcf"},
                                                               {CChangeLogEntry::UPDATED, "bob.vcf"}}));
}

// A folder that is gone (deleted, or its drive not mounted) must not read as "every item deleted":
// the server would delete them all. Once the user makes the folder again, an empty folder counts.
TEST_F(FolderStoreTest, AVanishedFolderWhoseIndexListsItemsIsNotReadAsEmptyUntilTheUserMakesItAgain) {
  WriteFileBytes(FileIn("contacts", "ada.vcf"), kAda);
  Load(DATA_TYPE_CONTACTS);
  mStore->mCurrentItems.SaveFile();
  std::filesystem::remove_all(mRoot + "/contacts");

  for (int attempt = 0; attempt < 2; ++attempt) {
    FolderStore store(mConf, mRoot);
    ASSERT_TRUE(store.SetCurrentFolder(DATA_TYPE_CONTACTS, "", ""));
    EXPECT_EQ(store.LoadContent("Link"), kStoreFail) << attempt;
    EXPECT_TRUE(store.mSavedItems.Empty());
    EXPECT_FALSE(std::filesystem::exists(mRoot + "/contacts")) << attempt;
  }
  ASSERT_TRUE(std::filesystem::create_directory(mRoot + "/contacts"));
  FolderStore store(mConf, mRoot);
  ASSERT_TRUE(store.SetCurrentFolder(DATA_TYPE_CONTACTS, "", ""));
  ASSERT_EQ(store.LoadContent("Link"), kStoreOk);
  CChangeLog changeLog(mConf);
  ASSERT_TRUE(changeLog.InitAnchor(1, "Link"));
  changeLog.CheckUpdate(store, false);
  EXPECT_EQ(changeLog.Entries(), (std::vector<CChangeLogEntry>{{CChangeLogEntry::DELETED, "ada.vcf"}}));
}

TEST_F(FolderStoreTest, NamedFoldersMustExistAndStayInsideTheRoot) {
  EXPECT_FALSE(mStore->SetCurrentFolder(DATA_TYPE_CONTACTS, "family", "store"));
  std::filesystem::create_directory(mRoot + "/family");
  EXPECT_TRUE(mStore->SetCurrentFolder(DATA_TYPE_CONTACTS, "family", "store"));
  EXPECT_EQ(mStore->CurrentFolder(), mRoot + "/family/");
  EXPECT_FALSE(mStore->SetCurrentFolder(DATA_TYPE_CONTACTS, "../elsewhere", "store"));
  EXPECT_FALSE(mStore->SetCurrentFolder(DATA_TYPE_CONTACTS, "..", "store"));
  EXPECT_TRUE(mStore->SetCurrentFolder(DATA_TYPE_CONTACTS, "family", ""));  // one identifier: the default folder
  EXPECT_EQ(mStore->CurrentFolder(), mRoot + "/contacts/");
}

TEST_F(FolderStoreTest, ARootThatCannotBeMadeIsAnInitError) {
  WriteFileBytes(mDir.Path() + "plain-file", "x");
  FolderStore store(mConf, mDir.Path() + "plain-file/store");
  EXPECT_NE(store.mInitError, 0u);
  EXPECT_FALSE(store.SetCurrentFolder(DATA_TYPE_CONTACTS, "", ""));
}

}  // namespace
