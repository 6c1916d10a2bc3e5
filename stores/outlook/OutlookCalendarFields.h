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

// The record of one task (kind ITEM_TASK, item identifier the EntryID). Throws AutomationError.
CDataItem::Ptr ReadTaskRecord(const outlook::TaskItem& task);

// The record of one event without its recurrence (kind ITEM_EVENT). For a changed occurrence
// (`occurrenceOf` set, the original date of the occurrence) the record carries VC_RECURRENCE_ID
// and its item identifier is the EntryID, "/" and the local date of the original start.
// `seriesAllDay` says whether the series is all-day (its dates are then dates, else UTC instants).
// Throws AutomationError.
CDataItem::Ptr ReadEventRecord(const outlook::AppointmentItem& event, const CalendarUser& user, double occurrenceOf,
                               bool seriesAllDay);

// The deleted occurrences and the rule of a series, in the record: VC_RRULE (what the pattern
// says: frequency, interval, days, ordinal weekday, day of the month, month, end) and EXDATE
// (original starts of deleted occurrences, UTC instants or dates of an all-day series, joined by
// ","). A timed series' rule is given against its start in UTC (`start` is the local one): its
// weekdays and day of the month move with the start's date. Returns whether the series has
// changed occurrences. Throws AutomationError.
bool ReadSeries(const outlook::RecurrencePattern& pattern, bool allDay, double start, CDataItem& record);

// Writes a task record's values into `task` (not saved). Throws AutomationError.
void WriteTaskFields(const outlook::TaskItem& task, const CDataItem& record);

// Writes an event record's values into `event` (not saved): texts, class, priority, start and
// end (the all-day flag when both are dates), location, categories ("Appointment" leaves them
// empty), the reminder, attendees and the organizer unless it is the user. The rule and the
// excluded dates are left to the caller. Throws AutomationError.
void WriteEventFields(const outlook::AppointmentItem& event, const CDataItem& record, const CalendarUser& user);

// Puts the rule VC_RRULE names into the event's pattern (its Start and all-day flag set before),
// the days of a timed series' rule moved from its UTC start to the local one; false when the
// record has no rule the pattern can hold. Throws AutomationError.
bool WriteRecurrence(const outlook::AppointmentItem& event, const CDataItem& record);

// A local automation date as its record text: what DateToVCalText gives (a date for an all-day
// item, else the UTC instant), without the C library's zone look-up per call where the offset
// is steady; "" for no date.
std::string RecordDateText(double date, bool allDay);

// A record date (a UTC instant "%Y%m%dT%H%M%SZ" or a date "%Y%m%d") as an automation date in the
// machine's local time; 0 when the text holds no date.
double LocalDateOfRecordText(std::string_view text);
