// Change log: detection of new, updated and deleted items against the saved index, and the anchor file.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "common/CXException.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "engine/CChangeLog.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestStore.h"

namespace {

using Entries = std::vector<CChangeLogEntry>;
constexpr int NEW = CChangeLogEntry::NEW;
constexpr int UPDATED = CChangeLogEntry::UPDATED;
constexpr int DELETED = CChangeLogEntry::DELETED;
constexpr int kTextMode = 1;

// One link of a store in a temporary configuration folder, run the way the driver does:
// select the folder, load it with the saved index, check; "a successful run" saves the index.
class ChangeLogTest : public ::testing::Test {
 protected:
  void Open(TestStore::StampForm stamps, SyncDataType dataType = DATA_TYPE_CONTACTS) {
    mStore = std::make_unique<TestStore>(mConf, TestStore::Options{stamps, "", 1767225600});
    mDataType = dataType;
  }
  void SetUp() override { Open(TestStore::StampForm::OleDateText); }

  void Load(int compareMode = kTextMode) {
    EXPECT_TRUE(mLog.InitAnchor(compareMode, "Link"));
    EXPECT_TRUE(mStore->SetCurrentFolder(mDataType, "", ""));
    EXPECT_EQ(mStore->LoadContent("Link"), kStoreOk);
  }
  bool Check(int compareMode = kTextMode, bool full = false) {
    Load(compareMode);
    return mLog.CheckUpdate(*mStore, full);
  }
  void SaveIndex() { mStore->mCurrentItems.SaveFile(); }
  // A record the store handed out without an identifier.
  void AddKeylessCurrentRecord() {
    auto record = CDataItem::Create();
    (*record)["PR_DISPLAY_NAME"] = "no key";
    mStore->mCurrentItems.Add(record);
  }

  TempDir mDir;
  CConf mConf{mDir.Path()};
  std::unique_ptr<TestStore> mStore;
  SyncDataType mDataType = DATA_TYPE_CONTACTS;
  CChangeLog mLog{mConf};
};

TEST_F(ChangeLogTest, EmptyIndexReportsEveryItemWithAKeyAsNew) {
  const auto a = mStore->AddLocalContact("A");
  const auto b = mStore->AddLocalContact("B");
  EXPECT_TRUE(Check());
  EXPECT_EQ(mLog.Entries(), (Entries{{NEW, a}, {NEW, b}}));
  EXPECT_EQ(mLog.NewCount(), 2);
  EXPECT_EQ(mLog.UpdatedCount() + mLog.DeletedCount(), 0);
}

TEST_F(ChangeLogTest, UnchangedItemsAfterASuccessfulRunReportNothing) {
  mStore->AddLocalContact("A");
  Check();
  SaveIndex();
  EXPECT_FALSE(Check());
  EXPECT_TRUE(mLog.Entries().empty());
  EXPECT_EQ(mLog.TotalCount(), 0);
}

TEST_F(ChangeLogTest, FullCheckReportsAllCurrentItemsNewAndEmptiesTheIndex) {
  const auto kept = mStore->AddLocalContact("kept");
  const auto edited = mStore->AddLocalContact("edited");
  const auto gone = mStore->AddLocalContact("gone");
  Check();
  SaveIndex();
  mStore->EditLocal(edited, "PR_SURNAME", "New");
  mStore->DeleteLocal(gone);
  Load();
  AddKeylessCurrentRecord();
  EXPECT_TRUE(mLog.CheckUpdate(*mStore, true));
  EXPECT_EQ(mLog.Entries(), (Entries{{NEW, kept}, {NEW, edited}}));
  EXPECT_EQ(mLog.UpdatedCount() + mLog.DeletedCount(), 0);
  EXPECT_EQ(mStore->mSavedItems.Count(), 0u);
}

TEST_F(ChangeLogTest, TextModeCountsACaseOnlyStampChangeAsUpdate) {
  const auto id = mStore->AddLocalContact("A");
  mStore->SetLocalStamp(id, "stamp-a");
  Check();
  SaveIndex();
  mStore->SetLocalStamp(id, "STAMP-A");
  EXPECT_TRUE(Check(kTextMode));
  EXPECT_EQ(mLog.Entries(), (Entries{{UPDATED, id}}));
}

TEST_F(ChangeLogTest, NumberModeCountsOnlyANewerTimeAsUpdate) {
  Open(TestStore::StampForm::UnixSeconds);
  const auto later = mStore->AddLocalContact("later");
  const auto earlier = mStore->AddLocalContact("earlier");
  const auto same = mStore->AddLocalContact("same");
  for (const auto& id : {later, earlier, same}) mStore->SetLocalStamp(id, "1767225600");
  Check(CChangeLog::kCompareAsNumbers);
  SaveIndex();
  mStore->SetLocalStamp(later, "1767225601");
  mStore->SetLocalStamp(earlier, "1767225599");
  mStore->SetLocalStamp(same, " 1767225600");  // the same number written differently
  Check(CChangeLog::kCompareAsNumbers);
  EXPECT_EQ(mLog.Entries(), (Entries{{UPDATED, later}}));
}

TEST_F(ChangeLogTest, EventOutsideTheWindowIsNotDeletedButADeletedOneIs) {
  Open(TestStore::StampForm::OleDateText, DATA_TYPE_EVENTS);
  const auto old = mStore->AddLocalEvent("old", "20260105", "20260106");
  const auto removed = mStore->AddLocalEvent("removed", "20260310T090000Z", "20260310T100000Z");
  mStore->AddLocalEvent("current", "20260312T090000Z", "20260312T100000Z");
  Check(2);
  SaveIndex();
  mStore->SetDateWindow("20260301", "");
  mStore->DeleteLocal(removed);
  EXPECT_TRUE(Check(2));
  EXPECT_EQ(mLog.Entries(), (Entries{{DELETED, removed}}));
  EXPECT_TRUE(mStore->ItemExists(old));
}

TEST_F(ChangeLogTest, ContactMissingFromTheFolderIsAlwaysADeletion) {
  const auto id = mStore->AddLocalContact("A");
  Check();
  SaveIndex();
  mStore->DeleteLocal(id);
  Check();
  EXPECT_EQ(mLog.Entries(), (Entries{{DELETED, id}}));
  EXPECT_EQ(mLog.DeletedCount(), 1);
}

TEST_F(ChangeLogTest, NewGroupWithTwoNewMembersGivesMemberMemberGroupOnce) {
  const auto group = mStore->AddLocalGroup("Team", {});
  const auto first = mStore->AddLocalContact("First");
  const auto second = mStore->AddLocalContact("Second");
  mStore->SetLocalMembers(group, {first, second});
  EXPECT_TRUE(Check());
  EXPECT_EQ(mLog.Entries(), (Entries{{NEW, first}, {NEW, second}, {NEW, group}}));
  EXPECT_EQ(mLog.NewCount(), 3);
}

TEST_F(ChangeLogTest, NestedAndCircularGroupsPutDeepestMembersFirstAndEnd) {
  const auto outer = mStore->AddLocalGroup("Outer", {});
  const auto inner = mStore->AddLocalGroup("Inner", {});
  const auto a = mStore->AddLocalContact("A");
  const auto b = mStore->AddLocalContact("B");
  mStore->SetLocalMembers(outer, {inner, a, outer});
  mStore->SetLocalMembers(inner, {outer, b});
  Check();
  EXPECT_EQ(mLog.Entries(), (Entries{{NEW, b}, {NEW, inner}, {NEW, a}, {NEW, outer}}));
}

TEST_F(ChangeLogTest, IndexHoldingAKeyTwiceGivesOneEntry) {
  const auto id = mStore->AddLocalContact("A");
  Check();
  mStore->mCurrentItems.Add(std::make_shared<CDataItem>(*mStore->mCurrentItems.Find(id)));
  SaveIndex();
  mStore->DeleteLocal(id);
  Check();
  EXPECT_EQ(mLog.Entries(), (Entries{{DELETED, id}}));
}

// Additions, updates, deletions, a group with an old and a new member, and records without a
// key, checked entry by entry: updates and deletions in index order, then new items in
// current-list order, each group after its new members.
TEST_F(ChangeLogTest, MixedChangesComeInTheDocumentedOrder) {
  const auto a = mStore->AddLocalContact("A");
  const auto b = mStore->AddLocalContact("B");
  const auto c = mStore->AddLocalContact("C");
  const auto d = mStore->AddLocalContact("D");
  Check();
  AddKeylessCurrentRecord();
  SaveIndex();

  mStore->EditLocal(b, "PR_SURNAME", "Bee");
  mStore->DeleteLocal(c);
  mStore->TouchLocal(d);
  const auto group = mStore->AddLocalGroup("Friends", {});
  const auto e = mStore->AddLocalContact("E");
  mStore->SetLocalMembers(group, {"", e, a, "unknown-member"});
  const auto x = mStore->AddLocalContact("X");
  Load();
  AddKeylessCurrentRecord();
  EXPECT_TRUE(mLog.CheckUpdate(*mStore, false));
  EXPECT_EQ(mLog.Entries(), (Entries{{UPDATED, b}, {DELETED, c}, {UPDATED, d}, {NEW, e}, {NEW, "unknown-member"},
                                     {NEW, group}, {NEW, x}}));
  EXPECT_EQ(mLog.NewCount(), 4);
  EXPECT_EQ(mLog.UpdatedCount(), 2);
  EXPECT_EQ(mLog.DeletedCount(), 1);

  std::vector<std::string> walked;
  while (const CChangeLogEntry* entry = mLog.NextEntry()) walked.push_back(entry->key);
  EXPECT_EQ(walked.size(), 7u);
  EXPECT_EQ(mLog.NextEntry(), nullptr);
  mLog.Rewind();
  EXPECT_EQ(mLog.NextEntry()->key, b);
}

// The log of a check with one deletion and one addition, line by line.
TEST_F(ChangeLogTest, CheckWritesEveryStepToTheLog) {
  const auto gone = mStore->AddLocalContact("gone");
  Check();
  SaveIndex();
  mStore->DeleteLocal(gone);
  const auto added = mStore->AddLocalContact("added");
  Load();

  const std::string logPath = mDir.File("Sync.log");
  ASSERT_TRUE(CLog::Instance().Open(logPath, LOG_DEBUG));
  mLog.CheckUpdate(*mStore, false);
  CLog::Instance().Close();

  std::vector<std::string> messages;
  std::istringstream lines(ReadFileBytes(logPath));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string prefix = "\tCChangeLog::CheckUpdate\tDebug\t";
    const size_t at = line.find(prefix);
    ASSERT_NE(at, std::string::npos) << line;
    messages.push_back(line.substr(at + prefix.size()));
  }
  const std::vector<std::string> expected = {
      "Begin", "Known items in the index", "1", "Current items in the database", "1",
      "Looking for updated/deleted items", "Checking item number", "1", "Key is", gone, "Search in current list done",
      "Existing item is NOT found, checking full list", "Existing item is NOT in full list", "Deleted entry found", gone,
      "Looking for new items", "Checking item number", "1", "Key is", added, "Search in snapshot done",
      "Looking up children", "New entry found", added, "Search is done, rewinding", "End"};
  EXPECT_EQ(messages, expected);
}

TEST_F(ChangeLogTest, AnchorFileIsCreatedWithZeroThenReadAndAdvanced) {
  EXPECT_TRUE(mLog.InitAnchor(1, "My_Folder"));
  EXPECT_EQ(mLog.AnchorPath(), mDir.Path() + "My_Folder.anc");
  EXPECT_EQ(ReadFileBytes(mLog.AnchorPath()), "0");
  EXPECT_EQ(mLog.CompareMode(), 1);

  WriteFileBytes(mLog.AnchorPath(), " \n 41 trailing");
  CChangeLog next(mConf);
  EXPECT_TRUE(next.InitAnchor(0, "My_Folder"));
  EXPECT_EQ(next.GetAnchor(), 41);
  next.AdvanceAnchor();
  EXPECT_TRUE(next.UpdateNextAnchor());
  EXPECT_EQ(ReadFileBytes(mLog.AnchorPath()), "42");

  WriteFileBytes(mLog.AnchorPath(), "-5");
  EXPECT_TRUE(next.InitAnchor(0, "My_Folder"));
  EXPECT_EQ(next.GetAnchor(), -5);
}

TEST_F(ChangeLogTest, UnreadableAnchorStartsAgainAtZero) {
  WriteFileBytes(mDir.File("Link.anc"), "garbage");
  EXPECT_TRUE(mLog.InitAnchor(0, "Link"));
  EXPECT_EQ(mLog.GetAnchor(), 0);
  EXPECT_EQ(ReadFileBytes(mDir.File("Link.anc")), "0");
}

TEST_F(ChangeLogTest, NewClientIdentityGivesAnchorMinusOneOnce) {
  WriteFileBytes(mDir.File("Link.anc"), "7");
  mLog.InitAnchor(0, "Link");
  mConf.SetIdentityGenerated(true);
  EXPECT_EQ(mLog.GetAnchor(), -1);
  EXPECT_FALSE(mConf.IdentityGenerated());
  mLog.AdvanceAnchor();
  EXPECT_EQ(mLog.GetAnchor(), 0);
}

TEST_F(ChangeLogTest, AnchorThatCannotBeWrittenFailsInitAndUpdate) {
  TempDir other;
  CConf missing(other.Path());
  std::filesystem::remove_all(other.Path());
  CChangeLog log(missing);
  EXPECT_FALSE(log.InitAnchor(0, "Link"));
  log.AdvanceAnchor();
  EXPECT_FALSE(log.UpdateNextAnchor());
}

// A full disk (a file-size limit in a child process) during the closing writes of a run leaves
// the previous anchor and index in place and readable.
TEST_F(ChangeLogTest, WritesFailingHalfWayLeaveAnchorAndIndexUnchanged) {
  for (int i = 0; i < 50; ++i) mStore->AddLocalContact("Contact " + std::to_string(i));
  WriteFileBytes(mDir.File("Link.anc"), "99");
  Check();
  SaveIndex();
  const std::string anchorBefore = ReadFileBytes(mDir.File("Link.anc"));
  const std::string indexBefore = ReadFileBytes(mDir.File("Link.dat"));
  for (int i = 0; i < 200; ++i) mStore->AddLocalContact("More " + std::to_string(i));
  Check();

  const int result = RunWithFileSizeLimit(2, [&] {
    mLog.AdvanceAnchor();
    const bool anchorWritten = mLog.UpdateNextAnchor();
    bool indexWritten = true;
    try {
      SaveIndex();
    } catch (const CDataItemListException&) {
      indexWritten = false;
    }
    return !anchorWritten && !indexWritten ? 0 : 1;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadFileBytes(mDir.File("Link.anc")), anchorBefore);
  EXPECT_EQ(ReadFileBytes(mDir.File("Link.dat")), indexBefore);
  CChangeLog reread(mConf);
  EXPECT_TRUE(reread.InitAnchor(1, "Link"));
  EXPECT_EQ(reread.GetAnchor(), 99);
  CDataItemList index;
  index.SetPath(mDir.Path(), "Link");
  index.LoadFile();
  EXPECT_EQ(index.Count(), 50u);
}

}  // namespace
