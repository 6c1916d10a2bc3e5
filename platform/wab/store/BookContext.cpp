// Computed properties and identifiers handed to callers.
#include "platform/wab/store/BookContext.h"

#include <cstring>

#include "platform/wab/store/WabFailure.h"

bool IsComputedProperty(ULONG propId) {
  return propId == PROP_ID(PR_ENTRYID) || propId == PROP_ID(PR_OBJECT_TYPE) || propId == PROP_ID(PR_CREATION_TIME) ||
         propId == PROP_ID(PR_LAST_MODIFICATION_TIME);
}

PropertyMap EntryView(const BookUid& book, const StoredEntry& entry) {
  PropertyMap view = entry.properties;
  view[PROP_ID(PR_OBJECT_TYPE)].data = static_cast<LONG>(entry.objectType);
  if (entry.id != 0) {
    view[PROP_ID(PR_ENTRYID)].data = EncodeEntryId(book, static_cast<EntryKind>(entry.objectType), entry.id);
    view[PROP_ID(PR_CREATION_TIME)].data = entry.created;
    view[PROP_ID(PR_LAST_MODIFICATION_TIME)].data = entry.modified;
  }
  return view;
}

void ReturnEntryId(const BookContext& context, EntryKind kind, std::int64_t row, ULONG* cb, LPENTRYID* id) {
  const Bytes bytes = EncodeEntryId(context.database->Uid(), kind, row);
  OwnedBuffer buffer(context.allocator, bytes.size());
  std::memcpy(buffer.Get(), bytes.data(), bytes.size());
  *cb = static_cast<ULONG>(bytes.size());
  *id = static_cast<LPENTRYID>(buffer.Release());
}
