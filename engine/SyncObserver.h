// What the sync worker tells the user interface while a run goes on, and its console form.
#pragma once

#include <iosfwd>
#include <map>
#include <string>

#include "engine/CSyncLink.h"

// Called by the sync worker, synchronously: the worker waits until each call returns. The main
// window implements it with a blocking hand-over to its own thread; an implementation must not
// wait for the run to end (CSyncRun::WaitForEnd) from inside these calls.
class SyncObserver {
 public:
  virtual ~SyncObserver() = default;

  // The worker started; no link has been touched yet.
  virtual void SyncBegin() = 0;
  // The state, counts or status text of the link at `linkIndex` changed. `link` is a copy taken
  // at that moment, valid for the call only.
  virtual void SyncLinkUpdate(int linkIndex, const CSyncLink& link) = 0;
  // The worker is about to end; when this call has returned the sync-running flag is 0 again.
  virtual void SyncEnd() = 0;
};

// For runs without a window: one line per new status text of a link, and when a link's run has
// ended, its details (folders, state, and what was sent and received) in the texts of the
// details dialog. Control characters that a server text may carry are written as "?". `out`
// must outlive the object.
class ConsoleSyncObserver final : public SyncObserver {
 public:
  explicit ConsoleSyncObserver(std::ostream& out);

  void SyncBegin() override;
  void SyncLinkUpdate(int linkIndex, const CSyncLink& link) override;
  void SyncEnd() override;

  // Writes `text` as one line, like the progress lines (for the run's own error).
  void WriteMessage(const std::string& text) { WriteLine(text); }

  // Links whose run ended during the observed runs, and how many of them failed.
  int LinksRun() const { return mLinksRun; }
  int LinksFailed() const { return mLinksFailed; }

 private:
  void WriteProgress(const CSyncLink& link);
  void WriteDetails(const CSyncLink& link);
  void WriteLine(const std::string& text);

  std::ostream& mOut;
  // Per link index: the last state and status text seen.
  std::map<int, int> mLastState;
  std::map<int, std::string> mLastText;
  int mLinksRun = 0;
  int mLinksFailed = 0;
};
