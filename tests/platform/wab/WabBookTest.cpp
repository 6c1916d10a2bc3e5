// The personal address book through the exported interface: contents table, creation from the
// templates, deletion, identifiers and modification times.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "platform/wab/WabPtr.h"
#include "tests/platform/wab/WabTestBook.h"

namespace {

EntryBytes AddContact(WabConnection& book, const std::string& name) {
  return CreateEntry(book, PR_DEF_CREATE_MAILUSER, PropValues().Text(PR_DISPLAY_NAME, name));
}

HRESULT Delete(WabConnection& book, std::vector<EntryBytes> ids) {
  std::vector<SBinary> binaries;
  for (EntryBytes& id : ids) binaries.push_back({static_cast<ULONG>(id.size()), id.data()});
  ENTRYLIST list{static_cast<ULONG>(binaries.size()), binaries.data()};
  return book.Container()->DeleteEntries(&list, 0);
}

}  // namespace

TEST(WabBook, EmptyBookContentsTableIsNotFoundAndLeavesNoTable) {
  TestBook book;
  auto connection = book.Connect();
  ASSERT_TRUE(connection->IsOpen());
  IMAPITable* table = reinterpret_cast<IMAPITable*>(0x1);
  EXPECT_EQ(MAPI_E_NOT_FOUND, connection->Container()->GetContentsTable(MAPI_UNICODE, &table));
  EXPECT_EQ(nullptr, table);
  EXPECT_EQ(0u, connection->Allocator()->OutstandingBuffers());
}

TEST(WabBook, ContainerOffersTemplatesAndRefusesChanges) {
  TestBook book;
  auto connection = book.Connect();
  ASSERT_TRUE(connection->IsOpen());
  const EntryBytes mailUser = TemplateId(*connection, PR_DEF_CREATE_MAILUSER);
  const EntryBytes distList = TemplateId(*connection, PR_DEF_CREATE_DL);
  EXPECT_FALSE(mailUser.empty());
  EXPECT_NE(mailUser, distList);
  PropValues name;
  name.Text(PR_DISPLAY_NAME, "Renamed");
  EXPECT_EQ(MAPI_E_NO_ACCESS, connection->Container()->SetProps(name.Count(), name.Data(), nullptr));

  // A template serves CreateEntry only; an entry identifier is no template.
  ULONG type = 0;
  HRESULT hr = S_OK;
  EXPECT_EQ(nullptr, OpenEntry(*connection, mailUser, &type, &hr));
  EXPECT_EQ(MAPI_E_NO_SUPPORT, hr);
  EntryBytes contact = AddContact(*connection, "Anna");
  WabRef<IMAPIProp> created;
  EXPECT_EQ(MAPI_E_UNKNOWN_ENTRYID, connection->Container()->CreateEntry(static_cast<ULONG>(contact.size()),
                                                                         reinterpret_cast<LPENTRYID>(contact.data()), 0,
                                                                         created.Put()));
}

TEST(WabBook, CreatedContactsAndListsAppearInTheTableSortedByName) {
  TestBook book;
  auto connection = book.Connect();
  ASSERT_TRUE(connection->IsOpen());
  const EntryBytes zoe = AddContact(*connection, "zoe");
  const EntryBytes anna = AddContact(*connection, "Anna");
  const EntryBytes team = CreateEntry(*connection, PR_DEF_CREATE_DL, PropValues().Text(PR_DISPLAY_NAME, "Mail team"));

  const std::vector<TableRow> rows = WalkContents(*connection);
  ASSERT_EQ(3u, rows.size());
  EXPECT_EQ("Anna", rows[0].displayName);
  EXPECT_EQ(anna, rows[0].id);
  EXPECT_EQ(MAPI_MAILUSER, rows[0].objectType);
  EXPECT_EQ("Mail team", rows[1].displayName);
  EXPECT_EQ(team, rows[1].id);
  EXPECT_EQ(MAPI_DISTLIST, rows[1].objectType);
  EXPECT_EQ(zoe, rows[2].id);

  ULONG type = 0;
  WabRef<IMAPIProp> list(OpenEntry(*connection, team, &type));
  ASSERT_TRUE(list);
  EXPECT_EQ(MAPI_DISTLIST, type);
  EXPECT_EQ(0u, connection->Allocator()->OutstandingBuffers());
}

TEST(WabBook, RowWalkVisitsEveryEntryOnceInAnyBatchSize) {
  TestBook book;
  auto connection = book.Connect();
  ASSERT_TRUE(connection->IsOpen());
  std::set<EntryBytes> created;
  for (int i = 0; i < 23; ++i) created.insert(AddContact(*connection, "Contact " + std::to_string(i)));

  WabRef<IMAPITable> table;
  ASSERT_EQ(S_OK, connection->Container()->GetContentsTable(MAPI_UNICODE, table.Put()));
  ULONG count = 0;
  ASSERT_EQ(S_OK, table->GetRowCount(0, &count));
  EXPECT_EQ(23u, count);
  for (LONG batch : {1, 4, 23, 50}) {
    ASSERT_EQ(S_OK, table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr));
    std::multiset<EntryBytes> seen;
    for (;;) {
      WabRowSet rows(connection->Allocator());
      ASSERT_EQ(S_OK, table->QueryRows(batch, 0, rows.Put()));
      if (rows.Count() == 0) break;
      ASSERT_LE(rows.Count(), static_cast<ULONG>(batch));
      for (ULONG i = 0; i < rows.Count(); ++i) {
        const SBinary& id = rows.Row(i).lpProps[0].Value.bin;  // default first column: PR_ENTRYID
        ASSERT_EQ(PR_ENTRYID, rows.Row(i).lpProps[0].ulPropTag);
        seen.insert(EntryBytes(id.lpb, id.lpb + id.cb));
      }
    }
    EXPECT_EQ(std::multiset<EntryBytes>(created.begin(), created.end()), seen) << "batch " << batch;
  }
  EXPECT_EQ(0u, connection->Allocator()->OutstandingBuffers());
}

TEST(WabBook, SeekRowClampsAtBothEndsAndReportsRowsMoved) {
  TestBook book;
  auto connection = book.Connect();
  ASSERT_TRUE(connection->IsOpen());
  for (const char* name : {"a", "b", "c", "d"}) AddContact(*connection, name);
  WabRef<IMAPITable> table;
  ASSERT_EQ(S_OK, connection->Container()->GetContentsTable(MAPI_UNICODE, table.Put()));
  LONG moved = 0;
  EXPECT_EQ(S_OK, table->SeekRow(BOOKMARK_END, -1, &moved));
  EXPECT_EQ(-1, moved);
  WabRowSet last(connection->Allocator());
  ASSERT_EQ(S_OK, table->QueryRows(10, TBL_NOADVANCE, last.Put()));
  ASSERT_EQ(1u, last.Count());
  EXPECT_EQ(u"d", std::u16string(last.Row(0).lpProps[1].Value.lpszW));
  EXPECT_EQ(S_OK, table->SeekRow(BOOKMARK_CURRENT, -10, &moved));
  EXPECT_EQ(-3, moved);
  EXPECT_EQ(S_OK, table->SeekRow(BOOKMARK_BEGINNING, 9, &moved));
  EXPECT_EQ(4, moved);
  EXPECT_EQ(MAPI_E_INVALID_BOOKMARK, table->SeekRow(7, 0, &moved));
  WabRowSet none(connection->Allocator());
  EXPECT_EQ(E_INVALIDARG, table->QueryRows(0, 0, none.Put()));
}

TEST(WabBook, DeleteEntriesRemovesListedEntriesAndReportsUnknownOnes) {
  TestBook book;
  auto connection = book.Connect();
  ASSERT_TRUE(connection->IsOpen());
  const EntryBytes a = AddContact(*connection, "a");
  const EntryBytes b = AddContact(*connection, "b");
  const EntryBytes c = AddContact(*connection, "c");

  EXPECT_EQ(S_OK, Delete(*connection, {a, c}));
  std::vector<TableRow> rows = WalkContents(*connection);
  ASSERT_EQ(1u, rows.size());
  EXPECT_EQ(b, rows[0].id);
  HRESULT hr = S_OK;
  EXPECT_EQ(nullptr, OpenEntry(*connection, a, nullptr, &hr));
  EXPECT_EQ(MAPI_E_NOT_FOUND, hr);

  EntryBytes garbage(32, 0xAB);
  EXPECT_EQ(MAPI_W_PARTIAL_COMPLETION, Delete(*connection, {a, garbage, b}));
  EXPECT_TRUE(WalkContents(*connection).empty());
  IMAPITable* table = nullptr;
  EXPECT_EQ(MAPI_E_NOT_FOUND, connection->Container()->GetContentsTable(0, &table));
  EXPECT_EQ(E_INVALIDARG, connection->Container()->DeleteEntries(nullptr, 0));
}

TEST(WabBook, IdentifiersStayTheSameAcrossConnectionsAndAreNeverReused) {
  TestBook book;
  EntryBytes first;
  EntryBytes deleted;
  {
    auto connection = book.Connect();
    ASSERT_TRUE(connection->IsOpen());
    first = AddContact(*connection, "Kept");
    deleted = AddContact(*connection, "Gone");
    EXPECT_EQ(S_OK, Delete(*connection, {deleted}));
  }
  auto again = book.Connect();
  ASSERT_TRUE(again->IsOpen());
  WabRef<IMAPIProp> kept(OpenEntry(*again, first));
  ASSERT_TRUE(kept);
  EXPECT_EQ("Kept", GetText(*again, kept.Get(), PR_DISPLAY_NAME));
  EXPECT_EQ(first, GetBinary(*again, kept.Get(), PR_ENTRYID));
  const EntryBytes later = AddContact(*again, "Later");
  EXPECT_NE(deleted, later);
  EXPECT_EQ(nullptr, OpenEntry(*again, deleted));

  // Another book does not recognise these identifiers.
  TestBook other;
  auto foreign = other.Connect();
  ASSERT_TRUE(foreign->IsOpen());
  HRESULT hr = S_OK;
  EXPECT_EQ(nullptr, OpenEntry(*foreign, first, nullptr, &hr));
  EXPECT_EQ(MAPI_E_UNKNOWN_ENTRYID, hr);
}

TEST(WabBook, LastModificationTimeMovesForwardOnEverySave) {
  TestBook book;
  auto connection = book.Connect();
  ASSERT_TRUE(connection->IsOpen());
  const EntryBytes id = AddContact(*connection, "Timed");
  WabRef<IMAPIProp> entry(OpenEntry(*connection, id));
  ASSERT_TRUE(entry);
  const LONGLONG created = GetTime(*connection, entry.Get(), PR_CREATION_TIME).value_or(0);
  LONGLONG previous = GetTime(*connection, entry.Get(), PR_LAST_MODIFICATION_TIME).value_or(0);
  EXPECT_GT(previous, 130000000000000000LL);  // a file time after 2012
  for (int save = 0; save < 3; ++save) {
    PropValues change;
    change.Text(PR_DISPLAY_NAME, "Timed " + std::to_string(save));
    ASSERT_EQ(S_OK, entry->SetProps(change.Count(), change.Data(), nullptr));
    ASSERT_EQ(S_OK, entry->SaveChanges(KEEP_OPEN_READWRITE));
    const LONGLONG now = GetTime(*connection, entry.Get(), PR_LAST_MODIFICATION_TIME).value_or(0);
    EXPECT_GE(now - previous, 10000000LL) << "save " << save;  // at least a second: readers compare seconds
    previous = now;
  }
  WabRef<IMAPIProp> reread(OpenEntry(*connection, id));
  EXPECT_EQ(previous, GetTime(*connection, reread.Get(), PR_LAST_MODIFICATION_TIME));
  EXPECT_EQ(created, GetTime(*connection, reread.Get(), PR_CREATION_TIME));
}

TEST(WabBook, SavingAnEntryDeletedMeanwhileReportsObjectDeleted) {
  TestBook book;
  auto mine = book.Connect();
  auto theirs = book.Connect();
  ASSERT_TRUE(mine->IsOpen() && theirs->IsOpen());
  const EntryBytes id = AddContact(*mine, "Shared");
  WabRef<IMAPIProp> open(OpenEntry(*mine, id));
  ASSERT_TRUE(open);
  EXPECT_EQ(S_OK, Delete(*theirs, {id}));
  EXPECT_EQ(MAPI_E_OBJECT_DELETED, open->SaveChanges(0));
  EXPECT_TRUE(WalkContents(*mine).empty());
}

TEST(WabBook, TableSnapshotSkipsEntriesDeletedDuringTheWalk) {
  TestBook book;
  auto connection = book.Connect();
  ASSERT_TRUE(connection->IsOpen());
  AddContact(*connection, "a");
  const EntryBytes b = AddContact(*connection, "b");
  AddContact(*connection, "c");
  WabRef<IMAPITable> table;
  ASSERT_EQ(S_OK, connection->Container()->GetContentsTable(MAPI_UNICODE, table.Put()));
  EXPECT_EQ(S_OK, Delete(*connection, {b}));
  WabRowSet rows(connection->Allocator());
  ASSERT_EQ(S_OK, table->QueryRows(10, 0, rows.Put()));
  ASSERT_EQ(2u, rows.Count());
  EXPECT_EQ(u"a", std::u16string(rows.Row(0).lpProps[1].Value.lpszW));
  EXPECT_EQ(u"c", std::u16string(rows.Row(1).lpProps[1].Value.lpszW));
}
