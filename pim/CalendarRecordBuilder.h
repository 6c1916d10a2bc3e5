// Event and task records from vCalendar item text, by the rules a calendar store follows; shared by
// the stores that write server items.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pim/CDataItem.h"

// Builds the records of a vCalendar (1.0 or 2.0) item text with the values in the forms records
// keep: task dates and all-day values "%Y%m%d" of the local date; event times, task times and a
// task's completion as UTC instants "%Y%m%dT%H%M%SZ" (a UTC value as its digits stand, a zoned one
// converted from its zone, a floating one from the item's vCalendar 1.0 zone or the machine's
// local time), an end given by DURATION included; the zone of timed values in VC_TZID (the zone
// database's name of the TZID, else the POSIX TZ string of its VTIMEZONE or of TZ and DAYLIGHT,
// the machine's zone for floating times; none for UTC); the recurrence rule in the iCalendar 2.0
// grammar with its days as the text gives them (those of VC_TZID's zone, or of UTC) and a real UTC
// end (the date of an all-day series); excluded dates as UTC instants joined by "," (dates for
// an all-day series); a changed occurrence's original start in VC_RECURRENCE_ID as a UTC instant
// (a date for an all-day series); DESCRIPTION quoted-printable; the organizer and its name;
// attendees numbered, with role (OPT-PARTICIPANT, NON-PARTICIPANT, CHAIR; none for a required
// one) and RSVP=TRUE; an event's STATUS and TRANSP TRANSPARENT (VC_TRANSP); the alarm (TRIGGER relative to the start or the end, or
// at a date and time; AALARM, DALARM) as the lead time before the start, and a display alarm's text.
//
// Values the local application cannot tell apart read alike: CLASS PUBLIC (or none) gives no
// VC_CLASS; PRIORITY "1" high (iCalendar 1-4, vCalendar 1.0 1), "3" low (iCalendar 6-9,
// vCalendar 1.0 3 and above), none for medium or undefined; a task needing action has no
// VC_STATUS and one 0% complete no PERCENT-COMPLETE.
class CalendarRecordBuilder {
 public:
  // The records of `text`: of its first VTODO; or of its event, or of the series followed by
  // each changed occurrence of it (a VEVENT with RECURRENCE-ID and the series' UID, or without a
  // UID), in text order.
  // A text holding only changed occurrences gives their records. Empty when the text holds
  // neither a VEVENT nor a VTODO, or is too long to read.
  static std::vector<CDataItem::Ptr> BuildAll(std::string_view text);
  // The first record of BuildAll, or null.
  static CDataItem::Ptr Build(std::string_view text);
};

// Whether a record stands for a changed occurrence of a series (it has a VC_RECURRENCE_ID).
bool IsChangedOccurrence(const CDataItem& record);

// The key of a changed occurrence's record: the series' key, "/" and the local date ("%Y%m%d") of
// the occurrence's original start. "" for a record that is not a changed occurrence.
std::string ChangedOccurrenceKey(const std::string& seriesKey, const CDataItem& occurrence);

// The series' key of a changed occurrence's key ("ab.vcs/20240617" gives "ab.vcs"); a series key
// is returned as it is.
std::string SeriesKeyOf(const std::string& key);
