// The address book object: the personal address book's identifier and opening of any entry.
#pragma once

#include "platform/wab/store/BookContext.h"

IAddrBook* NewAddrBookObject(const BookContext& context);
