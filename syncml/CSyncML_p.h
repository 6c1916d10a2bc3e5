// Internals shared by the session's source files: the Begin/End log lines of an operation and
// small readers of decoded element values.
#pragma once

#include <string>
#include <string_view>

#include "common/AsciiText.h"
#include "config/CLog.h"
#include "syncml/SmlTypes.h"

// Logs "Begin" when constructed and "End" when destroyed (also when the operation throws).
class OperationLog {
 public:
  explicit OperationLog(const char* operation) : mOperation(operation) { LogDebug(mOperation, "Begin"); }
  ~OperationLog() { LogDebug(mOperation, "End"); }
  OperationLog(const OperationLog&) = delete;
  OperationLog& operator=(const OperationLog&) = delete;

 private:
  const char* mOperation;
};

// The text of a Data or Meta element when it is plain or CDATA text; empty otherwise.
inline std::string TextOf(const SmlPcdata& content) { return content.IsText() ? content.text : std::string(); }

inline std::string TextOf(const SmlText& text) { return text.value_or(std::string()); }

// The content type a Meta carries: its text, or the Type of its MetInf.
inline std::string ContentTypeOf(const SmlPcdata& meta) {
  if (meta.IsText()) return meta.text;
  const SmlMetInf* metInf = meta.MetInf();
  return metInf != nullptr ? TextOf(metInf->type) : std::string();
}

// A number of a Meta element; 0 when absent or not a positive decimal number below 10^9.
inline long PositiveNumber(const SmlText& text) {
  if (!text) return 0;
  long value = 0;
  for (const char c : TrimBlanks(*text)) {
    if (c < '0' || c > '9' || value > 100000000) return 0;
    value = value * 10 + (c - '0');
  }
  return value;
}

inline bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}
