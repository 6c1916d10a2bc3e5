// Internal: the entry type of the program's own string table.
#pragma once

#include <span>

#include "common/StringIds.h"

struct StringEntry {
  unsigned id;
  const char* text;
};

std::span<const StringEntry> EnglishStringEntries();
