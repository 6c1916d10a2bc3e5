// Reading a running link's progress from the texts and counts the worker sends.
#include "app/RowProgress.h"

#include <cstdio>
#include <string>

#include "common/StringTable.h"
#include "engine/CSyncLink.h"

namespace {

// Reads "<text>%d<text>%d<text>" (the sending text's format) back; false when `text` is not of it.
bool ReadTwoNumbers(const std::string& format, const std::string& text, int& first, int& second) {
  const std::size_t one = format.find("%d");
  const std::size_t two = one == std::string::npos ? std::string::npos : format.find("%d", one + 2);
  if (two == std::string::npos) return false;
  const std::string head = format.substr(0, one);
  const std::string middle = format.substr(one + 2, two - one - 2);
  const std::string tail = format.substr(two + 2);
  if (text.compare(0, head.size(), head) != 0) return false;
  std::size_t at = head.size();
  auto number = [&](int& value) {
    const std::size_t start = at;
    long parsed = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 9) parsed = parsed * 10 + (text[at++] - '0');
    value = static_cast<int>(parsed);
    return at > start;
  };
  if (!number(first) || text.compare(at, middle.size(), middle) != 0) return false;
  at += middle.size();
  return number(second) && text.compare(at, std::string::npos, tail) == 0;
}

}  // namespace

RowProgress RowProgress::Of(const CSyncLink& link) {
  RowProgress progress;
  if (link.mState != SYNC_STATE_IN_PROGRESS) return progress;
  const ChangeCounts& server = link.mServerCounts;
  progress.received = server.added + server.updated + server.deleted;
  int sent = 0;
  int total = 0;
  if (ReadTwoNumbers(LoadString(IDS_SENDING_ITEM), link.mStatusText, sent, total) && total > 0 && sent <= total) {
    progress.sent = sent;
    progress.toSend = total;
  }
  return progress;
}
