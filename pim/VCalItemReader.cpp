// The component walk over a vCalendar item text.
#include "pim/VCalItemReader.h"

#include <algorithm>

#include "pim/VCalDateTime.h"

namespace {

constexpr std::string_view kEventProperties[] = {"SUMMARY", "DESCRIPTION", "CLASS",      "PRIORITY", "DTSTART",  "DTEND",
                                                 "LOCATION", "CATEGORIES", "RRULE",     "EXDATE",   "ATTENDEE", "ORGANIZER"};
constexpr std::string_view kOccurrenceProperties[] = {"SUMMARY",    "DESCRIPTION", "DTSTART",  "DTEND",    "LOCATION",
                                                      "CATEGORIES", "RRULE",       "ATTENDEE", "ORGANIZER"};
constexpr std::string_view kTaskProperties[] = {"SUMMARY", "DESCRIPTION", "PRIORITY",        "DTSTART",
                                                "DUE",     "STATUS",      "PERCENT-COMPLETE"};

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

}  // namespace

bool WalkVCalItem(std::string_view text, const VCalWalkOptions& options,
                  const std::function<void(VCalSection, const VCalProperty&)>& visit, std::vector<TimeZoneRule>* zones) {
  if (text.size() > kMaxVCalItemBytes) return false;
  std::string storage;
  const std::string_view lines = WithLfLineEnds(text, storage);
  const std::string_view itemName = options.kind == ITEM_TASK ? "VTODO" : "VEVENT";
  WalkState state = WalkState::Outside;
  int nestedDepth = 0;  // inside components the item does not read (an alarm of a task, unknown ones)
  size_t position = 0;
  VCalProperty property;
  while (ReadVCalProperty(lines, position, property)) {
    if (property.name.empty() || property.value.empty()) continue;
    const bool begin = property.name == "BEGIN";
    const bool end = property.name == "END";
    if (state == WalkState::Outside) {
      if (begin && property.value == itemName) {
        state = WalkState::Item;
      } else if (begin && property.value == "VTIMEZONE") {
        TimeZoneRule rule;
        ReadVTimeZone(lines, position, rule);
        if (zones != nullptr) zones->push_back(std::move(rule));
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
        visit(VCalSection::Item, property);
      }
    } else {
      if (end && property.value == "VALARM") {
        state = WalkState::Item;
      } else if (begin) {
        nestedDepth = 1;
      } else if (property.name == "TRIGGER") {
        visit(VCalSection::Alarm, property);
      }
    }
  }
  return true;
}

const VCalProperty* VCalItemContent::Find(std::string_view name) const {
  for (auto it = properties.rbegin(); it != properties.rend(); ++it) {
    if (it->name == name) return &*it;
  }
  return nullptr;
}

OleDate VCalItemContent::LocalTime(const VCalProperty& property) const { return VCalDateTimeToLocal(property, zones); }

bool ReadVCalItem(std::string_view text, const VCalWalkOptions& options, VCalItemContent& content) {
  content = VCalItemContent();
  return WalkVCalItem(
      text, options,
      [&content](VCalSection section, const VCalProperty& property) {
        (section == VCalSection::Alarm ? content.alarms : content.properties).push_back(property);
      },
      &content.zones);
}

OleDate VCalDateTimeToLocal(const VCalProperty& property, const std::vector<TimeZoneRule>& zones) {
  OleDate date = ParseVCalDateTime(property.value);
  if (!date.IsValid() || property.Param("VALUE") == "DATE") return date;
  const std::string& tzid = property.Param("TZID");
  if (!tzid.empty()) {
    const auto zone = std::find_if(zones.rbegin(), zones.rend(), [&tzid](const TimeZoneRule& rule) { return rule.tzid == tzid; });
    if (zone != zones.rend()) {
      ApplyZone(*zone, date, tzid);
      return date;
    }
  }
  if (IsVCalUtcText(property.value)) UtcToLocal(date);
  return date;
}

VCalRecurrenceId FindRecurrenceId(std::string_view text) {
  VCalRecurrenceId found;
  if (text.size() > kMaxVCalItemBytes) return found;
  std::string storage;
  const std::string_view lines = WithLfLineEnds(text, storage);
  bool inEvent = false;
  size_t position = 0;
  VCalProperty property;
  while (ReadVCalProperty(lines, position, property)) {
    if (property.name.empty() || property.value.empty()) continue;
    if (property.value == "VEVENT" && (property.name == "BEGIN" || property.name == "END")) {
      inEvent = property.name == "BEGIN";
    } else if (inEvent && property.name == "RECURRENCE-ID") {
      found.date = property.value.substr(0, 8);
    } else if (inEvent && property.name == "UID") {
      found.uid = property.value;
    }
  }
  return found;
}
