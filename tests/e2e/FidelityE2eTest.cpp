// Fidelity end to end: the corpus of real producers' items uploaded by one client, downloaded by a
// fresh one, compared field by field, then a second run of both that sends nothing; once per
// server and per time zone of the clients.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <ostream>
#include <sstream>

#include "common/CXException.h"
#include "config/CLog.h"
#include "stores/folder/FolderStore.h"
#include "stores/vdir/VdirStore.h"
#include "tests/e2e/E2eSupport.h"
#include "pim/OleDate.h"
#include "tests/support/ItemFields.h"
#include "tests/support/SyncRunTestSupport.h"
#include "tests/support/SyncPeer.h"

namespace {

namespace fs = std::filesystem;

// The servers by kind, each started once for the test program (they run in UTC).
SyncPeer& Server(PeerKind kind) {
  static std::map<PeerKind, std::unique_ptr<SyncPeer>> servers;
  std::unique_ptr<SyncPeer>& server = servers[kind];
  if (!server) {
    server = SyncPeer::Make(kind);
    server->Start();
  }
  return *server;
}

class FolderStores final : public SyncStoreFactory {
 public:
  FolderStores(std::string root, bool vdir) : mRoot(std::move(root)), mVdir(vdir) {}
  std::unique_ptr<CDatabaseObject> CreateStore(CConf& conf, Prompt&) override {
    if (mVdir) return std::make_unique<VdirStore>(conf, mRoot);
    return std::make_unique<FolderStore>(conf, mRoot);
  }

 private:
  std::string mRoot;
  bool mVdir;
};

class NoUpdate final : public UpdateStarter {
 public:
  void StartUpdate(CConf&, const std::function<bool()>&) override { throw CUpdaterException(std::string("no update in tests")); }
};

// One client: its configuration, its folder store (or vdir collections) with the three links, its runs.
class FidelityClient {
 public:
  FidelityClient(SyncPeer& server, const std::string& name, bool vdir) : mStoreRoot(mDir.Path() + "items/"), mVdir(vdir) {
    const std::string identity = "fidelity-" + name + "-" + std::to_string(::getpid()) + "-" + std::to_string(++sClients);
    const PeerLogin login = server.AddPeer(identity);
    mConf = std::make_unique<CConf>(mDir.Path() + "config");
    mConf->Load(true);
    mConf->SetUrl(server.Url());
    mConf->SetLogin(login.user);
    mConf->SetPassword(login.password);
    mConf->SetRememberPass(true);
    mConf->SetLanguage("en");
    mConf->SetSyncWithOutlook(LOCAL_APP_OUTLOOK);
    mConf->SetClientStoreId(identity);
    mConf->SetValue(CConf::kSection, "OutlookID", identity);
    ConfigureThreeTwoWayLinks(*mConf);
    mConf->SetSilent(true);
    if (vdir) {
      mConf->SetSyncWithOutlook(LOCAL_APP_VDIR);
      mConf->SetValue(CConf::kSection, "VdirID", identity);
      mConf->SetVdirPath(mStoreRoot);
      for (std::size_t i = 0; i < mConf->Links().Size(); ++i) {
        CSyncLink& link = mConf->Links().At(i);
        link.mClientApp = LOCAL_APP_VDIR;
        link.mLocalPath = Collection(link.mDataType == DATA_TYPE_CONTACTS ? "contacts" : link.mDataType == DATA_TYPE_EVENTS ? "events" : "tasks");
        fs::create_directories(mStoreRoot + link.mLocalPath);
      }
    }
    mConf->Save();
    if (!vdir) {
      FolderStore made(*mConf, mStoreRoot);
      if (made.mInitError != 0) throw std::runtime_error("cannot make the folder store " + mStoreRoot);
    }
  }
  ~FidelityClient() { CLog::Instance().Close(); }

  SyncRunOutcome Sync() {
    std::ostringstream progress;
    ConsoleSyncObserver observer(progress);
    HeadlessPrompt prompt(progress);
    FolderStores stores(mStoreRoot, mVdir);
    NoUpdate updates;
    CSyncRun run(*mConf, CSyncRun::Services{observer, prompt, stores, updates, nullptr});
    run.BeginSyncRun();
    run.WaitForEnd();
    return run.LastOutcome();
  }

  std::string Folder(const std::string& name) const { return mStoreRoot + Collection(name) + "/"; }
  // The name of a corpus file in the store: a vdir calendar file ends in ".ics", whatever its version.
  std::string FileName(const std::string& file) const {
    return mVdir && file.ends_with(".vcs") ? file.substr(0, file.size() - 4) + ".ics" : file;
  }
  // The log lines of the latest run that name an item either side refused.
  std::string Refusals() const {
    std::istringstream log(ReadFileBytes(mConf->LogPath()));
    std::string lines;
    for (std::string line; std::getline(log, line);) {
      if (line.find("refused") != std::string::npos) lines += line + "\n";
    }
    return lines;
  }
  std::string LinkStates() const {
    std::string states;
    for (std::size_t i = 0; i < mConf->Links().Size(); ++i) states += mConf->Links().At(i).mStatusText + "; ";
    return states;
  }
  // Add, Replace and Delete commands the latest run sent.
  int ItemCommandsSent() const {
    const std::string log = ReadFileBytes(mConf->LogPath());
    int count = 0;
    for (const char* operation : {"CSyncML::Add\tDebug\tItem Id", "CSyncML::Replace\tDebug\tItem Id", "\tCSyncML::Delete\tDebug\tBegin"}) {
      for (size_t at = log.find(operation); at != std::string::npos; at = log.find(operation, at + 1)) ++count;
    }
    return count;
  }
  // Items of the latest run that either side refused, over all links.
  int ItemErrors() const {
    int count = 0;
    for (std::size_t i = 0; i < mConf->Links().Size(); ++i) count += mConf->Links().At(i).mItemErrors;
    return count;
  }
  // Server changes the latest run applied, over all links.
  int ServerChangesApplied() const {
    int count = 0;
    for (std::size_t i = 0; i < mConf->Links().Size(); ++i) {
      const ChangeCounts& counts = mConf->Links().At(i).mServerCounts;
      count += counts.added + counts.updated + counts.deleted;
    }
    return count;
  }

 private:
  std::string Collection(const std::string& name) const { return mVdir && name == "events" ? "calendar" : name; }

  static inline int sClients = 0;
  TempDir mDir;
  std::string mStoreRoot;
  bool mVdir;
  std::unique_ptr<CConf> mConf;
};

// How a defined difference may show.
enum class Allowed {
  Any,            // any change of the field's values
  Added,          // the copy has values where the original had none (a default, an empty line)
  Dropped,        // the copy lacks values of the original (an empty line may stand for them)
  IgnoringTypes,  // the same values once type words and empty values are left aside
  CnAndPartstat,  // the same once parameters other than CN and PARTSTAT are left aside
  AddressOnly,    // the same once every parameter is left aside
  WithinAnHour,   // as many values, each instant moved by an hour at most
  WithoutPref,    // the same once the type word PREF is left aside
};

// A difference the text itself defines, or the server makes, with its reason. An empty server or
// item matches every one; a component matches by its beginning (so "VEVENT" covers changed
// occurrences); a field ending in "-" matches every field it begins.
struct DefinedDifference {
  const char* server;
  const char* item;
  const char* component;
  const char* field;
  Allowed allowed;
  const char* reason;
  const char* only = nullptr;  // when set, only an item whose value this is
};

constexpr DefinedDifference kDefinedDifferences[] = {
    // Every item
    {"", "", "", "UID", Allowed::Any, "the store's own identifier is the item's UID"},
    {"", "", "", "DTSTAMP", Allowed::Dropped, "no record key holds it"},
    {"", "", "", "CREATED", Allowed::Dropped, "no record key holds it"},
    {"", "", "", "LAST-MODIFIED", Allowed::Dropped, "no record key holds it; the change stamp is the store's"},
    {"", "", "", "SEQUENCE", Allowed::Dropped, "no record key holds it"},
    {"", "", "V", "X-", Allowed::Dropped, "extensions have no record key"},
    // Events and tasks
    {"", "", "V", "TRANSP", Allowed::Dropped, "no record key holds it"},
    {"", "", "VEVENT", "STATUS", Allowed::Dropped, "an event record has no status key"},
    {"", "", "V", "PERCENT-COMPLETE", Allowed::Added, "the writer gives the line to every item (0 for a task without one)"},
    {"", "", "V", "PRIORITY", Allowed::Dropped, "only 1, 2 and 3 are priorities of the record; the line is written empty without one"},
    {"", "", "V", "CLASS", Allowed::Added, "the writer gives the line to every item, empty without a class"},
    {"", "", "VTODO", "CLASS", Allowed::Dropped, "a task record has no class key"},
    {"", "", "VEVENT", "CATEGORIES", Allowed::Added, "an event without categories gets \"Appointment\""},
    {"", "", "V", "DESCRIPTION", Allowed::Added, "the writer gives the line to every item, empty without a text"},
    {"", "", "V", "LOCATION", Allowed::Added, "the writer gives the line to every item, empty without a place"},
    {"", "", "VTODO", "LOCATION", Allowed::Dropped, "a task record has no location key"},
    {"", "", "VEVENT", "ORGANIZER", Allowed::AddressOnly, "the record keeps the organizer's address only"},
    {"", "", "VEVENT", "ATTENDEE", Allowed::CnAndPartstat, "the record keeps an attendee's address, CN and PARTSTAT only"},
    {"", "delegated-attendees.ics", "VEVENT", "ATTENDEE", Allowed::Any,
     "a status other than ACCEPTED, DECLINED and TENTATIVE is NEEDS-ACTION in the record"},
    {"", "", "VALARM", "", Allowed::Any, "an alarm is a lead time of the record: it is written with ACTION:EMAIL alone"},
    {"", "thunderbird-daily-count.ics", "VEVENT", "ALARM", Allowed::Any,
     "an alarm after the start (35 minutes before the end of a 30-minute event) is a reminder at the start"},
    {"", "", "VTODO", "COMPLETED", Allowed::Dropped, "no record key holds it"},
    {"", "", "V", "CLASS", Allowed::Dropped, "PUBLIC is the class of an item without CLASS", "PUBLIC"},
    {"", "", "VTODO", "STATUS", Allowed::Dropped, "a task without STATUS needs action", "NEEDS-ACTION"},
    {"", "notes-rdate-zone.ics", "VEVENT", "ZONE", Allowed::Any,
     "a zone given by dates only, under a name the zone database does not know, is sent as UTC instants"},
    {"", "", "VTODO", "DTSTART", Allowed::Any, "task dates are dates of the store: the local date of a time, without it"},
    {"", "", "VTODO", "DUE", Allowed::Any, "task dates are dates of the store: the local date of a time, without it"},
    // Contacts
    {"", "", "VCARD", "BDAY", Allowed::Dropped, "no record key holds it"},
    {"", "", "VCARD", "PHOTO", Allowed::Dropped, "no record key holds it"},
    {"", "", "VCARD", "CATEGORIES", Allowed::Dropped, "no record key holds it"},
    {"", "", "VCARD", "REV", Allowed::Dropped, "no record key holds it"},
    {"", "", "VCARD", "PRODID", Allowed::Dropped, "no record key holds it"},
    // The client's CTCap lists only what its records hold, so the server sends nothing else to a
    // client that downloads the item (and keeps it for the client's changes: KeptItemsE2eTest).
    {"", "", "VCARD", "IMPP", Allowed::Dropped, "no record key holds it, so the client does not ask for it"},
    {"", "", "VCARD", "ROLE", Allowed::Dropped, "no record key holds it, so the client does not ask for it"},
    {"", "rich-30.vcf", "VCARD", "ADR", Allowed::Dropped, "a record holds a home and a work address, not the third (OTHER) one"},
    {"", "", "VCARD", "N", Allowed::Any, "a record holds four parts of a name, not the suffix", "Okonkwo-Brandt;Adaeze;Chiamaka;Dr.;PhD"},
    {"", "", "VEVENT", "URL", Allowed::Dropped, "an event record holds no web page, so the client does not ask for it"},
    {"", "", "VTODO", "URL", Allowed::Dropped, "a task record holds no web page, so the client does not ask for it"},
    {"", "", "VTODO", "RELATED-TO", Allowed::Dropped, "a task record holds no relation, so the client does not ask for it"},
    {"", "", "VCARD", "UID", Allowed::Dropped, "a contact's UID is not kept; the store's identifier names it"},
    {"", "", "VCARD", "NICKNAME", Allowed::Added, "the card gives the display name as nickname when there is none"},
    {"", "", "VCARD", "ORG", Allowed::Added, "the card always gives ORG"},
    {"", "", "VCARD", "TITLE", Allowed::Added, "the card always gives TITLE"},
    {"", "", "VCARD", "N", Allowed::Added, "the card always gives N"},
    {"", "", "VCARD", "ADR", Allowed::IgnoringTypes, "the card gives a work and a home address, each typed by one word"},
    {"", "", "VCARD", "TEL", Allowed::IgnoringTypes, "a number's type is that of the field it went into"},
    {"", "", "VCARD", "EMAIL", Allowed::IgnoringTypes, "an address is WORK or HOME; the first (or the store's own) is preferred"},
    {"", "", "VCARD", "URL", Allowed::IgnoringTypes, "a web page is WORK or HOME"},
    // The text gives timed starts in UTC, so a series is kept at the UTC time of its first start
    // (its exclusions, changed occurrences and end move with it).
    {"", "", "VEVENT", "OCCURRENCE", Allowed::WithinAnHour,
     "a series of a zone with daylight time keeps the UTC time of its first start: occurrences on the other side of a "
     "change move by the change"},
    // What the local server does
    {"SyncEvolution", "", "V", "DESCRIPTION", Allowed::Any, "the server keeps texts without their trailing line break"},
    {"SyncEvolution", "", "V", "ZONE", Allowed::Any,
     "the server names a zone by its own database, or writes a database zone's rules under its own name; the "
     "occurrences, compared as instants, are the same"},
    {"SyncEvolution", "", "VCARD", "NOTE", Allowed::Added, "the server sends properties it holds empty"},
};

// What SyncEvolution's server makes of a whole item, as the vdir store sends it: it keeps an item
// as the fields of its own model. These show only where the client keeps items whole; elsewhere
// the records hold less than the server does.
constexpr DefinedDifference kWholeItemRewrites[] = {
    {"SyncEvolution", "", "VCARD", "UID", Allowed::Any, "the server keeps no UID of a card (the store gives one)"},
    {"SyncEvolution", "", "VCARD", "PRODID", Allowed::Any, "the server writes its own"},
    {"SyncEvolution", "", "VCARD", "REV", Allowed::Added, "the server holds every field of its card, empty when unused"},
    {"SyncEvolution", "", "VCARD", "GEO", Allowed::Added, "the server holds every field of its card, empty when unused"},
    {"SyncEvolution", "", "VCARD", "PHOTO", Allowed::Added, "the server holds every field of its card, empty when unused"},
    {"SyncEvolution", "", "VCARD", "BDAY", Allowed::Added, "the server holds every field of its card, empty when unused"},
    {"SyncEvolution", "", "VCARD", "NICKNAME", Allowed::Added, "the server holds every field of its card, empty when unused"},
    {"SyncEvolution", "", "VCARD", "ROLE", Allowed::Added, "the server holds every field of its card, empty when unused"},
    {"SyncEvolution", "", "VCARD", "TITLE", Allowed::Added, "the server holds every field of its card, empty when unused"},
    {"SyncEvolution", "", "VCARD", "URL", Allowed::Added, "the server holds every field of its card, empty when unused"},
    {"SyncEvolution", "", "VCARD", "ORG", Allowed::Added, "the server holds every field of its card, empty when unused"},
    {"SyncEvolution", "", "VCARD", "ADR", Allowed::Added, "the server holds every field of its card, empty when unused"},
    {"SyncEvolution", "", "VCARD", "EMAIL", Allowed::Added, "the server holds every field of its card, empty when unused"},
    {"SyncEvolution", "", "VCARD", "X-EVOLUTION-", Allowed::Added, "the server adds its own names of the extensions it knows"},
    {"SyncEvolution", "", "VCARD", "EMAIL", Allowed::WithoutPref, "the server keeps no preferred mark"},
    {"SyncEvolution", "", "VCARD", "ADR", Allowed::WithoutPref, "the server keeps no preferred mark"},
    {"SyncEvolution", "", "V", "DTSTAMP", Allowed::Any, "the server stamps an item when it sends it"},
    {"SyncEvolution", "", "V", "LAST-MODIFIED", Allowed::Added, "the server stamps an item it stores without one"},
    {"SyncEvolution", "", "V", "X-", Allowed::Dropped, "the server keeps only the extensions it knows"},
    {"SyncEvolution", "", "VALARM", "UID", Allowed::Dropped, "the server keeps an alarm's time, action and text"},
    {"SyncEvolution", "", "VALARM", "ATTACH", Allowed::Dropped, "the server keeps an alarm's time, action and text"},
    {"SyncEvolution", "", "VALARM", "DURATION", Allowed::Dropped, "the server keeps an alarm's time, action and text"},
    {"SyncEvolution", "", "VEVENT", "URL", Allowed::Dropped, "the server keeps no web page of an event"},
    {"SyncEvolution", "", "VEVENT", "ATTENDEE", Allowed::CnAndPartstat, "the server keeps an attendee's address, CN and PARTSTAT"},
    {"SyncEvolution", "delegated-attendees.ics", "VEVENT", "ATTENDEE", Allowed::Any,
     "the server keeps no delegation: it gives a delegating attendee the delegate's address"},
    {"SyncEvolution", "", "VTODO", "RELATED-TO", Allowed::Any, "the server writes the relation's type (PARENT)"},
};

// `value` without its leading "[...] " parameters, or with only the parameters `kept`.
std::string WithParameters(const std::string& value, std::initializer_list<std::string_view> kept) {
  if (value.empty() || value[0] != '[') return value;
  const size_t close = value.find("] ");
  if (close == std::string::npos) return value;
  std::string parameters;
  for (size_t at = 1; at < close;) {
    const size_t end = std::min(value.find(';', at), close);
    const std::string parameter = value.substr(at, end - at);
    for (const std::string_view name : kept) {
      if (parameter.compare(0, name.size() + 1, std::string(name) + "=") == 0) parameters += (parameters.empty() ? "" : ";") + parameter;
    }
    at = end + 1;
  }
  return (parameters.empty() ? "" : "[" + parameters + "] ") + value.substr(close + 2);
}

std::vector<std::string> Projected(const std::vector<std::string>& values, std::initializer_list<std::string_view> kept,
                                   bool dropEmpty) {
  std::vector<std::string> out;
  for (const std::string& value : values) {
    std::string projected = WithParameters(value, kept);
    if (!dropEmpty || !projected.empty()) out.push_back(std::move(projected));
  }
  std::sort(out.begin(), out.end());
  return out;
}

// PARTSTAT=NEEDS-ACTION left out: an attendee without PARTSTAT has not answered either.
std::vector<std::string> WithoutNoAnswer(std::vector<std::string> values) {
  for (std::string& value : values) {
    for (const std::string_view parameter : {";PARTSTAT=NEEDS-ACTION", "PARTSTAT=NEEDS-ACTION;", "[PARTSTAT=NEEDS-ACTION] "}) {
      if (const size_t at = value.find(parameter); at != std::string::npos) value.erase(at, parameter.size());
    }
  }
  std::sort(values.begin(), values.end());
  return values;
}

// The values without the type word PREF.
std::vector<std::string> WithoutPref(std::vector<std::string> values) {
  for (std::string& value : values) {
    for (const std::string_view word : {",PREF", "PREF,", "[PREF] "}) {
      if (const size_t at = value.find(word); at != std::string::npos) value.erase(at, word.size());
    }
  }
  std::sort(values.begin(), values.end());
  return values;
}

// Seconds since 1970 of a canonical instant ("2025-01-06T08:30:00Z") or date.
long long InstantSeconds(const std::string& value) {
  std::string digits;
  for (const char c : value) {
    if (c >= '0' && c <= '9') digits += c;
  }
  const OleDate date(std::stoi("0" + digits.substr(0, 4)), std::stoi("0" + digits.substr(4, 2)), std::stoi("0" + digits.substr(6, 2)),
                     digits.size() >= 14 ? std::stoi(digits.substr(8, 2)) : 0, digits.size() >= 14 ? std::stoi(digits.substr(10, 2)) : 0,
                     digits.size() >= 14 ? std::stoi(digits.substr(12, 2)) : 0);
  std::time_t seconds = 0;
  date.ToUnixTimeUtc(seconds);
  return seconds;
}

bool IsAllowed(Allowed allowed, const FieldDifference& difference) {
  const auto& expected = difference.expected;
  const auto& actual = difference.actual;
  switch (allowed) {
    case Allowed::Any:
      return true;
    case Allowed::Added:
      return expected.empty() || std::all_of(expected.begin(), expected.end(), [](const std::string& v) { return v.empty(); });
    case Allowed::Dropped:
      return std::all_of(actual.begin(), actual.end(), [&expected](const std::string& value) {
        return value.empty() || std::find(expected.begin(), expected.end(), value) != expected.end();
      });
    case Allowed::IgnoringTypes:
      return Projected(expected, {}, true) == Projected(actual, {}, true);
    case Allowed::CnAndPartstat:
      return WithoutNoAnswer(Projected(expected, {"CN", "PARTSTAT"}, false)) == WithoutNoAnswer(Projected(actual, {"CN", "PARTSTAT"}, false));
    case Allowed::AddressOnly:
      return Projected(expected, {}, false) == Projected(actual, {}, false);
    case Allowed::WithoutPref:
      return WithoutPref(expected) == WithoutPref(actual);
    case Allowed::WithinAnHour:
      return expected.size() == actual.size() &&
             std::equal(expected.begin(), expected.end(), actual.begin(), [](const std::string& a, const std::string& b) {
               return std::abs(InstantSeconds(a) - InstantSeconds(b)) <= 3600;
             });
  }
  return false;
}

bool Matches(const DefinedDifference& defined, const std::string& server, const std::string& item,
             const FieldDifference& difference) {
  const std::string_view component(defined.component);
  const std::string_view field(defined.field);
  const bool serverMatches = *defined.server == '\0' || server == defined.server;
  const bool itemMatches = serverMatches && (*defined.item == '\0' || item == defined.item);
  const bool componentMatches = difference.component.compare(0, component.size(), component) == 0;
  const bool fieldMatches = field.empty() || difference.name == field ||
                            (field.back() == '-' && difference.name.compare(0, field.size(), field) == 0);
  const bool valueMatches = defined.only == nullptr || difference.expected == std::vector<std::string>{defined.only};
  return itemMatches && componentMatches && fieldMatches && valueMatches && IsAllowed(defined.allowed, difference);
}

// The corpus, by folder of the store.
std::vector<std::pair<std::string, std::string>> Corpus() {
  std::vector<std::pair<std::string, std::string>> files;
  for (const char* folder : {"contacts", "events", "tasks"}) {
    for (const auto& entry : fs::directory_iterator(std::string(LARK_TEST_DATA) + "/fidelity/" + folder)) {
      if (entry.path().extension() != ".ref") files.emplace_back(folder, entry.path().filename().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// What names an item for matching the two clients' copies: a card's formatted name, an event's or
// a task's summary.
std::string MatchKey(const std::vector<ItemField>& fields) {
  for (const char* name : {"FN", "SUMMARY"}) {
    for (const ItemField& field : fields) {
      if (field.name == name && field.component.find("RECURRENCE-ID") == std::string::npos) return field.value;
    }
  }
  return {};
}

// Items a server refuses to store (status 500), with what was seen: they stay pending changes of
// the uploader (sent again, once, in every run), and are left out of the comparison.
struct RefusedItem {
  PeerKind server;
  const char* file;
  const char* reason;
};

constexpr RefusedItem kRefusedItems[] = {
    {PeerKind::Virtuoso, "delegated-attendees.ics", "the server refuses events with attendees"},
    {PeerKind::Virtuoso, "exchange-monthly-second-friday.ics", "the server refuses events with attendees"},
    {PeerKind::Virtuoso, "google-weekly-override.ics", "the server refuses events with attendees"},
    {PeerKind::Virtuoso, "synthesis-10-daily-exdates.vcs", "the server refuses events with attendees"},
    {PeerKind::Virtuoso, "meeting-cancelled-occurrence.ics", "the server refuses events with attendees"},
    {PeerKind::Virtuoso, "rich-meeting.ics", "the server refuses events with attendees"},
};

bool IsRefused(PeerKind server, const std::string& file) {
  return std::any_of(std::begin(kRefusedItems), std::end(kRefusedItems),
                     [&](const RefusedItem& item) { return item.server == server && file == item.file; });
}

int RefusedCount(PeerKind server) {
  return static_cast<int>(std::count_if(std::begin(kRefusedItems), std::end(kRefusedItems),
                                        [&](const RefusedItem& item) { return item.server == server; }));
}

// The summary of an item's first changed occurrence, if it has one.
std::string OccurrenceSummary(const std::vector<ItemField>& fields) {
  for (const ItemField& field : fields) {
    if (field.name == "SUMMARY" && field.component.find("RECURRENCE-ID") != std::string::npos) return field.value;
  }
  return {};
}

// A server that refuses a series may still store its changed occurrences, which then stand alone.
bool IsOccurrenceOfARefusedSeries(PeerKind server, const std::vector<ItemField>& fields) {
  if (!MatchKey(fields).empty()) return false;
  const std::string summary = OccurrenceSummary(fields);
  return !summary.empty() && std::any_of(std::begin(kRefusedItems), std::end(kRefusedItems), [&](const RefusedItem& item) {
    if (item.server != server) return false;
    return OccurrenceSummary(ReadItemFields(ReadFileBytes(std::string(LARK_TEST_DATA) + "/fidelity/events/" + item.file))) == summary;
  });
}

struct FidelityCase {
  PeerKind server;
  const char* zone;
  bool vdir = false;  // both clients keep vdir collections: the files hold every property
};

// How a case reads in test lists.
void PrintTo(const FidelityCase& fidelityCase, std::ostream* out) {
  *out << PeerName(fidelityCase.server) << " in " << fidelityCase.zone << (fidelityCase.vdir ? " over vdir" : "");
}

// The vdir store keeps items whole: only what the server itself does may differ, and a UID the
// store gives an item that had none.
bool IsDefinedForVdir(const std::string& server, const std::string& item, const FieldDifference& difference) {
  if (difference.name == "UID" && IsAllowed(Allowed::Added, difference)) return true;
  const auto matches = [&](const DefinedDifference& entry) { return *entry.server != '\0' && Matches(entry, server, item, difference); };
  return std::any_of(std::begin(kDefinedDifferences), std::end(kDefinedDifferences), matches) ||
         std::any_of(std::begin(kWholeItemRewrites), std::end(kWholeItemRewrites), matches);
}

class FidelityE2eTest : public ::testing::TestWithParam<FidelityCase> {
 protected:
  void SetUp() override {
    const std::string missing = SyncPeer::MissingPrograms(GetParam().server);
    if (!missing.empty()) GTEST_SKIP() << "SyncML server not installed (scripts/packages/): " << missing;
    // The servers run in UTC; each client in the zone of the case, set before anything converts.
    mZone = std::make_unique<ScopedEnv>("TZ", "UTC");
    ::tzset();
    mServer = &Server(GetParam().server);
    mServer->Clear();
    mZone = std::make_unique<ScopedEnv>("TZ", GetParam().zone);
    ::tzset();
  }
  void TearDown() override {
    mZone.reset();
    ::tzset();
  }

  SyncPeer* mServer = nullptr;
  std::unique_ptr<ScopedEnv> mZone;
};

TEST_P(FidelityE2eTest, TheCorpusSurvivesARoundTripFieldByFieldAndASecondRunSendsNothing) {
  FidelityClient uploader(*mServer, "up", GetParam().vdir);
  for (const auto& [folder, file] : Corpus()) {
    WriteFileBytes(uploader.Folder(folder) + uploader.FileName(file), ReadFileBytes(std::string(LARK_TEST_DATA) + "/fidelity/" + folder + "/" + file));
  }
  const SyncRunOutcome upload = uploader.Sync();
  ASSERT_TRUE(upload.Completed()) << upload.error << " " << uploader.LinkStates();
  EXPECT_EQ(uploader.ItemErrors(), RefusedCount(GetParam().server)) << uploader.Refusals();

  FidelityClient fresh(*mServer, "down", GetParam().vdir);
  const SyncRunOutcome download = fresh.Sync();
  ASSERT_TRUE(download.Succeeded()) << download.error << " " << fresh.LinkStates();

  std::map<std::string, std::vector<ItemField>> downloaded;
  for (const char* folder : {"contacts", "events", "tasks"}) {
    for (const auto& entry : fs::directory_iterator(fresh.Folder(folder))) {
      if (entry.path().filename() == "displayname" || entry.path().filename() == "color") continue;
      std::vector<ItemField> fields = ReadItemFields(ReadFileBytes(entry.path().string()));
      if (IsOccurrenceOfARefusedSeries(GetParam().server, fields)) continue;
      downloaded[std::string(folder) + "|" + MatchKey(fields)] = std::move(fields);
    }
  }
  std::vector<std::pair<std::string, std::string>> corpus = Corpus();
  std::erase_if(corpus, [&](const auto& item) { return IsRefused(GetParam().server, item.second); });
  std::set<std::string> matched;
  for (const auto& [folder, name] : corpus) {
    const std::string& file = name;  // clang 14 cannot capture a structured binding
    const std::vector<ItemField> original = ReadItemFields(ReadFileBytes(std::string(LARK_TEST_DATA) + "/fidelity/" + folder + "/" + file));
    const auto copy = downloaded.find(folder + "|" + MatchKey(original));
    if (copy == downloaded.end()) {
      ADD_FAILURE() << file << ": no downloaded item is named " << MatchKey(original);
      continue;
    }
    matched.insert(copy->first);
    for (const FieldDifference& difference : CompareItemFields(original, copy->second)) {
      const bool defined = GetParam().vdir ? IsDefinedForVdir(PeerName(GetParam().server), file, difference)
                                           : std::any_of(std::begin(kDefinedDifferences), std::end(kDefinedDifferences),
                                                         [&, &name = file](const DefinedDifference& entry) {
                                                           return Matches(entry, PeerName(GetParam().server), name, difference);
                                                         });
      if (!defined) ADD_FAILURE() << file << ": " << difference.Describe();
    }
  }

  for (const auto& [key, fields] : downloaded) {
    if (matched.count(key) == 0) ADD_FAILURE() << "downloaded an item the corpus does not hold: " << key;
  }

  // A second run sends nothing but the refused items once more, and receives nothing.
  for (FidelityClient* client : {&uploader, &fresh}) {
    const SyncRunOutcome again = client->Sync();
    ASSERT_TRUE(again.Completed()) << again.error << " " << client->LinkStates();
    EXPECT_EQ(client->ItemCommandsSent(), client == &uploader ? RefusedCount(GetParam().server) : 0) << client->Refusals();
    EXPECT_EQ(client->ServerChangesApplied(), 0) << "and receives nothing";
  }
}

std::string CaseName(const ::testing::TestParamInfo<FidelityCase>& info) {
  std::string name = std::string(PeerName(info.param.server)) + "_" + info.param.zone + (info.param.vdir ? "_vdir" : "");
  std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Servers, FidelityE2eTest,
                         ::testing::Values(FidelityCase{PeerKind::SyncEvolution, "UTC"},
                                           FidelityCase{PeerKind::SyncEvolution, "Europe/Berlin"},
                                           FidelityCase{PeerKind::SyncEvolution, "America/New_York"},
                                           FidelityCase{PeerKind::SyncEvolution, "Australia/Sydney"},
                                           FidelityCase{PeerKind::Virtuoso, "UTC"},
                                           FidelityCase{PeerKind::Virtuoso, "Europe/Berlin"}),
                         CaseName);

INSTANTIATE_TEST_SUITE_P(OverVdir, FidelityE2eTest,
                         ::testing::Values(FidelityCase{PeerKind::SyncEvolution, "UTC", true},
                                           FidelityCase{PeerKind::SyncEvolution, "Europe/Berlin", true}),
                         CaseName);

}  // namespace
