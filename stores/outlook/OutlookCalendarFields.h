// The mapping between event and task records (VC_ keys) and the Outlook appointment and task items:
// reading an item into its record and writing a record's values into an item.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pim/CDataItem.h"
#include "pim/OleDate.h"
#include "platform/automation/OutlookDispatch.h"

// The start of the synchronization period; without a valid start every item is in it.
class CalendarPeriod {
 public:
  CalendarPeriod() = default;
  // From the configuration's start date ("%Y%m%d" of local midnight, "" for no limit).
  explicit CalendarPeriod(std::string_view startDate);

  bool Limited() const { return mStart.IsValid(); }
  // An event is in the period when its start (or Outlook's "no date"), its end, or the end of its
  // series is not before the period start; an open series always is.
  bool Holds(const outlook::AppointmentItem& event) const;
  // A task is in the period when its start date is "no date", or its start or due date is not
  // before the period start.
  bool Holds(const outlook::TaskItem& task) const;

 private:
  bool NotBefore(double date) const { return OleDate(date) >= mStart; }
  OleDate mStart;
};

// Who the user is, for the organizer of a meeting: the namespace's current user and the login.
struct CalendarUser {
  std::vector<std::string> identities;  // addresses and names that name the user; empty ones never match

  bool Is(const std::string& text) const;
};

// Body text for VC_DESCRIPTION: every control byte, space, "=", DEL and byte above 0x7F as "=XX"
// (quoted-printable without line breaks); the plain text when that gives nothing.
std::string EncodeDescription(std::string_view body);

// The record of one task (kind ITEM_TASK, item identifier the EntryID): subject, body, priority,
// class, status (none while it needs action), start, due and completion (dates, or UTC instants
// for those with a time of day), categories, percent complete (none at 0). Throws AutomationError.
CDataItem::Ptr ReadTaskRecord(const outlook::TaskItem& task);

// The record of one event without its recurrence (kind ITEM_EVENT). For a changed occurrence
// (`occurrenceOf` set, the original date of the occurrence) the record carries VC_RECURRENCE_ID
// and its item identifier is the EntryID, "/" and the local date of the original start.
// `seriesAllDay` says whether the series is all-day (its dates are then dates, else UTC instants).
// Timed times are the application's UTC instants, with its zone in VC_TZID (none for UTC);
// values the application holds as defaults (normal sensitivity and importance, no categories,
// empty texts) give no key; a cancelled meeting gives VC_STATUS CANCELLED; the organizer comes
// with its name, attendees with their role and RSVP. Throws AutomationError.
CDataItem::Ptr ReadEventRecord(const outlook::AppointmentItem& event, const CalendarUser& user, double occurrenceOf,
                               bool seriesAllDay);

// The deleted occurrences and the rule of the series `event`, in the record: VC_RRULE (what the
// pattern says: frequency, interval, days and day of the month of the series' zone, ordinal
// weekday, month, and COUNT, or UNTIL the instant of its last occurrence) and EXDATE (original
// starts of deleted occurrences, UTC instants or dates of an all-day series, joined by ","). The
// months a day-of-month rule skips (see WriteRecurrence) are the rule's, not excluded dates; a
// "31st" that falls on shorter months' last days is BYMONTHDAY=-1. Returns whether the series has
// changed occurrences. Throws AutomationError.
bool ReadSeries(const outlook::AppointmentItem& event, bool allDay, CDataItem& record);

// Writes a task record's values into `task` (not saved). Throws AutomationError.
void WriteTaskFields(const outlook::TaskItem& task, const CDataItem& record);

// Writes an event record's values into `event` (not saved): texts, class, priority, the all-day
// flag and days, or the zone and the start and end instants; location, categories ("Appointment"
// leaves them empty), the reminder, the organizer (as the first recipient, with its name) and the
// attendees with their role, whether responses are requested, the organizer text unless it is the
// user, and a cancelled meeting. The rule and the excluded dates are left to the caller. Throws
// AutomationError.
void WriteEventFields(const outlook::AppointmentItem& event, const CDataItem& record, const CalendarUser& user);

// Whether the record is a cancelled event (a cancelled changed occurrence is a deleted one).
bool IsCancelled(const CDataItem& record);

// Puts the rule VC_RRULE names into the event's pattern (its zone, start and all-day flag set
// before), its days being those of the series' zone; the end as the count or the zone's date of
// the last occurrence. A rule on a day of the month that some months lack (29 to 31) skips those
// months, while the pattern falls on their last day: a count is raised by the months skipped, and
// the caller deletes the occurrences SkippedOccurrences lists. False when the record has no rule
// the pattern can hold. Throws AutomationError.
bool WriteRecurrence(const outlook::AppointmentItem& event, const CDataItem& record);
// The local starts of the occurrences of the saved series `event` that its record's rule skips
// (within ten years for an open series).
std::vector<double> SkippedOccurrences(const outlook::AppointmentItem& event, const CDataItem& record);

// The local start of the occurrence of series `event` on `zoneDay`, a date of the series' zone.
double LocalStartOfOccurrence(const outlook::AppointmentItem& event, double zoneDay);
// The local start of the occurrence a record date names (an excluded date, an original start):
// the occurrence on the zone's date of that instant; a date (of an all-day series) at its midnight.
double LocalStartOfRecordDate(const outlook::AppointmentItem& series, const std::string& text);

// A local automation date as its record text: what DateToVCalText gives (a date for an all-day
// item, else the UTC instant), without the C library's zone look-up per call where the offset
// is steady; "" for no date.
std::string RecordDateText(double date, bool allDay);

// A record date (a UTC instant "%Y%m%dT%H%M%SZ" or a date "%Y%m%d") as an automation date in the
// machine's local time; 0 when the text holds no date.
double LocalDateOfRecordText(std::string_view text);
