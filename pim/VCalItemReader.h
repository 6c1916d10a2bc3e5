// Walking the components of a vCalendar item text: each event (a series and its changed
// occurrences) or task a store applies, their alarms, the item's time zones, and its date values
// as UTC instants or as the machine's local time.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pim/CDataItem.h"
#include "pim/OleDate.h"
#include "pim/TimeZoneRule.h"
#include "pim/VCalProperty.h"
#include "pim/ZoneDates.h"

// Ceiling for one item text; a longer text is not read.
inline constexpr std::size_t kMaxVCalItemBytes = 16u * 1024u * 1024u;

// Where a delivered property stood.
enum class VCalSection { Item, Alarm };

struct VCalWalkOptions {
  int kind = ITEM_EVENT;           // ITEM_EVENT reads VEVENT, ITEM_TASK reads VTODO
  bool changedOccurrence = false;  // an event that changes one occurrence: the narrower property set
};

// The time zones of one item text: its VTIMEZONE components, and for a TZID that none of them
// defines, the zone of that name in the system's zone database (each name loaded once per object;
// a TZID with a path before the zone name, such as "/mozilla.org/20050126_1/Europe/Berlin", is
// looked up by its trailing parts). A value type.
class VCalZones {
 public:
  VCalZones() = default;
  explicit VCalZones(std::vector<TimeZoneRule> rules) : mRules(std::move(rules)) {}

  const std::vector<TimeZoneRule>& Rules() const { return mRules; }
  void Add(TimeZoneRule rule) { mRules.push_back(std::move(rule)); }
  // The VTIMEZONE of that TZID (the last one), or null.
  const TimeZoneRule* Rule(const std::string& tzid) const;
  // The zone identifier a TZID stands for, as records keep it: the name in the system's zone
  // database (see SystemZoneName), else the POSIX TZ string of its VTIMEZONE; "" when neither.
  std::string ZoneIdOf(const std::string& tzid) const;
  // The zone of the item's floating times (a vCalendar 1.0 item's TZ and DAYLIGHT, as a POSIX TZ
  // string); "" when they are the machine's local time.
  void SetFloatingZone(std::string zoneId) { mFloatingZone = std::move(zoneId); }
  const std::string& FloatingZone() const { return mFloatingZone; }
  // Converts a floating wall-clock time to UTC by the floating zone; false, with `date` untouched,
  // when there is none.
  bool FloatingToUtc(OleDate& date) const;
  // Converts `date`, a wall-clock time of zone `tzid`, to UTC; false, with `date` untouched,
  // when no zone of that name is known. The last VTIMEZONE of a name wins.
  bool ToUtc(const std::string& tzid, OleDate& date) const;
  // Converts `date`, a UTC time, to the wall-clock time of zone `tzid`; false, with `date`
  // untouched, when no zone of that name is known.
  bool FromUtc(const std::string& tzid, OleDate& date) const;

 private:
  const SystemTimeZone* SystemZone(const std::string& tzid) const;

  std::vector<TimeZoneRule> mRules;
  std::string mFloatingZone;
  mutable std::map<std::string, std::optional<SystemTimeZone>, std::less<>> mSystemZones;
};

// The name in the system's zone database a TZID stands for: itself, or for one with a path before
// the zone name ("/mozilla.org/20050126_1/Europe/Berlin") its trailing parts; "" when none is a zone.
std::string SystemZoneName(const std::string& tzid);

// Walks `text` (CR LF or LF line ends) and calls `visit` for each property the store applies, in
// text order, with the index of its component among the text's VEVENT (or VTODO) components:
// inside VEVENT UID RECURRENCE-ID SUMMARY DESCRIPTION CLASS PRIORITY STATUS TRANSP DTSTART DTEND DURATION
// LOCATION CATEGORIES RRULE EXDATE ATTENDEE ORGANIZER AALARM DALARM (for a changed occurrence without
// CLASS, PRIORITY, EXDATE); inside a VALARM of the event TRIGGER ACTION DESCRIPTION; inside VTODO UID
// SUMMARY DESCRIPTION PRIORITY CLASS CATEGORIES DTSTART DUE STATUS PERCENT-COMPLETE COMPLETED. Lines
// with an empty name or value, other properties, properties of other or nested components, and
// everything outside the items are skipped. Each VTIMEZONE outside the items is added to `zones`,
// the zone of vCalendar 1.0's TZ and DAYLIGHT lines becomes its floating zone, and the VCALENDAR's
// VERSION is put into `version` when they are given. Names and values compare case-sensitively.
// False, with nothing visited, when the text exceeds kMaxVCalItemBytes.
bool WalkVCalItem(std::string_view text, const VCalWalkOptions& options,
                  const std::function<void(std::size_t, VCalSection, const VCalProperty&)>& visit,
                  VCalZones* zones = nullptr, std::string* version = nullptr);

// One VEVENT or VTODO of an item text, as WalkVCalItem delivers it.
struct VCalComponent {
  std::vector<VCalProperty> properties;  // in text order
  std::vector<VCalProperty> alarms;      // the TRIGGER, ACTION and DESCRIPTION lines of its alarms

  // The last property named `name` (a later line overrides an earlier one), or null.
  const VCalProperty* Find(std::string_view name) const;
  // A component with a RECURRENCE-ID changes one occurrence of a series.
  bool IsChangedOccurrence() const { return Find("RECURRENCE-ID") != nullptr; }
};

// What WalkVCalItem delivers, gathered.
struct VCalItemContent {
  std::vector<VCalComponent> components;
  VCalZones zones;
  std::string version;  // VERSION of the VCALENDAR ("1.0" or "2.0"), "" when none

  // The date values of the item's lines: see VCalDateTimeToUtc and VCalDateTimeToLocal.
  OleDate UtcTime(const VCalProperty& property) const;
  OleDate LocalTime(const VCalProperty& property) const;
};

// Reads `text` with WalkVCalItem into `content` (cleared first); false when the text is too long.
bool ReadVCalItem(std::string_view text, const VCalWalkOptions& options, VCalItemContent& content);

// Whether a date or date-time text with its parameters holds a date only: VALUE=DATE, or eight
// digits without a time part.
bool IsVCalDateOnly(std::string_view text, const VCalParams& params);

// The instant a date-time text names, in UTC: a time ending in "Z" as its digits stand; with a
// TZID that `zones` knows, that zone's wall-clock time converted; any other time is floating:
// the wall clock of the floating zone of `zones` when it has one, else of the machine. A date only
// is its local midnight, converted. Invalid when the text holds no date.
OleDate VCalTimeToUtc(std::string_view text, const VCalParams& params, const VCalZones& zones);
OleDate VCalDateTimeToUtc(const VCalProperty& property, const VCalZones& zones);

// The time a date or date-time line names, in the machine's local time: a date only as it stands;
// a floating time as it stands; any other time its instant (VCalDateTimeToUtc) converted from UTC
// to local time. Invalid when the text holds no date.
OleDate VCalDateTimeToLocal(const VCalProperty& property, const VCalZones& zones);

// What marks an event text as a changed occurrence of a recurring event.
struct VCalRecurrenceId {
  std::string date;  // the local date ("%Y%m%d") of RECURRENCE-ID (the occurrence's original start), or ""
  std::string uid;   // UID
};

// Scans every VEVENT of `text` for RECURRENCE-ID and UID; a later VEVENT's values replace an
// earlier one's.
VCalRecurrenceId FindRecurrenceId(std::string_view text);
