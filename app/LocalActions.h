// The preview, the restore of a saved state and the support report: the actions that work on this
// computer's files alone, from the command line ("/preview", "/restore", "/report") or the window.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>

class CConf;
class CSyncCommandLineInfo;
class Prompt;
class SyncStoreFactory;

// What an action came to: its text for the user, and whether it did what was asked.
struct ActionResult {
  bool succeeded = false;
  std::string text;
};

// Works on the configuration and a store made by `stores` for the action (destroyed before it
// returns); all three are not owned and must outlive the object. Used on one thread at a time,
// never while a sync run goes on (the window disables the entries; the command line runs in a
// process of its own, behind the instance check).
class LocalActions {
 public:
  // Exit statuses of the command-line actions.
  static constexpr int kDone = 0;
  static constexpr int kFailed = 1;
  static constexpr int kBadCommandLine = 2;

  LocalActions(CConf& conf, SyncStoreFactory& stores, Prompt& prompt) : mConf(conf), mStores(stores), mPrompt(prompt) {}

  // What the next run of every link it would synchronize (or of link `index` alone, 0-based)
  // would send, and what is known of the server's side; changes nothing.
  ActionResult Preview(int index = -1);
  // Puts the local items of link `index` (0-based) back to the state before the run `run`
  // counted back from the newest snapshot of the link (1: the last run that changed them).
  ActionResult Restore(std::size_t index, int run);
  // The time the snapshot `run` of link `index` was taken, as the user's locale writes it ("" when
  // there is none).
  std::string SnapshotTime(std::size_t index, int run) const;
  // Writes the support report to `path`.
  ActionResult Report(const std::string& path);

  // Carries out the action of `commandLine` (CSyncCommandLineInfo::Action), writing its text on
  // `out` (on `err` when it failed). Returns kDone, kFailed or kBadCommandLine (a link number that
  // names no link).
  int RunCommandLine(const CSyncCommandLineInfo& commandLine, std::ostream& out, std::ostream& err);

 private:
  CConf& mConf;
  SyncStoreFactory& mStores;
  Prompt& mPrompt;
};
