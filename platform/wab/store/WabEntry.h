// Mail users and distribution lists: an entry's properties held in the object until SaveChanges.
#pragma once

#include "platform/wab/store/BookContext.h"

// A new unsaved entry of `objectType` (MAPI_MAILUSER or MAPI_DISTLIST) in `container`, as an
// IMailUser or IDistList with one reference.
IMAPIProp* NewEntryObject(const BookContext& context, std::int64_t container, ULONG objectType);
// An object over a stored entry (IMailUser or IDistList by its object type), with one reference.
IMAPIProp* OpenEntryObject(const BookContext& context, StoredEntry entry);
