// The console observer of a sync run.
#include "engine/SyncObserver.h"

#include <cstddef>
#include <ostream>

#include "common/StringTable.h"
#include "common/TerminalText.h"

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
  if (link.mItemErrors > 0) count(IDS_DETAILS_ITEM_ERRORS, link.mItemErrors);
}

// Status texts can carry server messages; control sequences in them must not reach a terminal.
void ConsoleSyncObserver::WriteLine(const std::string& text) { mOut << TerminalSafe(text) << '\n' << std::flush; }
