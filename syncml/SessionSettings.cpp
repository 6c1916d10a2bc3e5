// The session's settings read from the configuration.
#include "syncml/SessionSettings.h"

#include "config/CConf.h"
#include "syncml/CSyncML.h"
#include "syncml/DeviceInfo.h"

SessionSettings SessionSettings::FromConf(const CConf& conf) {
  SessionSettings settings;
  settings.serverUrl = conf.Url();
  settings.postUrl = conf.SyncUrl();
  settings.login = conf.Login();
  settings.password = conf.Password();
  settings.clientStoreId = conf.ClientStoreId();
  settings.productVersion = conf.ProductVersion();
  settings.maxMsgSize = conf.MaxMsgSize();
  const std::string deviceId = conf.ClientStoreId().empty() ? std::string(CSyncML::kClientName) : conf.ClientStoreId();
  settings.clientDevInf = ClientDevInf(conf, deviceId);
  settings.workspaceSize = CSyncML::kWorkspaceSize;
  return settings;
}
