// The vdir store over its collections: which files are items, what the records and the texts sent
// to the server are, how the server's writes land in files, and what is never overwritten.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "config/CConf.h"
#include "engine/CSyncLink.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "stores/vdir/VdirCollections.h"
#include "stores/vdir/VdirStore.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kAda30 =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:ada\r\nN:Lovelace;Ada;;;\r\nFN:Ada Lovelace\r\nX-CUSTOM;X-P=1:kept\r\nEND:VCARD\r\n";
constexpr const char* kGrace40 =
    "BEGIN:VCARD\r\nVERSION:4.0\r\nUID:grace\r\nFN:Grace Hopper\r\nN:Hopper;Grace;;;\r\nTEL;TYPE=cell:tel:+1-202-555-0143\r\nEND:VCARD\r\n";
constexpr const char* kServer21 =
    "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:M=FCller;J=FCrgen\r\n"
    "TEL;WORK;VOICE:+49 30 1\r\nX-SERVER-ONLY:stays\r\nEND:VCARD\r\n";
constexpr const char* kSeries =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\n"
    "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\nBEGIN:STANDARD\r\nDTSTART:19701025T030000\r\nTZOFFSETFROM:+0200\r\n"
    "TZOFFSETTO:+0100\r\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\nEND:STANDARD\r\nBEGIN:DAYLIGHT\r\nDTSTART:19700329T020000\r\n"
    "TZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n"
    "BEGIN:VEVENT\r\nUID:weekly\r\nDTSTAMP:20270101T000000Z\r\nSUMMARY:Weekly\r\nDTSTART;TZID=Europe/Berlin:20270104T090000\r\n"
    "DTEND;TZID=Europe/Berlin:20270104T100000\r\nRRULE:FREQ=WEEKLY;COUNT=5\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:weekly\r\nDTSTAMP:20270101T000000Z\r\nSUMMARY:Weekly (moved)\r\n"
    "RECURRENCE-ID;TZID=Europe/Berlin:20270111T090000\r\nDTSTART;TZID=Europe/Berlin:20270111T110000\r\n"
    "DTEND;TZID=Europe/Berlin:20270111T120000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
constexpr const char* kTask =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VTODO\r\nUID:taxes\r\nSUMMARY:File taxes\r\nDUE;VALUE=DATE:20270401\r\nEND:VTODO\r\nEND:VCALENDAR\r\n";
constexpr const char* kServerOccurrence10 =
    "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:VEVENT\r\nUID:weekly\r\nSUMMARY:Weekly (late)\r\nRECURRENCE-ID:20270118T080000Z\r\n"
    "DTSTART:20270118T150000Z\r\nDTEND:20270118T160000Z\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";

class VdirStoreTest : public ::testing::Test {
 protected:
  VdirStoreTest() {
    mConf.SetSyncWithOutlook(LOCAL_APP_VDIR);
    mStore = std::make_unique<VdirStore>(mConf, mRoot);
  }
  std::string FileIn(const std::string& collection, const std::string& name) const {
    fs::create_directories(mRoot + "/" + collection);
    return mRoot + "/" + collection + "/" + name;
  }
  void Load(int dataType, const std::string& path = "", const std::string& list = "Link") {
    CSyncLink link;
    link.mDataType = dataType;
    link.mLocalPath = path;
    link.mLocalName = "My items";
    ASSERT_TRUE(mStore->SelectFolderOf(link));
    ASSERT_EQ(mStore->LoadContent(list), kStoreOk);
  }
  PVCardPtr Card(const std::string& text) { return Zep3_PVCard_FromStream(&mContext, text); }
  std::vector<std::string> Names(const std::string& collection) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(mRoot + "/" + collection)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir mDir;
  std::string mRoot = mDir.Path() + "vdir";
  CConf mConf{mDir.Path() + "config"};
  std::unique_ptr<VdirStore> mStore;
  VCardContext mContext;
};

TEST_F(VdirStoreTest, ItemFilesOfAnyVersionAreRecordsAndTheirOwnTextIsWhatGoesToTheServer) {
  WriteFileBytes(FileIn("contacts", "ada.vcf"), kAda30);
  WriteFileBytes(FileIn("contacts", "grace.vcf"), kGrace40);
  WriteFileBytes(FileIn("contacts", "team.vcf"),
                 "BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:group\r\nFN:Team\r\nUID:team\r\nMEMBER:urn:uuid:ada\r\nMEMBER:urn:uuid:gone\r\nEND:VCARD\r\n");
  for (const char* ignored : {"ada.vcf.tmp", "x.tmp", ".hidden.vcf", "notes.txt", "displayname", "color"}) {
    WriteFileBytes(FileIn("contacts", ignored), kAda30);
  }
  const std::string grace = ReadFileBytes(FileIn("contacts", "grace.vcf"));
  Load(DATA_TYPE_CONTACTS);

  ASSERT_EQ(mStore->mCurrentItems.Count(), 3u);
  const CDataItem::Ptr ada = mStore->mCurrentItems.Find("ada.vcf");
  ASSERT_TRUE(ada);
  EXPECT_EQ(ada->Property("PR_DISPLAY_NAME"), "Ada Lovelace");
  EXPECT_EQ(ada->Property("PR_LAST_MODIFICATION_TIME"), [&] {
    struct stat info {};
    ::stat(FileIn("contacts", "ada.vcf").c_str(), &info);
    return std::to_string(info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec) + ";" + std::to_string(info.st_ino);
  }());
  EXPECT_EQ(mStore->ItemText(*ada, {}), kAda30);  // unknown properties and parameters included
  const CDataItem::Ptr graceRecord = mStore->mCurrentItems.Find("grace.vcf");
  ASSERT_TRUE(graceRecord);
  EXPECT_NE(mStore->ItemText(*graceRecord, {}).find("VERSION:3.0\r\n"), std::string::npos);
  EXPECT_NE(mStore->ItemText(*graceRecord, {}).find(":+1-202-555-0143\r\n"), std::string::npos);
  // A folded line goes to the server as one line: a server may keep a folded line's first part only.
  const std::string note(120, 'n');
  WriteFileBytes(FileIn("contacts", "grace.vcf"), "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:grace\r\nFN:Grace Hopper\r\nNOTE:" +
                                                    note.substr(0, 60) + "\r\n " + note.substr(60) + "\r\nEND:VCARD\r\n");
  Load(DATA_TYPE_CONTACTS);
  EXPECT_NE(mStore->ItemText(*mStore->mCurrentItems.Find("grace.vcf"), {}).find("\r\nNOTE:" + note + "\r\nEND:VCARD"), std::string::npos);
  WriteFileBytes(FileIn("contacts", "grace.vcf"), grace);
  const CDataItem::Ptr team = mStore->mCurrentItems.Find("team.vcf");
  ASSERT_TRUE(team);
  EXPECT_EQ(team->kind, ITEM_GROUP);
  EXPECT_EQ(team->members, std::vector<std::string>{"ada.vcf"});
  // Reading changes no file: the 4.0 card stays as the user's program wrote it.
  EXPECT_EQ(ReadFileBytes(FileIn("contacts", "grace.vcf")), grace);
}

TEST_F(VdirStoreTest, ServerCardsBecomeVCard30FilesNamedByUidAndAnUpdateKeepsNameAndUid) {
  Load(DATA_TYPE_CONTACTS);
  std::string id;
  PVCardPtr card = Card(kServer21);
  ASSERT_EQ(mStore->AddAddressBookItem(*card, id, "s1", "text/x-vcard"), kStoreOk);
  ASSERT_TRUE(id.ends_with(".vcf"));
  const std::string written = ReadFileBytes(FileIn("contacts", id));
  EXPECT_NE(written.find("VERSION:3.0\r\n"), std::string::npos);
  EXPECT_NE(written.find("N:Müller;Jürgen"), std::string::npos);
  EXPECT_NE(written.find("X-SERVER-ONLY:stays\r\n"), std::string::npos);
  EXPECT_NE(written.find("FN:Jürgen Müller\r\n"), std::string::npos);  // vCard 3.0 requires FN
  const std::string uidLine = written.substr(written.find("UID:"), written.find("\r\n", written.find("UID:")) - written.find("UID:"));
  EXPECT_EQ(id, uidLine.substr(4) + ".vcf");
  EXPECT_EQ(mStore->mIdMap.at("s1"), id);

  card = Card("BEGIN:VCARD\r\nVERSION:2.1\r\nN:Müller;Jürgen\r\nFN:J. Müller\r\nEND:VCARD\r\n");
  std::string updated = id;
  StoreWriteStatus status = WRITE_NOTHING;
  ASSERT_EQ(mStore->UpdateAddressBookItem(*card, updated, "s1", "text/x-vcard", status), kStoreOk);
  EXPECT_EQ(updated, id);
  EXPECT_EQ(status, WRITE_DONE);
  const std::string rewritten = ReadFileBytes(FileIn("contacts", id));
  EXPECT_NE(rewritten.find(uidLine + "\r\n"), std::string::npos);
  EXPECT_NE(rewritten.find("FN:J. Müller\r\n"), std::string::npos);
  std::vector<std::string> expected{id, "displayname"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Names("contacts"), expected);  // no temporary file left
  // The record is the file as written, so the next change check sees no local change.
  EXPECT_EQ(mStore->mCurrentItems.Find(id)->Property("PR_DISPLAY_NAME"), "J. Müller");

  PVCardPtr unsafe = Card("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:../a b\r\nFN:Odd\r\nEND:VCARD\r\n");
  std::string oddId;
  ASSERT_EQ(mStore->AddAddressBookItem(*unsafe, oddId, "s2", "text/x-vcard"), kStoreOk);
  EXPECT_EQ(oddId.find('/'), std::string::npos);
  EXPECT_NE(ReadFileBytes(FileIn("contacts", oddId)).find("UID:../a b\r\n"), std::string::npos);
}

TEST_F(VdirStoreTest, AFileTheUserChangedOrDeletedDuringTheRunIsNeverOverwrittenOrRecreated) {
  WriteFileBytes(FileIn("contacts", "ada.vcf"), kAda30);
  Load(DATA_TYPE_CONTACTS);
  const std::string edited = std::string(kAda30).replace(std::string(kAda30).find("Ada Lovelace"), 12, "Ada King");
  WriteFileBytes(FileIn("contacts", "ada.vcf.new"), edited);
  fs::rename(FileIn("contacts", "ada.vcf.new"), FileIn("contacts", "ada.vcf"));  // as the user's program replaces it

  PVCardPtr card = Card("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Server Ada\r\nEND:VCARD\r\n");
  std::string id = "ada.vcf";
  StoreWriteStatus status = WRITE_NOTHING;
  EXPECT_EQ(mStore->UpdateAddressBookItem(*card, id, "s1", "text/x-vcard", status), kStoreFail);
  EXPECT_FALSE(mStore->RemoveItem("ada.vcf"));
  EXPECT_EQ(ReadFileBytes(FileIn("contacts", "ada.vcf")), edited);
}

TEST_F(VdirStoreTest, ASeriesAndItsChangedOccurrencesShareOneFileWithTheirTimeZone) {
  WriteFileBytes(FileIn("calendar", "weekly.ics"), kSeries);
  WriteFileBytes(FileIn("calendar", "taxes.ics"), kTask);  // a task in an events collection is left alone
  Load(DATA_TYPE_EVENTS);
  ASSERT_EQ(mStore->mCurrentItems.Count(), 2u);
  const CDataItem::Ptr series = mStore->mCurrentItems.Find("weekly.ics");
  ASSERT_TRUE(series);
  const std::string seriesText = mStore->ItemText(*series, {});
  EXPECT_NE(seriesText.find("TZID:Europe/Berlin"), std::string::npos);
  EXPECT_EQ(seriesText.find("RECURRENCE-ID"), std::string::npos);
  std::string occurrenceKey;
  for (const CDataItem::Ptr& record : mStore->mCurrentItems.Items()) {
    if (record->itemId != "weekly.ics") occurrenceKey = record->itemId;
  }
  ASSERT_EQ(occurrenceKey.rfind("weekly.ics/", 0), 0u);
  const std::string occurrenceText = mStore->ItemText(*mStore->mCurrentItems.Find(occurrenceKey), {});
  EXPECT_NE(occurrenceText.find("SUMMARY:Weekly (moved)"), std::string::npos);
  EXPECT_NE(occurrenceText.find("BEGIN:VTIMEZONE"), std::string::npos);

  // A changed occurrence the server sends on its own (vCalendar 1.0) joins its series' file.
  std::string id;
  ASSERT_EQ(mStore->AddCalendarItem(kServerOccurrence10, id), kStoreOk);
  EXPECT_EQ(id.rfind("weekly.ics/", 0), 0u);
  EXPECT_EQ(Names("calendar"), (std::vector<std::string>{"taxes.ics", "weekly.ics"}));
  const std::string file = ReadFileBytes(FileIn("calendar", "weekly.ics"));
  EXPECT_NE(file.find("SUMMARY:Weekly (late)"), std::string::npos);
  EXPECT_NE(file.find("SUMMARY:Weekly (moved)"), std::string::npos);
  EXPECT_NE(file.find("VERSION:2.0"), std::string::npos);
  EXPECT_EQ(mStore->mCurrentItems.Count(), 3u);

  // Removing a changed occurrence keeps the series and the other one.
  ASSERT_TRUE(mStore->RemoveItem(occurrenceKey));
  const std::string after = ReadFileBytes(FileIn("calendar", "weekly.ics"));
  EXPECT_EQ(after.find("SUMMARY:Weekly (moved)"), std::string::npos);
  EXPECT_NE(after.find("SUMMARY:Weekly (late)"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(FileIn("calendar", "taxes.ics")), kTask);
}

TEST_F(VdirStoreTest, CollectionsAreMadeWithMetadataButAVanishedOneIsNotReadAsEmpty) {
  Load(DATA_TYPE_TASKS, "work/todo");
  EXPECT_EQ(mStore->CurrentFolder(), mRoot + "/work/todo/");
  EXPECT_EQ(ReadFileBytes(mRoot + "/work/todo/displayname"), "My items");
  EXPECT_EQ(ReadFileBytes(mRoot + "/work/todo/color"), "#73D216");
  std::string id;
  ASSERT_EQ(mStore->AddCalendarItem(kTask, id), kStoreOk);
  EXPECT_EQ(id, "taxes.ics");
  mStore->CommitWrites();
  mStore->mCurrentItems.SaveFile();

  fs::remove_all(mRoot + "/work");  // a drive not mounted, a folder deleted
  mStore = std::make_unique<VdirStore>(mConf, mRoot);
  CSyncLink link;
  link.mDataType = DATA_TYPE_TASKS;
  link.mLocalPath = mRoot + "/work/todo";  // absolute: the same collection
  ASSERT_TRUE(mStore->SelectFolderOf(link));
  EXPECT_EQ(mStore->LoadContent("Link"), kStoreFail);
  EXPECT_TRUE(mStore->mCurrentItems.Empty());
}

TEST_F(VdirStoreTest, ServerGroupsAreWrittenWithMembersByUid) {
  Load(DATA_TYPE_CONTACTS);
  std::string adaId;
  PVCardPtr ada = Card(kAda30);
  ASSERT_EQ(mStore->AddAddressBookItem(*ada, adaId, "s-ada", "text/x-vcard"), kStoreOk);
  PVCardPtr group = Card("BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Pioneers\r\nUID:TMP:s-ada\r\nUID:TMP:unknown\r\nEND:VCARD\r\n");
  std::string groupId;
  ASSERT_EQ(mStore->AddAddressBookItem(*group, groupId, "s-group", kGroupContentType), kStoreOk);
  const std::string text = ReadFileBytes(FileIn("contacts", groupId));
  EXPECT_NE(text.find("X-ADDRESSBOOKSERVER-KIND:group\r\n"), std::string::npos);
  EXPECT_NE(text.find("X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:ada\r\n"), std::string::npos);
  EXPECT_EQ(text.find("unknown"), std::string::npos);
  EXPECT_EQ(mStore->mCurrentItems.Find(groupId)->members, std::vector<std::string>{adaId});
}

TEST(VdirCollections, TheDefaultFirstThenTheRootsFoldersThenThoseTheToolsAreConfiguredWith) {
  TempDir dir;
  const std::string root = dir.Path() + "vdir";
  fs::create_directories(root + "/work");
  fs::create_directories(root + "/.hidden");
  fs::create_directories(dir.Path() + "mine/books/family");
  fs::create_directories(dir.Path() + "mine/lists/home");
  fs::create_directories(dir.Path() + "config/khard");
  fs::create_directories(dir.Path() + "config/todoman");
  WriteFileBytes(dir.Path() + "config/khard/khard.conf",
                 "[addressbooks]\n[[family]]\npath = " + dir.Path() + "mine/books/family/\n[[again]]\npath = " + root + "/work\n"
                 "[[gone]]\npath = " + dir.Path() + "missing\n");
  WriteFileBytes(dir.Path() + "config/todoman/config.py", "path = \"" + dir.Path() + "mine/lists/*\"\n");
  const auto names = [](const std::vector<VdirCollectionChoice>& choices) {
    std::vector<std::string> out;
    for (const VdirCollectionChoice& choice : choices) out.push_back(choice.name + "=" + choice.path);
    return out;
  };
  EXPECT_EQ(names(ListVdirCollections(root, DATA_TYPE_CONTACTS, dir.Path() + "config")),
            (std::vector<std::string>{"contacts=contacts", "work=work", dir.Path() + "mine/books/family=" + dir.Path() + "mine/books/family"}));
  EXPECT_EQ(names(ListVdirCollections(root, DATA_TYPE_TASKS, dir.Path() + "config")),
            (std::vector<std::string>{"tasks=tasks", "work=work", dir.Path() + "mine/lists/home=" + dir.Path() + "mine/lists/home"}));
  EXPECT_EQ(names(ListVdirCollections(root, DATA_TYPE_EVENTS, "")), (std::vector<std::string>{"calendar=calendar", "work=work"}));
}

}  // namespace
