// One headless sync run.
#include "app/HeadlessSyncRun.h"

#include "app/ProgramServices.h"
#include "engine/CSyncRun.h"
#include "stores/RunStoreFactory.h"
#include "engine/SyncObserver.h"

HeadlessSyncRun::HeadlessSyncRun(CConf& conf, Prompt& prompt, std::ostream& progress)
    : mConf(conf), mPrompt(prompt), mProgress(progress) {}

int HeadlessSyncRun::Run() {
  ConsoleSyncObserver observer(mProgress);
  RunStoreFactory stores(FolderStoreFromEnvironment());
  ProgramUpdateStarter updates;
  CSyncRun run(mConf, CSyncRun::Services{observer, mPrompt, stores, updates});
  run.SetSelectedLink(-1);
  run.BeginSyncRun();
  run.WaitForEnd();
  const SyncRunOutcome outcome = run.LastOutcome();
  if (!outcome.error.empty()) observer.WriteMessage(outcome.error);
  return ExitStatusOf(outcome);
}

int HeadlessSyncRun::ExitStatusOf(const SyncRunOutcome& outcome) {
  if (outcome.passwordMissing) return kNoPasswordStatus;
  if (!outcome.Completed()) return kSyncFailedStatus;
  if (outcome.linksNeedingDecision > 0) return kNeedsDecisionStatus;
  return outcome.linksWithItemErrors > 0 ? kSyncItemErrorsStatus : 0;
}
