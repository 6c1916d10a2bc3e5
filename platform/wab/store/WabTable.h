// The contents table of a container: a snapshot of its entries, read row by row.
#pragma once

#include <vector>

#include "platform/wab/store/BookContext.h"

// A table over `rows` (not empty) with one reference; `unicode` gives default string columns
// as PT_UNICODE.
IMAPITable* NewTableObject(const BookContext& context, std::vector<EntryRef> rows, bool unicode);
