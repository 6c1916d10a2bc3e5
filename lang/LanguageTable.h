// The string table of one language library and the look-up function it exports.
#pragma once

#include <algorithm>
#include <span>

#include "common/StringTable_p.h"

// The text of `id` in `table` (sorted by id), or null when the table has none.
inline const char* FindLanguageText(std::span<const StringEntry> table, unsigned id) {
  const auto it = std::lower_bound(table.begin(), table.end(), id,
                                   [](const StringEntry& entry, unsigned key) { return entry.id < key; });
  return it != table.end() && it->id == id ? it->text : nullptr;
}

// Defines the exported look-up of a language library over `table`.
#define LARK_LANGUAGE_LIBRARY(table)                                                         \
  extern "C" __attribute__((visibility("default"))) const char* LarkspanLanguageString(unsigned id) { \
    return FindLanguageText(table, id);                                                      \
  }
