// What every object of one WABOpen shares: the open book and the allocator of caller buffers.
#pragma once

#include <memory>

#include "platform/wab/store/WabAllocator.h"
#include "platform/wab/store/WabDatabase.h"

struct BookContext {
  std::shared_ptr<WabDatabase> database;
  std::shared_ptr<WabAllocator> allocator;
};

// Identifiers of the properties the library computes; callers cannot set or delete them.
bool IsComputedProperty(ULONG propId);

// All properties of an entry as callers see them: the stored ones plus PR_OBJECT_TYPE and, once
// it has been saved (id != 0), PR_ENTRYID, PR_CREATION_TIME and PR_LAST_MODIFICATION_TIME.
PropertyMap EntryView(const BookUid& book, const StoredEntry& entry);

// Hands a caller an identifier in a buffer of the allocator.
void ReturnEntryId(const BookContext& context, EntryKind kind, std::int64_t row, ULONG* cb, LPENTRYID* id);
