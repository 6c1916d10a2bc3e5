// The choice of a run's local store.
#include "stores/RunStoreFactory.h"

#include <utility>

#include "common/CXException.h"
#include "common/Format.h"
#include "common/StringIds.h"
#include "common/StringTable.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "stores/folder/FolderStore.h"
#include "stores/wab/OutlookExpress.h"

namespace {

// The Outlook store is not part of this version yet.
[[noreturn]] void ApplicationStoreMissing(const CConf& conf, const char* store) {
  LogError("SyncThreadProc", std::string(store) + " store not available");
  throw CMainException(FormatText(LoadString(IDS_LOCAL_STORE_NOT_AVAILABLE), {conf.ProductName()}));
}

}  // namespace

RunStoreFactory::RunStoreFactory(std::string folderStorePath) : mFolderStorePath(std::move(folderStorePath)) {}

// The Windows Contacts store reports a book it cannot open through mInitError, which stops the
// run with its message before any link.
std::unique_ptr<CDatabaseObject> RunStoreFactory::CreateStore(CConf& conf, Prompt& prompt) {
  if (!mFolderStorePath.empty()) {
    LogDebug("SyncThreadProc", "Folder store: " + mFolderStorePath);
    return std::make_unique<FolderStore>(conf, mFolderStorePath);
  }
  if (conf.SyncWithOutlook() == LOCAL_APP_OUTLOOK) ApplicationStoreMissing(conf, "Outlook");
  return std::make_unique<OutlookExpress>(conf, prompt);
}
