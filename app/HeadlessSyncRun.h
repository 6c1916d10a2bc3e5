// The synchronization run of a silent start: one run of every link, without a window.
#pragma once

#include <iosfwd>

class CConf;
class Prompt;
struct SyncRunOutcome;

// Runs one sync of all links with the program's store and update services, reports each link's
// progress and what it sent and received on `progress`, waits for the end, and writes the run's
// error (a failed server check, a store that cannot be opened, no stored password) on `progress`
// too. Returns the process exit status: 0 when every link that ran succeeded,
// kSyncItemErrorsStatus when they all ran but items failed, kNeedsDecisionStatus when they all ran
// but a link waits for the user, kNoPasswordStatus when no password is stored (nothing was sent),
// kSyncFailedStatus otherwise.
// `prompt` answers what the run would ask; the silent flag of `conf` keeps it from asking.
class HeadlessSyncRun {
 public:
  static constexpr int kSyncFailedStatus = 4;
  // Every link ran, but some items did not synchronize.
  static constexpr int kSyncItemErrorsStatus = 5;
  // Every link ran, but one ended "Needs a decision": a slow sync it did not run, or deletions it
  // held (too many to carry out without the user). Nothing of them changed on either side.
  static constexpr int kNeedsDecisionStatus = 6;
  // No password is stored, and a silent run cannot ask for one: the server was not contacted.
  static constexpr int kNoPasswordStatus = 7;

  // The exit status of a program whose last run came to `outcome` (the values above).
  static int ExitStatusOf(const SyncRunOutcome& outcome);

  HeadlessSyncRun(CConf& conf, Prompt& prompt, std::ostream& progress);
  int Run();

 private:
  CConf& mConf;
  Prompt& mPrompt;
  std::ostream& mProgress;
};
