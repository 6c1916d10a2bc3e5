// Local store interface: what LoadContent and the write bookkeeping guarantee for every store.
#include <gtest/gtest.h>

#include "common/CXException.h"
#include "common/StringIds.h"
#include "config/CConf.h"
#include "tests/support/ListOnlyStore.h"
#include "tests/support/TempDir.h"

namespace {

// A store whose folder is a fixed list of identifiers; it records what the lists held while the
// folder was read, and exposes the bookkeeping helpers.
class RecordingStore : public ListOnlyStore {
 public:
  using ListOnlyStore::ListOnlyStore;
  using CDatabaseObject::NoteItemAdded;
  using CDatabaseObject::NoteItemRemoved;
  using CDatabaseObject::NoteItemWritten;

  std::vector<std::string> folder;
  int32_t readStatus = kStoreOk;
  size_t savedCountWhileReading = 0;
  size_t idMapSizeWhileReading = 0;

 protected:
  int32_t ReadCurrentFolder() override {
    savedCountWhileReading = mSavedItems.Count();
    idMapSizeWhileReading = mIdMap.size();
    for (const auto& id : folder) {
      auto item = CDataItem::Create();
      item->itemId = id;
      mCurrentItems.Add(item);
    }
    return readStatus;
  }
};

CDataItem::Ptr Record(const std::string& id) {
  auto item = CDataItem::Create();
  item->itemId = id;
  return item;
}

class DatabaseObjectTest : public ::testing::Test {
 protected:
  void SaveIndex(const std::string& name, std::initializer_list<const char*> ids) {
    CDataItemList index;
    index.SetPath(mDir.Path(), name);
    for (const char* id : ids) index.Add(Record(id));
    index.SaveFile();
  }

  TempDir mDir;
  CConf mConf{mDir.Path()};
  RecordingStore mStore{mConf};
};

TEST_F(DatabaseObjectTest, LoadContentEmptiesEverythingReadsTheFolderThenTheIndex) {
  SaveIndex("Link", {"old1", "old2"});
  mStore.mIdMap["server"] = "stale";
  mStore.mCurrentItems.Add(Record("stale"));
  mStore.mSavedItems.Add(Record("stale"));
  mStore.folder = {"a", "b"};
  EXPECT_EQ(mStore.LoadContent("Link"), kStoreOk);
  EXPECT_EQ(mStore.savedCountWhileReading, 0u);
  EXPECT_EQ(mStore.idMapSizeWhileReading, 0u);
  EXPECT_TRUE(mStore.mIdMap.empty());
  EXPECT_EQ(mStore.mCurrentItems.Count(), 2u);
  EXPECT_EQ(mStore.mSavedItems.Count(), 2u);
  EXPECT_NE(mStore.mSavedItems.Find("old2"), nullptr);
  EXPECT_EQ(mStore.mCurrentItems.Path(), mDir.Path() + "Link.dat");
  EXPECT_EQ(mStore.mSavedItems.Path(), mDir.Path() + "Link.dat");
}

TEST_F(DatabaseObjectTest, EmptyListNameKeepsThePreviousPaths) {
  mStore.LoadContent("First");
  mStore.LoadContent("");
  EXPECT_EQ(mStore.mCurrentItems.Path(), mDir.Path() + "First.dat");
  EXPECT_EQ(mStore.mSavedItems.Path(), mDir.Path() + "First.dat");
}

TEST_F(DatabaseObjectTest, FailedFolderReadReturnsItsStatusAndLeavesTheIndexUnread) {
  SaveIndex("Link", {"old"});
  mStore.readStatus = -5;
  EXPECT_EQ(mStore.LoadContent("Link"), -5);
  EXPECT_EQ(mStore.mSavedItems.Count(), 0u);
}

TEST_F(DatabaseObjectTest, IndexThatCannotBeOpenedRaisesTheLoadError) {
  try {
    mStore.LoadContent("missing-folder/Link");
    FAIL() << "LoadContent succeeded";
  } catch (const CDataItemListException& error) {
    EXPECT_EQ(error.StringId(), IDS_INDEX_LOAD_ERROR);
  }
}

TEST_F(DatabaseObjectTest, WriteBookkeepingKeepsTheMapAndBothListsRight) {
  SaveIndex("Link", {"reused", "gone", "other"});
  mStore.folder = {"gone", "other"};
  mStore.LoadContent("Link");

  mStore.NoteItemAdded("srv-1", "reused");
  EXPECT_EQ(mStore.mIdMap.at("srv-1"), "reused");
  EXPECT_EQ(mStore.mSavedItems.Find("reused"), nullptr);

  mStore.NoteItemWritten("srv-2", "other");
  mStore.NoteItemWritten("", "other");
  EXPECT_EQ(mStore.mIdMap.at("srv-2"), "other");
  EXPECT_EQ(mStore.mIdMap.count(""), 0u);
  EXPECT_NE(mStore.mSavedItems.Find("other"), nullptr);

  const std::string& ownKey = mStore.mCurrentItems.Find("gone")->itemId;
  mStore.NoteItemRemoved(ownKey);
  EXPECT_EQ(mStore.mCurrentItems.Find("gone"), nullptr);
  EXPECT_EQ(mStore.mSavedItems.Find("gone"), nullptr);
  EXPECT_EQ(mStore.mCurrentItems.Count(), 1u);
  EXPECT_EQ(mStore.mSavedItems.Count(), 1u);
}

}  // namespace
