// Classifying a server's data stores into sync links, and describing the client's own stores.
#include "syncml/DeviceInfo.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <vector>

#include "common/AsciiText.h"
#include "config/CConf.h"
#include "pim/VCalMerge.h"
#include "pim/VCardMerge.h"

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

// "1.0" for a calendar database that receives vCalendar 1.0 only; "" when it takes iCalendar 2.0
// (text/calendar), or says nothing of calendars.
std::string CalendarVersionOf(const SmlDataStore& store) {
  bool calendar = false;
  const auto take = [&calendar](const std::optional<SmlContentTypeRef>& type) {
    if (!type || !type->ctType) return false;
    calendar = calendar || IsCalendarType(*type->ctType);
    return *type->ctType == "text/calendar";
  };
  bool icalendar = take(store.rxPref);
  for (const SmlContentTypeRef& type : store.rx) icalendar = take(type) || icalendar;
  return calendar && !icalendar ? "1.0" : "";
}

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
  for (const std::string& text : syncCap->syncTypes) {
    std::string_view value = text;
    value.remove_prefix(std::min(value.size(), value.find_first_not_of(" \t\r\n")));
    value.remove_suffix(value.size() - std::min(value.size(), value.find_last_not_of(" \t\r\n") + 1));
    int type = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), type);
    if (error == std::errc() && end == value.data() + value.size() && type >= 1 && type <= 4) return false;
  }
  return true;
}

SmlContentTypeRef TypeRef(const char* type, const char* version) { return SmlContentTypeRef{type, version}; }

// A store that keeps whole items (`wholeItems`) receives and sends contacts as the vCard 3.0 it
// keeps (a server that knows the type sends every property in it); it still reads vCard 2.1, and
// sends 3.0 only.
SmlDataStore ClientDataStore(const std::string& sourceRef, const std::string& displayName, int dataType, bool wholeItems) {
  SmlDataStore store;
  store.sourceRef = sourceRef;
  if (!displayName.empty()) store.displayName = displayName;
  if (dataType == DATA_TYPE_CONTACTS && wholeItems) {
    store.rxPref = TypeRef("text/vcard", "3.0");
    store.rx.push_back(TypeRef("text/x-vcard", "2.1"));
    store.txPref = TypeRef("text/vcard", "3.0");
    store.rx.push_back(TypeRef("text/zep-group", "1.0"));
    store.tx.push_back(TypeRef("text/zep-group", "1.0"));
  } else if (dataType == DATA_TYPE_CONTACTS) {
    store.rxPref = TypeRef("text/x-vcard", "2.1");
    store.txPref = TypeRef("text/x-vcard", "2.1");
    store.rx.push_back(TypeRef("text/zep-group", "1.0"));
    store.tx.push_back(TypeRef("text/zep-group", "1.0"));
  } else {
    // The calendar writer writes the 2.0 form (VALARM, VALUE=DATE, RECURRENCE-ID) under the item
    // type text/x-vcalendar (whole items under text/calendar); the readers take both forms. A server that parsed what it receives
    // as 1.0 text, or sent 1.0 text, loses alarms, all-day dates and changed occurrences.
    store.rxPref = TypeRef("text/calendar", "2.0");
    store.rx.push_back(TypeRef("text/x-vcalendar", "1.0"));
    store.txPref = TypeRef("text/calendar", "2.0");
    store.tx.push_back(TypeRef("text/x-vcalendar", "1.0"));
  }
  // Two-way, slow, one-way and refresh in both directions: every Alert code the client sends.
  store.syncCap = SmlSyncCap{{"1", "2", "3", "4", "5", "6"}};
  return store;
}

// The properties the client holds of each content type: those of its records (what a local
// application shows), the lines that frame an item, and UID (the item's identity, which the client
// keeps and which joins a changed occurrence sent on its own to its series: a server that sends a
// client only what its CTCap lists would otherwise leave them apart). A server that merges what a
// client sends by its CTCap keeps every other property as it had it (the client sends those back
// as they came in any case). Without a CTCap a server may strip alarms, changed occurrences, task
// states and dates.
SmlCtCap ContentTypeCapabilities(const char* type, const char* version, const std::vector<std::vector<std::string_view>>& lists) {
  SmlCtCap cap;
  cap.ctType = type;
  cap.verCt = version;
  std::vector<std::string_view> names = {"BEGIN", "END", "VERSION", "UID"};
  for (const auto& list : lists) {
    for (const std::string_view name : list) {
      if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
  }
  for (const std::string_view name : names) {
    SmlProperty property;
    property.propName = std::string(name);
    cap.properties.push_back(std::move(property));
  }
  return cap;
}

// Item files keep every property, so a client syncing them takes whatever the server holds.
const std::vector<std::string_view> kWholeContactProperties = {
    "N", "FN", "NICKNAME", "PHOTO", "BDAY", "ADR", "LABEL", "TEL", "EMAIL", "MAILER", "IMPP", "TITLE", "ROLE", "LOGO", "AGENT",
    "ORG", "CATEGORIES", "NOTE", "PRODID", "REV", "SORT-STRING", "SOUND", "URL", "CLASS", "KEY", "GEO", "TZ", "KIND",
    "MEMBER", "X-ADDRESSBOOKSERVER-KIND", "X-ADDRESSBOOKSERVER-MEMBER", "X-EVOLUTION-FILE-AS", "X-ANNIVERSARY",
    "X-ASSISTANT", "X-MANAGER", "X-SPOUSE", "X-SKYPE", "X-AIM", "X-JABBER", "X-ICQ", "X-MSN", "X-YAHOO", "X-GADUGADU",
    "X-GROUPWISE", "X-SIP", "X-*"};
const std::vector<std::string_view> kWholeCalendarProperties = {
    "TZ", "DAYLIGHT", "TZID", "TZOFFSETFROM", "TZOFFSETTO", "TZNAME", "SUMMARY", "DESCRIPTION", "LOCATION", "DTSTART",
    "DTEND", "DURATION", "DUE", "COMPLETED", "CATEGORIES", "CLASS", "PRIORITY", "STATUS", "PERCENT-COMPLETE", "RRULE",
    "RDATE", "EXDATE", "RECURRENCE-ID", "AALARM", "DALARM", "TRIGGER", "ACTION", "REPEAT", "ATTACH", "ATTENDEE",
    "ORGANIZER", "TRANSP", "RELATED-TO", "URL", "GEO", "DTSTAMP", "CREATED", "DCREATED", "LAST-MODIFIED", "SEQUENCE",
    "COMMENT", "CONTACT", "RESOURCES", "X-*"};

std::vector<SmlCtCap> ClientCapabilities(bool wholeItems) {
  if (wholeItems) {
    return {
        ContentTypeCapabilities("text/vcard", "3.0", {kWholeContactProperties}),
        ContentTypeCapabilities("text/x-vcard", "2.1", {kWholeContactProperties}),
        ContentTypeCapabilities("text/calendar", "2.0", {kWholeCalendarProperties}),
        ContentTypeCapabilities("text/x-vcalendar", "1.0", {kWholeCalendarProperties}),
    };
  }
  // An event's alarm is held as its lead time: TRIGGER in iCalendar 2.0, AALARM and DALARM in 1.0.
  const std::vector<std::string_view> trigger = {"TRIGGER"};
  return {
      ContentTypeCapabilities("text/x-vcard", "2.1", {HeldContactProperties()}),
      ContentTypeCapabilities("text/x-vcalendar", "1.0", {HeldEventProperties(), HeldTaskProperties()}),
      ContentTypeCapabilities("text/calendar", "2.0", {HeldEventProperties(), HeldTaskProperties(), trigger}),
  };
}

// The configured link that `fresh` (a new link for a listed database) takes over, among those no
// other listed database took: one that targets the same URI, or else (`sameUriOnly` false) one
// with the same server name and data type. So two databases that both map to one configured link
// ("./events" and "calendar") make two links, the second a new one.
const CSyncLink* SurvivingLink(const CSyncLinkArray& existing, const CSyncLink& fresh, std::vector<bool>& taken,
                               bool sameUriOnly) {
  std::size_t index = 0;
  for (const CSyncLink& link : existing) {
    const bool free = !taken[index];
    const bool matches = sameUriOnly ? link.ServerUri() == fresh.ServerUri()
                                     : link.mServerName == fresh.mServerName && link.mDataType == fresh.mDataType;
    if (free && matches) {
      taken[index] = true;
      return &link;
    }
    ++index;
  }
  return nullptr;
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
  // A database under a name of its own ("./work-contacts") is offered by that name, its kind
  // told by the type it takes: calendar data is tasks when its name says so.
  const std::string& type = *store.rxPref->ctType;
  std::string name = uri.substr(2);
  if (name.empty() || !(IsContactType(type) || IsCalendarType(type))) return std::nullopt;
  const std::string lowered = AsciiLowercase(name);
  const bool tasks = lowered.find("task") != std::string::npos || lowered.find("todo") != std::string::npos;
  const int dataType = IsContactType(type) ? DATA_TYPE_CONTACTS : tasks ? DATA_TYPE_TASKS : DATA_TYPE_EVENTS;
  return ServerDatabase{dataType, std::move(name), IsReadOnly(store.syncCap)};
}

CSyncLinkArray LinksFromDevInf(const CSyncLinkArray& existing, const SmlDevInf& devInf) {
  std::vector<CSyncLink> fresh;
  std::vector<const SmlDataStore*> stores;
  for (const SmlDataStore& store : devInf.dataStores) {
    const std::optional<ServerDatabase> database = ClassifyDataStore(store);
    if (!database) continue;
    CSyncLink link;
    link.mServerName = database->serverName;
    link.mDataType = database->dataType;
    link.SetServerUri(*store.sourceRef);
    link.mReadOnly = database->readOnly ? 1 : 0;
    if (database->dataType != DATA_TYPE_CONTACTS) link.mCalendarVersion = CalendarVersionOf(store);
    fresh.push_back(link);
    stores.push_back(&store);
  }
  // Links already targeting a listed URI are taken over first, then those matching by name.
  std::vector<bool> taken(existing.Size(), false);
  std::vector<const CSyncLink*> survivors(fresh.size(), nullptr);
  for (const bool sameUriOnly : {true, false}) {
    for (std::size_t i = 0; i < fresh.size(); ++i) {
      if (survivors[i] == nullptr) survivors[i] = SurvivingLink(existing, fresh[i], taken, sameUriOnly);
    }
  }
  CSyncLinkArray links;
  for (std::size_t i = 0; i < fresh.size(); ++i) {
    CSyncLink link = fresh[i];
    if (survivors[i] != nullptr) {
      link = *survivors[i];
      link.SetServerUri(*stores[i]->sourceRef);
      link.mReadOnly = fresh[i].mReadOnly;
      link.mCalendarVersion = fresh[i].mCalendarVersion;
    }
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
  // The vdir store keeps items whole (VdirStore::KeepsWholeItems).
  const bool wholeItems = conf.SyncWithOutlook() == LOCAL_APP_VDIR;
  std::vector<std::string> seen;
  for (const CSyncLink& link : conf.Links()) {
    if (link.mMode == SYNC_MODE_OFF || link.mLocalPath.empty()) continue;
    if (std::find(seen.begin(), seen.end(), link.mLocalPath) != seen.end()) continue;
    seen.push_back(link.mLocalPath);
    devInf.dataStores.push_back(ClientDataStore(link.mLocalPath, link.mLocalName, link.mDataType, wholeItems));
  }
  if (devInf.dataStores.empty()) {
    devInf.dataStores.push_back(ClientDataStore("./contacts", "", DATA_TYPE_CONTACTS, wholeItems));
    devInf.dataStores.push_back(ClientDataStore("./events", "", DATA_TYPE_EVENTS, wholeItems));
    devInf.dataStores.push_back(ClientDataStore("./tasks", "", DATA_TYPE_TASKS, wholeItems));
  }
  devInf.ctCaps = ClientCapabilities(wholeItems);
  return devInf;
}
