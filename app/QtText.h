// String-table texts as Qt strings.
#pragma once

#include <QString>
#include <string>

#include "common/Format.h"
#include "common/StringTable.h"

inline QString ToQString(const std::string& text) { return QString::fromStdString(text); }

// The text of `id` in the current language.
inline QString TableText(unsigned id) { return ToQString(LoadString(id)); }

// The text of `id` formatted with the product name (titles such as " %s" and "%s Configuration Panel").
inline QString TableText(unsigned id, const std::string& productName) {
  return ToQString(FormatText(LoadString(id), {productName}));
}
