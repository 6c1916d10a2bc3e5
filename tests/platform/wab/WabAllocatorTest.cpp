// The allocator's buffer discipline: linked buffers go with their root, a second or a wrong free is
// refused instead of corrupting memory, and every call that returns buffers leaves none behind.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/wab/WabPtr.h"
#include "tests/platform/wab/WabTestBook.h"

TEST(WabAllocator, LinkedBuffersAreFreedWithTheirRootOnly) {
  TestBook book;
  auto connection = book.Connect();
  ASSERT_TRUE(connection->IsOpen());
  IWABObject* allocator = connection->Allocator();
  void* root = nullptr;
  ASSERT_EQ(S_OK, allocator->AllocateBuffer(64, &root));
  void* linked = nullptr;
  ASSERT_EQ(S_OK, allocator->AllocateMore(128, root, &linked));
  void* grandchild = nullptr;
  ASSERT_EQ(S_OK, allocator->AllocateMore(16, linked, &grandchild));  // onto a linked buffer: same root
  std::memset(root, 1, 64);
  std::memset(linked, 2, 128);
  std::memset(grandchild, 3, 16);
  EXPECT_EQ(1u, allocator->OutstandingBuffers());

  EXPECT_EQ(E_INVALIDARG, allocator->FreeBuffer(linked));  // only with its root
  EXPECT_EQ(S_OK, allocator->FreeBuffer(root));
  EXPECT_EQ(E_INVALIDARG, allocator->FreeBuffer(root));    // a second free is refused
  EXPECT_EQ(E_INVALIDARG, allocator->FreeBuffer(linked));
  void* orphan = nullptr;
  EXPECT_EQ(E_INVALIDARG, allocator->AllocateMore(8, root, &orphan));
  EXPECT_EQ(nullptr, orphan);
  EXPECT_EQ(S_OK, allocator->FreeBuffer(nullptr));
  EXPECT_EQ(0u, allocator->OutstandingBuffers());
}

TEST(WabAllocator, BuffersAreZeroFilledAndOversizedRequestsFail) {
  TestBook book;
  auto connection = book.Connect();
  ASSERT_TRUE(connection->IsOpen());
  WabBuffer<unsigned char> buffer(connection->Allocator());
  ASSERT_EQ(S_OK, connection->Allocator()->AllocateBuffer(32, reinterpret_cast<void**>(buffer.Put())));
  for (int i = 0; i < 32; ++i) EXPECT_EQ(0, buffer.Get()[i]);
  void* huge = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(MAPI_E_NOT_ENOUGH_MEMORY, connection->Allocator()->AllocateBuffer(0xFFFFFFFFu, &huge));
  EXPECT_EQ(nullptr, huge);
  EXPECT_EQ(E_INVALIDARG, connection->Allocator()->AllocateBuffer(8, nullptr));
}

TEST(WabAllocator, EveryReturnedBufferIsAccountedForAndFreedByTheCaller) {
  TestBook book;
  auto connection = book.Connect();
  ASSERT_TRUE(connection->IsOpen());
  IWABObject* allocator = connection->Allocator();
  const EntryBytes id = CreateEntry(*connection, PR_DEF_CREATE_MAILUSER,
                                    PropValues().Text(PR_DISPLAY_NAME, "Anna").Texts(PR_ZEP_EMAIL_ADDRESSES_TYPES, {"W:a@b"}));
  EXPECT_EQ(0u, allocator->OutstandingBuffers());

  ULONG size = 0;
  LPENTRYID pab = nullptr;
  ASSERT_EQ(S_OK, connection->AddrBook()->GetPAB(&size, &pab));
  WabRef<IMAPIProp> entry(OpenEntry(*connection, id));
  ULONG count = 0;
  SPropValue* values = nullptr;
  ASSERT_EQ(S_OK, entry->GetProps(nullptr, MAPI_UNICODE, &count, &values));
  WabRef<IMAPITable> table;
  ASSERT_EQ(S_OK, connection->Container()->GetContentsTable(MAPI_UNICODE, table.Put()));
  SRowSet* rows = nullptr;
  ASSERT_EQ(S_OK, table->QueryRows(5, 0, &rows));
  EXPECT_EQ(1u, rows->cRows);
  EXPECT_EQ(4u, allocator->OutstandingBuffers());  // PAB id, property array, row set, one row

  EXPECT_EQ(S_OK, allocator->FreeBuffer(pab));
  EXPECT_EQ(S_OK, allocator->FreeBuffer(values));
  FreeRowSet(allocator, rows);
  EXPECT_EQ(0u, allocator->OutstandingBuffers());
}

TEST(WabAllocator, ObjectsMayBeReleasedInAnyOrder) {
  SharedLibrary keepLoaded(LARK_WAB_LIBRARY);  // the code of the objects must outlive the connection
  TestBook book;
  auto connection = book.Connect();
  ASSERT_TRUE(connection->IsOpen());
  const EntryBytes id = CreateEntry(*connection, PR_DEF_CREATE_MAILUSER, PropValues().Text(PR_DISPLAY_NAME, "Anna"));
  IMAPIProp* entry = OpenEntry(*connection, id);
  ASSERT_NE(nullptr, entry);
  IMAPITable* table = nullptr;
  ASSERT_EQ(S_OK, connection->Container()->GetContentsTable(0, &table));
  connection.reset();  // container, address book and allocator go first
  EXPECT_EQ(S_OK, entry->SaveChanges(0));
  SRowSet* rows = nullptr;
  EXPECT_EQ(S_OK, table->QueryRows(1, 0, &rows));
  EXPECT_EQ(1u, rows->cRows);  // the row set goes with the last object holding the allocator
  table->Release();
  entry->Release();
}
