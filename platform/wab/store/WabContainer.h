// The personal address book container: its contents table, entry creation and deletion.
#pragma once

#include <string>

#include "platform/wab/store/BookContext.h"

// The container `id` named `name`, with one reference.
IABContainer* NewContainerObject(const BookContext& context, std::int64_t id, std::string name);
