// The console observer of a sync run.
#include "engine/SyncObserver.h"

#include <cstddef>
#include <ostream>

#include "common/StringTable.h"

ConsoleSyncObserver::ConsoleSyncObserver(std::ostream& out) : mOut(out) {}

void ConsoleSyncObserver::SyncBegin() {
  mLastState.clear();
  mLastText.clear();
}

void ConsoleSyncObserver::SyncLinkUpdate(int linkIndex, const CSyncLink& link) {
  const auto previous = mLastState.find(linkIndex);
  const bool wasRunning = previous != mLastState.end() && previous->second == SYNC_STATE_IN_PROGRESS;
  mLastState[linkIndex] = link.mState;
  if (link.mState == SYNC_STATE_IN_PROGRESS) {
    std::string& lastText = mLastText[linkIndex];
    if (!wasRunning || link.mStatusText != lastText) WriteProgress(link);
    lastText = link.mStatusText;
    return;
  }
  if (!wasRunning) return;
  ++mLinksRun;
  if (link.mState != SYNC_STATE_SYNCHRONIZED) ++mLinksFailed;
  WriteDetails(link);
}

void ConsoleSyncObserver::SyncEnd() { mOut.flush(); }

void ConsoleSyncObserver::WriteProgress(const CSyncLink& link) {
  const std::string& text = link.mStatusText.empty() ? LoadString(IDS_STATE_IN_PROGRESS) : link.mStatusText;
  WriteLine(link.mLocalName + " <-> " + link.ServerUri() + ": " + text);
}

void ConsoleSyncObserver::WriteDetails(const CSyncLink& link) {
  const auto line = [this](unsigned label, const std::string& value) { WriteLine("  " + LoadString(label) + " " + value); };
  const auto count = [&line](unsigned label, int value) { line(label, std::to_string(value)); };
  WriteLine(link.mLocalName + " <-> " + link.ServerUri());
  line(IDS_DETAILS_LOCAL_FOLDER, link.mLocalName);
  line(IDS_DETAILS_SERVER_FOLDER, link.ServerDisplayName());
  line(IDS_DETAILS_SYNC_TYPE, link.ModeText());
  line(IDS_DETAILS_STATUS, link.StateDetails());
  count(IDS_DETAILS_LOCAL_ADDITIONS, link.mLocalCounts.added);
  count(IDS_DETAILS_LOCAL_UPDATES, link.mLocalCounts.updated);
  count(IDS_DETAILS_LOCAL_DELETIONS, link.mLocalCounts.deleted);
  count(IDS_DETAILS_SERVER_ADDITIONS, link.mServerCounts.added);
  count(IDS_DETAILS_SERVER_UPDATES, link.mServerCounts.updated);
  count(IDS_DETAILS_SERVER_DELETIONS, link.mServerCounts.deleted);
}

// Status texts can carry server messages; terminal control sequences must not reach a terminal:
// neither the C0 controls and DEL nor the C1 controls (U+0080 to U+009F, which a terminal reads
// as ESC sequences: U+009B opens one like ESC "[").
void ConsoleSyncObserver::WriteLine(const std::string& text) {
  std::string line;
  line.reserve(text.size() + 1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
      line.push_back('?');
      ++i;
      continue;
    }
    const bool control = c < 0x20 || c == 0x7F;
    line.push_back(control ? '?' : text[i]);
  }
  line.push_back('\n');
  mOut << line << std::flush;
}
