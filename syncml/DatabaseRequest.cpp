// One short session that fetches the server's device information and rebuilds the links.
#include "syncml/DatabaseRequest.h"

#include <utility>

#include "common/CXException.h"
#include "common/Prompt.h"
#include "common/StringTable.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "syncml/CSyncML.h"
#include "syncml/DeviceInfo.h"
#include "syncml/SyncTransport.h"

namespace {

DatabaseRequestResult AskForUpdate(CConf& conf, Prompt& prompt) {
  if (prompt.Message(LoadString(IDS_UPDATE_AVAILABLE), PromptButtons::OkCancel, PromptKind::Question) != PromptAnswer::Ok) {
    return DatabaseRequestResult::UpdateDeclined;
  }
  conf.SetAppState(1);
  return DatabaseRequestResult::UpdateAccepted;
}

// Rebuilds the links from the server's databases, keeping the settings of those that stay.
void ApplyServerDatabases(CConf& conf, const SmlDevInf& devInf) {
  const CSyncLinkArray links = LinksFromDevInf(conf.Links(), devInf);
  conf.Links().Clear();
  for (const CSyncLink& link : links) conf.Links().Add(link);
}

}  // namespace

DatabaseRequestResult RequestServerDatabases(CConf& conf, Prompt& prompt, std::unique_ptr<SyncTransport> transport) {
  CLog::Instance().Open(conf.LogPath(), conf.LogLevel());
  try {
    // The server meets the device under the identity its runs will use.
    conf.EnsureClientStoreId();
    SessionServices services;
    services.transport = transport ? std::move(transport) : MakeHttpSyncTransport(conf);
    services.prompt = &prompt;
    CSyncML session(SessionSettings::FromConf(conf), std::move(services), 0);
    session.StartMessage(false);
    session.RequestDatabases();
    session.Finalize();
    session.SendRequest();
    session.Parse();
    switch (session.GetErrorState()) {
      case SYNC_ERROR_NONE:
        // A server that refused the Get or answered without its databases leaves the links as
        // they are; that is no success.
        if (!session.ServerDevInf()) throw CSyncmlException(IDS_SYNCML_ERROR);
        ApplyServerDatabases(conf, *session.ServerDevInf());
        session.EndShortSession();
        return DatabaseRequestResult::Succeeded;
      case SYNC_ERROR_VERSION: return AskForUpdate(conf, prompt);
      default: session.ThrowErrorState();
    }
  } catch (const CXException& error) {
    prompt.Message(error.Message(), PromptButtons::Ok, PromptKind::Error);
  }
  return DatabaseRequestResult::Failed;
}
