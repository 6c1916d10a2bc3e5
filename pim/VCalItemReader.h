// Walking the components of a vCalendar item text: the event or task properties a store applies,
// its alarm triggers, its time zones, its dates in local time, and the changed-occurrence marker.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "pim/CDataItem.h"
#include "pim/OleDate.h"
#include "pim/TimeZoneRule.h"
#include "pim/VCalProperty.h"

// Ceiling for one item text; a longer text is not read.
inline constexpr std::size_t kMaxVCalItemBytes = 16u * 1024u * 1024u;

// Where a delivered property stood.
enum class VCalSection { Item, Alarm };

struct VCalWalkOptions {
  int kind = ITEM_EVENT;           // ITEM_EVENT reads VEVENT, ITEM_TASK reads VTODO
  bool changedOccurrence = false;  // an event that changes one occurrence: the narrower property set
};

// Walks `text` (CR LF or LF line ends) and calls `visit` for each property the store applies, in
// text order: inside VEVENT SUMMARY DESCRIPTION CLASS PRIORITY DTSTART DTEND LOCATION CATEGORIES
// RRULE EXDATE ATTENDEE ORGANIZER (for a changed occurrence without CLASS, PRIORITY, EXDATE);
// inside a VALARM of the event TRIGGER; inside VTODO SUMMARY DESCRIPTION PRIORITY DTSTART DUE
// STATUS PERCENT-COMPLETE. Lines with an empty name or value, other properties, properties of
// other or nested components, and everything outside the item are skipped. Each VTIMEZONE outside
// the item is appended to `zones` when given. Names and values compare case-sensitively.
// False, with nothing visited, when the text exceeds kMaxVCalItemBytes.
bool WalkVCalItem(std::string_view text, const VCalWalkOptions& options,
                  const std::function<void(VCalSection, const VCalProperty&)>& visit,
                  std::vector<TimeZoneRule>* zones = nullptr);

// What WalkVCalItem delivers, gathered.
struct VCalItemContent {
  std::vector<VCalProperty> properties;  // the item's, in text order
  std::vector<VCalProperty> alarms;      // the TRIGGER lines of its alarms
  std::vector<TimeZoneRule> zones;

  // The last item property named `name` (a later line overrides an earlier one), or null.
  const VCalProperty* Find(std::string_view name) const;
  // A DTSTART, DTEND or DUE line in the machine's local time: see VCalDateTimeToLocal.
  OleDate LocalTime(const VCalProperty& property) const;
};

// Reads `text` with WalkVCalItem into `content` (cleared first); false when the text is too long.
bool ReadVCalItem(std::string_view text, const VCalWalkOptions& options, VCalItemContent& content);

// The time a date or date-time line names, in the machine's local time: with VALUE=DATE the date
// as it stands; with a TZID naming one of `zones`, the zone's time converted to UTC and then to
// local time; a time ending in "Z" converted from UTC to local time; any other time is already
// local (floating) and taken as it stands. Invalid when the text holds no date.
OleDate VCalDateTimeToLocal(const VCalProperty& property, const std::vector<TimeZoneRule>& zones);

// What marks an event text as a changed occurrence of a recurring event.
struct VCalRecurrenceId {
  std::string date;  // the first eight characters of RECURRENCE-ID (the occurrence's date), or ""
  std::string uid;   // UID
};

// Scans every VEVENT of `text` for RECURRENCE-ID and UID; a later VEVENT's values replace an
// earlier one's.
VCalRecurrenceId FindRecurrenceId(std::string_view text);
