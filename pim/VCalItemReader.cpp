// The component walk over a vCalendar item text, and its date values as instants and local times.
#include "pim/VCalItemReader.h"

#include <algorithm>

#include "pim/CalendarZones.h"
#include "pim/VCalDateTime.h"
#include "pim/VCardText_p.h"

namespace {

constexpr std::string_view kEventProperties[] = {"UID",      "RECURRENCE-ID", "SUMMARY",  "DESCRIPTION", "CLASS",
                                                 "PRIORITY", "STATUS",        "TRANSP",   "DTSTART",     "DTEND",       "DURATION",
                                                 "LOCATION", "CATEGORIES",    "RRULE",    "EXDATE",      "ATTENDEE",
                                                 "ORGANIZER", "AALARM",       "DALARM"};
constexpr std::string_view kOccurrenceProperties[] = {"UID",      "RECURRENCE-ID", "SUMMARY",  "DESCRIPTION",
                                                      "STATUS",   "DTSTART",       "DTEND",    "DURATION",
                                                      "LOCATION", "CATEGORIES",    "RRULE",    "ATTENDEE",
                                                      "ORGANIZER", "AALARM",       "DALARM"};
constexpr std::string_view kTaskProperties[] = {"UID",     "SUMMARY", "DESCRIPTION", "PRIORITY", "CLASS", "CATEGORIES",
                                                "DTSTART", "DUE",     "STATUS",      "PERCENT-COMPLETE", "COMPLETED"};
constexpr std::string_view kAlarmProperties[] = {"TRIGGER", "ACTION", "DESCRIPTION"};

template <size_t N>
bool Contains(const std::string_view (&names)[N], std::string_view name) {
  return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

bool IsItemProperty(const VCalWalkOptions& options, std::string_view name) {
  if (options.kind == ITEM_TASK) return Contains(kTaskProperties, name);
  return options.changedOccurrence ? Contains(kOccurrenceProperties, name) : Contains(kEventProperties, name);
}

// The text with CR LF line ends turned into LF, as the property reader expects; `storage` holds
// the copy when one is needed.
std::string_view WithLfLineEnds(std::string_view text, std::string& storage) {
  if (text.find('\r') == std::string_view::npos) return text;
  storage.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    storage += text[i];
  }
  return storage;
}

enum class WalkState { Outside, Item, Alarm };

// The zone names a TZID may stand for: itself, then (for one with a path, as older senders write
// "/mozilla.org/20050126_1/Europe/Berlin") each shorter tail of at least two parts, then the last part.
std::vector<std::string> ZoneNameCandidates(const std::string& tzid) {
  std::vector<std::string> names{tzid};
  size_t slash = tzid.find('/');
  while (slash != std::string::npos) {
    const std::string tail = tzid.substr(slash + 1);
    if (!tail.empty() && tail != names.back()) names.push_back(tail);
    slash = tzid.find('/', slash + 1);
  }
  return names;
}

}  // namespace

std::string SystemZoneName(const std::string& tzid) {
  const std::vector<std::string> candidates = ZoneNameCandidates(tzid);
  for (const std::string& name : candidates) {
    if (SystemTimeZone::Load(name)) return name;
  }
  // A server may change the letter case of the parameter (Virtuoso writes ASIA/KOLKATA).
  for (const std::string& name : candidates) {
    if (std::string spelled = SystemTimeZone::DatabaseName(name); !spelled.empty()) return spelled;
  }
  return {};
}

// ---- Zones

const SystemTimeZone* VCalZones::SystemZone(const std::string& tzid) const {
  auto found = mSystemZones.find(tzid);
  if (found == mSystemZones.end()) {
    const std::string name = SystemZoneName(tzid);
    std::optional<SystemTimeZone> zone = name.empty() ? std::nullopt : SystemTimeZone::Load(name);
    // Records keep a zone the database does not name as a POSIX TZ string.
    if (!zone) zone = SystemTimeZone::FromPosix(tzid);
    found = mSystemZones.emplace(tzid, std::move(zone)).first;
  }
  return found->second ? &*found->second : nullptr;
}

// The text's own zone of that TZID; a server that changed the case of the parameter's value
// ("ASIA/KOLKATA") still names it.
const TimeZoneRule* VCalZones::Rule(const std::string& tzid) const {
  auto rule = std::find_if(mRules.rbegin(), mRules.rend(), [&tzid](const TimeZoneRule& zone) { return zone.tzid == tzid; });
  if (rule == mRules.rend()) {
    rule = std::find_if(mRules.rbegin(), mRules.rend(), [&tzid](const TimeZoneRule& zone) { return vcardtext::EqualsIgnoreCase(zone.tzid, tzid); });
  }
  return rule != mRules.rend() ? &*rule : nullptr;
}

std::string VCalZones::ZoneIdOf(const std::string& tzid) const {
  if (tzid.empty()) return {};
  if (std::string name = SystemZoneName(tzid); !name.empty()) return name;
  const TimeZoneRule* rule = Rule(tzid);
  if (rule == nullptr) return {};
  if (std::string name = SystemZoneName(rule->tzid); !name.empty()) return name;
  return PosixZoneOfRule(*rule);
}

bool VCalZones::FloatingToUtc(OleDate& date) const {
  if (mFloatingZone.empty()) return false;
  if (const SystemTimeZone* zone = SystemZone(mFloatingZone)) {
    date = ZoneWallToUtc(*zone, date);
    return true;
  }
  return false;
}

bool VCalZones::ToUtc(const std::string& tzid, OleDate& date) const {
  if (const TimeZoneRule* rule = Rule(tzid)) {
    ZoneToUtc(*rule, date);
    return true;
  }
  if (const SystemTimeZone* zone = SystemZone(tzid)) {
    date = ZoneWallToUtc(*zone, date);
    return true;
  }
  return false;
}

bool VCalZones::FromUtc(const std::string& tzid, OleDate& date) const {
  if (const TimeZoneRule* rule = Rule(tzid)) {
    UtcToZone(*rule, date);
    return true;
  }
  if (const SystemTimeZone* zone = SystemZone(tzid)) {
    date = ZoneUtcToWall(*zone, date);
    return true;
  }
  return false;
}

// ---- Walk

bool WalkVCalItem(std::string_view text, const VCalWalkOptions& options,
                  const std::function<void(size_t, VCalSection, const VCalProperty&)>& visit, VCalZones* zones,
                  std::string* version) {
  if (text.size() > kMaxVCalItemBytes) return false;
  std::string storage;
  const std::string_view lines = WithLfLineEnds(text, storage);
  const std::string_view itemName = options.kind == ITEM_TASK ? "VTODO" : "VEVENT";
  WalkState state = WalkState::Outside;
  size_t component = 0;
  bool componentSeen = false;
  int nestedDepth = 0;  // inside components the item does not read (an alarm of a task, unknown ones)
  size_t position = 0;
  VCalProperty property;
  std::string tz;
  std::vector<std::string> daylight;
  while (ReadVCalProperty(lines, position, property)) {
    if (property.name.empty() || property.value.empty()) continue;
    const bool begin = property.name == "BEGIN";
    const bool end = property.name == "END";
    if (state == WalkState::Outside) {
      if (property.name == "TZ") tz = property.value;
      if (property.name == "DAYLIGHT") daylight.push_back(property.value);
      if (begin && property.value == itemName) {
        state = WalkState::Item;
        if (componentSeen) ++component;
        componentSeen = true;
      } else if (begin && property.value == "VTIMEZONE") {
        TimeZoneRule rule;
        ReadVTimeZone(lines, position, rule);
        if (zones != nullptr) zones->Add(std::move(rule));
      } else if (property.name == "VERSION" && version != nullptr && version->empty()) {
        *version = property.value;
      }
      continue;
    }
    if (end && property.value == itemName) {  // also closes an alarm or component left open
      state = WalkState::Outside;
      nestedDepth = 0;
      continue;
    }
    if (nestedDepth > 0) {
      nestedDepth += begin ? 1 : end ? -1 : 0;
      continue;
    }
    if (state == WalkState::Item) {
      if (begin && property.value == "VALARM" && options.kind != ITEM_TASK) {
        state = WalkState::Alarm;
      } else if (begin) {
        nestedDepth = 1;
      } else if (!end && IsItemProperty(options, property.name)) {
        visit(component, VCalSection::Item, property);
      }
    } else {
      if (end && property.value == "VALARM") {
        state = WalkState::Item;
      } else if (begin) {
        nestedDepth = 1;
      } else if (Contains(kAlarmProperties, property.name)) {
        visit(component, VCalSection::Alarm, property);
      }
    }
  }
  // vCalendar 1.0: the zone TZ and DAYLIGHT describe is the one of its floating times.
  if (zones != nullptr && !tz.empty()) zones->SetFloatingZone(PosixZoneOfVCal10(tz, daylight));
  return true;
}

const VCalProperty* VCalComponent::Find(std::string_view name) const {
  for (auto it = properties.rbegin(); it != properties.rend(); ++it) {
    if (it->name == name) return &*it;
  }
  return nullptr;
}

OleDate VCalItemContent::UtcTime(const VCalProperty& property) const { return VCalDateTimeToUtc(property, zones); }

OleDate VCalItemContent::LocalTime(const VCalProperty& property) const { return VCalDateTimeToLocal(property, zones); }

bool ReadVCalItem(std::string_view text, const VCalWalkOptions& options, VCalItemContent& content) {
  content = VCalItemContent();
  return WalkVCalItem(
      text, options,
      [&content](size_t component, VCalSection section, const VCalProperty& property) {
        if (content.components.size() <= component) content.components.resize(component + 1);
        VCalComponent& target = content.components[component];
        (section == VCalSection::Alarm ? target.alarms : target.properties).push_back(property);
      },
      &content.zones, &content.version);
}

// ---- Date values

bool IsVCalDateOnly(std::string_view text, const VCalParams& params) {
  const auto value = params.find("VALUE");
  if (value != params.end() && value->second == "DATE") return true;
  return text.find('T') == std::string_view::npos;
}

OleDate VCalTimeToUtc(std::string_view text, const VCalParams& params, const VCalZones& zones) {
  OleDate date = ParseVCalDateTime(text);
  if (!date.IsValid()) return date;
  if (IsVCalDateOnly(text, params)) {
    LocalToUtc(date);
    return date;
  }
  // A zone named by TZID wins over a trailing "Z", as its digits are that zone's.
  const auto tzid = params.find("TZID");
  if (tzid != params.end() && !tzid->second.empty() && zones.ToUtc(tzid->second, date)) return date;
  if (IsVCalUtcText(text) || zones.FloatingToUtc(date)) return date;
  LocalToUtc(date);
  return date;
}

OleDate VCalDateTimeToUtc(const VCalProperty& property, const VCalZones& zones) {
  return VCalTimeToUtc(property.value, property.params, zones);
}

OleDate VCalDateTimeToLocal(const VCalProperty& property, const VCalZones& zones) {
  OleDate date = ParseVCalDateTime(property.value);
  if (!date.IsValid() || IsVCalDateOnly(property.value, property.params)) return date;
  const std::string& tzid = property.Param("TZID");
  const bool zoned = (!tzid.empty() && zones.ToUtc(tzid, date)) || zones.FloatingToUtc(date);
  if (zoned || IsVCalUtcText(property.value)) UtcToLocal(date);
  return date;
}

VCalRecurrenceId FindRecurrenceId(std::string_view text) {
  VCalRecurrenceId found;
  if (text.size() > kMaxVCalItemBytes) return found;
  std::string storage;
  const std::string_view lines = WithLfLineEnds(text, storage);
  bool inEvent = false;
  VCalZones zones;
  size_t position = 0;
  VCalProperty property;
  while (ReadVCalProperty(lines, position, property)) {
    if (property.name.empty() || property.value.empty()) continue;
    if (property.value == "VEVENT" && (property.name == "BEGIN" || property.name == "END")) {
      inEvent = property.name == "BEGIN";
    } else if (!inEvent && property.name == "BEGIN" && property.value == "VTIMEZONE") {
      TimeZoneRule rule;
      ReadVTimeZone(lines, position, rule);
      zones.Add(std::move(rule));
    } else if (inEvent && property.name == "RECURRENCE-ID") {
      // The local date of the original start; a text that is no date gives its first eight characters.
      const std::string local = VCalDateText(VCalDateTimeToLocal(property, zones));
      found.date = local.empty() ? property.value.substr(0, 8) : local;
    } else if (inEvent && property.name == "UID") {
      found.uid = property.value;
    }
  }
  return found;
}
