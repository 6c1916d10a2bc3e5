// One short session that fetches the server's device information and rebuilds the links.
#include "syncml/DatabaseRequest.h"

#include <utility>

#include "common/CXException.h"
#include "common/Prompt.h"
#include "common/StringTable.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "syncml/CSyncML.h"
#include "syncml/SyncTransport.h"

namespace {

DatabaseRequestResult AskForUpdate(CConf& conf, Prompt& prompt) {
  if (prompt.Message(LoadString(IDS_UPDATE_AVAILABLE), PromptButtons::OkCancel, PromptKind::Question) != PromptAnswer::Ok) {
    return DatabaseRequestResult::UpdateDeclined;
  }
  conf.SetAppState(1);
  return DatabaseRequestResult::UpdateAccepted;
}

}  // namespace

DatabaseRequestResult RequestServerDatabases(CConf& conf, Prompt& prompt, std::unique_ptr<SyncTransport> transport) {
  CLog::Instance().Open(conf.LogPath(), conf.LogLevel());
  try {
    CSyncML session(conf, nullptr, 0, SessionServices{std::move(transport), &prompt});
    session.StartMessage(false);
    session.RequestDatabases();
    session.Finalize();
    session.SendRequest();
    session.Parse();
    switch (session.GetErrorState()) {
      case SYNC_ERROR_NONE: return DatabaseRequestResult::Succeeded;
      case SYNC_ERROR_VERSION: return AskForUpdate(conf, prompt);
      default: session.ThrowErrorState();
    }
  } catch (const CXException& error) {
    prompt.Message(error.Message(), PromptButtons::Ok, PromptKind::Error);
  }
  return DatabaseRequestResult::Failed;
}
