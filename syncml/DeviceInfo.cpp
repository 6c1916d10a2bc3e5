// Classifying a server's data stores into sync links, and describing the client's own stores.
#include "syncml/DeviceInfo.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <vector>

#include "config/CConf.h"

namespace {

struct DatabaseRoot {
  std::string_view prefix;
  int dataType;
};

// The type roots a server database may begin with; the first match wins.
constexpr DatabaseRoot kRoots[] = {
    {"./contacts", DATA_TYPE_CONTACTS},
    {"./events", DATA_TYPE_EVENTS},
    {"./calendar", DATA_TYPE_EVENTS},
    {"./tasks", DATA_TYPE_TASKS},
    {"./todo", DATA_TYPE_TASKS},
};

bool IsContactType(std::string_view type) {
  return type == "text/x-vcard" || type == "text/vcard" || type == "text/directory";
}

bool IsCalendarType(std::string_view type) { return type == "text/x-vcalendar" || type == "text/calendar"; }

bool AcceptsType(int dataType, std::string_view type) {
  switch (dataType) {
    case DATA_TYPE_CONTACTS: return IsContactType(type);
    case DATA_TYPE_EVENTS: return IsCalendarType(type);
    default: return true;  // tasks: any type
  }
}

// A sync type 1 to 4 lets the client send changes: two-way, slow two-way, one-way and refresh
// from the client. A store listing none of them is read-only; one without SyncCap is not.
bool IsReadOnly(const std::optional<SmlSyncCap>& syncCap) {
  if (!syncCap) return false;
  for (const std::string& value : syncCap->syncTypes) {
    int type = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), type);
    if (error == std::errc() && end == value.data() + value.size() && type >= 1 && type <= 4) return false;
  }
  return true;
}

SmlContentTypeRef TypeRef(const char* type, const char* version) { return SmlContentTypeRef{type, version}; }

SmlDataStore ClientDataStore(const std::string& sourceRef, const std::string& displayName, int dataType) {
  SmlDataStore store;
  store.sourceRef = sourceRef;
  if (!displayName.empty()) store.displayName = displayName;
  if (dataType == DATA_TYPE_CONTACTS) {
    store.rxPref = TypeRef("text/x-vcard", "2.1");
    store.txPref = TypeRef("text/x-vcard", "2.1");
    store.rx.push_back(TypeRef("text/zep-group", "1.0"));
    store.tx.push_back(TypeRef("text/zep-group", "1.0"));
  } else {
    store.rxPref = TypeRef("text/x-vcalendar", "1.0");
    store.txPref = TypeRef("text/x-vcalendar", "1.0");
  }
  // Two-way, slow, one-way and refresh in both directions: every Alert code the client sends.
  store.syncCap = SmlSyncCap{{"1", "2", "3", "4", "5", "6"}};
  return store;
}

// The configured link that `fresh` (a new link for a listed database) takes over: one with the
// same server name and data type, preferring one that already targets the same URI, so that the
// links of a server listing two databases with one name ("./events" and "calendar") each keep
// their own settings.
const CSyncLink* SurvivingLink(const CSyncLinkArray& existing, const CSyncLink& fresh) {
  const CSyncLink* sameName = nullptr;
  for (const CSyncLink& link : existing) {
    if (link.mServerName != fresh.mServerName || link.mDataType != fresh.mDataType) continue;
    if (link.ServerUri() == fresh.ServerUri()) return &link;
    if (sameName == nullptr) sameName = &link;
  }
  return sameName;
}

}  // namespace

std::optional<ServerDatabase> ClassifyDataStore(const SmlDataStore& store) {
  if (!store.sourceRef || !store.rxPref || !store.rxPref->ctType) return std::nullopt;
  std::string uri = *store.sourceRef;
  if (uri.compare(0, 2, "./") != 0) uri.insert(0, "./");
  for (const DatabaseRoot& root : kRoots) {
    if (uri.compare(0, root.prefix.size(), root.prefix) != 0) continue;
    if (!AcceptsType(root.dataType, *store.rxPref->ctType)) return std::nullopt;
    std::string name = uri.substr(root.prefix.size());
    if (!name.empty() && name.front() == '/') name.erase(0, 1);
    return ServerDatabase{root.dataType, std::move(name), IsReadOnly(store.syncCap)};
  }
  return std::nullopt;
}

CSyncLinkArray LinksFromDevInf(const CSyncLinkArray& existing, const SmlDevInf& devInf) {
  CSyncLinkArray links;
  for (const SmlDataStore& store : devInf.dataStores) {
    const std::optional<ServerDatabase> database = ClassifyDataStore(store);
    if (!database) continue;
    CSyncLink link;
    link.mServerName = database->serverName;
    link.mDataType = database->dataType;
    link.SetServerUri(*store.sourceRef);
    if (const CSyncLink* same = SurvivingLink(existing, link)) {
      link = *same;
      link.SetServerUri(*store.sourceRef);
    }
    link.mReadOnly = database->readOnly ? 1 : 0;
    links.Add(link);
  }
  return links;
}

SmlDevInf ClientDevInf(const CConf& conf, const std::string& deviceId) {
  SmlDevInf devInf;
  devInf.verDtd = "1.1";
  devInf.man = conf.CompanyName();
  devInf.mod = conf.ProductName();
  devInf.swV = conf.ProductVersion();
  devInf.devId = deviceId;
  devInf.devTyp = "workstation";
  devInf.utc = true;  // event times are written in UTC
  std::vector<std::string> seen;
  for (const CSyncLink& link : conf.Links()) {
    if (link.mMode == SYNC_MODE_OFF || link.mLocalPath.empty()) continue;
    if (std::find(seen.begin(), seen.end(), link.mLocalPath) != seen.end()) continue;
    seen.push_back(link.mLocalPath);
    devInf.dataStores.push_back(ClientDataStore(link.mLocalPath, link.mLocalName, link.mDataType));
  }
  if (devInf.dataStores.empty()) {
    devInf.dataStores.push_back(ClientDataStore("./contacts", "", DATA_TYPE_CONTACTS));
    devInf.dataStores.push_back(ClientDataStore("./events", "", DATA_TYPE_EVENTS));
    devInf.dataStores.push_back(ClientDataStore("./tasks", "", DATA_TYPE_TASKS));
  }
  return devInf;
}
