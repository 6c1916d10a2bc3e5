// The choice of a run's local store.
#include "stores/RunStoreFactory.h"

#include <utility>

#include "config/CConf.h"
#include "config/CLog.h"
#include "platform/outlookmodel/OutlookModel.h"
#include "stores/folder/FolderStore.h"
#include "stores/outlook/COutlook.h"
#include "stores/vdir/VdirStore.h"
#include "stores/wab/OutlookExpress.h"

RunStoreFactory::RunStoreFactory(std::string folderStorePath) : mFolderStorePath(std::move(folderStorePath)) {}

// The Outlook store throws with the automation error's text when the application is missing; the
// Windows Contacts store reports a book it cannot open through mInitError, which stops the run
// with its message before any link.
std::unique_ptr<CDatabaseObject> RunStoreFactory::CreateStore(CConf& conf, Prompt& prompt) {
  if (!mFolderStorePath.empty()) {
    LogDebug("SyncThreadProc", "Folder store: " + mFolderStorePath);
    return std::make_unique<FolderStore>(conf, mFolderStorePath);
  }
  if (conf.SyncWithOutlook() == LOCAL_APP_VDIR) {
    LogDebug("SyncThreadProc", "vdir store: " + conf.VdirPath());
    return std::make_unique<VdirStore>(conf, conf.VdirPath());
  }
  if (conf.SyncWithOutlook() == LOCAL_APP_OUTLOOK) {
    return std::make_unique<COutlook>(conf, prompt, outlookmodel::MakeDefaultObjectFactory());
  }
  return std::make_unique<OutlookExpress>(conf, prompt);
}
