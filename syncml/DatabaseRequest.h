// The exchange that asks the server which databases the user's account offers, for the
// configuration wizard.
#pragma once

#include <memory>

class CConf;
class Prompt;
class SyncTransport;

enum class DatabaseRequestResult {
  Succeeded,       // the links were rebuilt from the server's databases
  UpdateAccepted,  // the server wants a newer client and the user agreed: start the update
  UpdateDeclined,  // the server wants a newer client and the user declined
  Failed,          // the exchange failed; the message was shown
};

// Opens the log, gives the configuration its client store identity when it has none yet
// (CConf::EnsureClientStoreId), sends one message holding the Get of the server's device
// information, and
// rebuilds `conf`'s links from the answer, keeping the settings of the links that survive (the
// configuration is not saved here). Runs on the caller's thread and blocks until the server
// answered. When the server does not support this client version, asks the update question
// through `prompt`; on OK it sets `app_state` to 1 and returns UpdateAccepted, and the caller
// starts the update and ends the wizard. Any other failure is shown through `prompt`. `transport`
// null: HTTP(S) configured from the settings.
DatabaseRequestResult RequestServerDatabases(CConf& conf, Prompt& prompt,
                                             std::unique_ptr<SyncTransport> transport = nullptr);
