// Field-by-field comparison of contact and calendar item texts, for the end-to-end suites: each
// item read into canonical fields, so that two texts that say the same in other words compare equal.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// One field of an item: the component it stands in ("VCARD", "VEVENT", "VTODO", "VALARM", or for a
// changed occurrence "VEVENT RECURRENCE-ID=<its original start>"), its name and its canonical value.
struct ItemField {
  std::string component;
  std::string name;
  std::string value;

  bool operator==(const ItemField&) const = default;
  auto operator<=>(const ItemField&) const = default;
};

// A field whose values differ between two items: the values each side has (sorted).
struct FieldDifference {
  std::string component;
  std::string name;
  std::vector<std::string> expected;
  std::vector<std::string> actual;

  std::string Describe() const;
};

// The fields of a vCard (2.1, 3.0) or vCalendar (1.0, 2.0) text, in canonical form:
// - calendar times are instants ("2025-01-06T08:30:00Z", whatever zone or UTC form wrote them) or
//   dates ("2025-07-04"); a DURATION becomes the DTEND it means; the zone of a timed start (or
//   due time) is the field ZONE: the zone database's name of its TZID (or the POSIX TZ string of
//   a VTIMEZONE the database does not name, "(given by dates)" for one without a yearly rule),
//   "UTC", or for a floating time the zone of vCalendar 1.0's TZ and DAYLIGHT, else "(floating)";
// - a recurrence (RRULE in either grammar, RDATE, EXDATE) becomes the field OCCURRENCES: every
//   start within two years of the series' start, expanded in the zone of the start (UTC for a UTC
//   start, the floating zone or else the machine's local time for a floating one);
// - alarms (TRIGGER relative to the start or the end or at a time, AALARM, DALARM) become the field
//   ALARM, the lead time before the start in minutes; other lines of a VALARM are its own fields;
// - parameters are order-free and their names and the type words of vCards upper case; ATTENDEE
//   and ORGANIZER lose "mailto:" in any case; vCalendar 1.0's "Name <address>" and STATUS are read
//   as CN and PARTSTAT, its attendee with ROLE=ORGANIZER as the ORGANIZER, and its other words in
//   their iCalendar 2.0 spelling ("NEEDS ACTION", EXPECT, RSVP, TRANSP, DCREATED, GEO with a
//   comma); an AALARM, DALARM, MALARM or PALARM gives the VALARM fields the 2.0 alarm would;
//   CATEGORIES and RESOURCES are sorted sets; line breaks are LF;
// - vCard properties the card library knows give their values and type flags; any other property
//   of a card gives a field with its name and the value "(present)"; vCard 4.0's KIND and MEMBER
//   read as X-ADDRESSBOOKSERVER-KIND and -MEMBER, a "tel:" number as the number.
// VTIMEZONE components give no fields: they are applied to the times.
std::vector<ItemField> ReadItemFields(std::string_view text);

// The fields whose values differ between `expected` and `actual`, each (component, name) once.
std::vector<FieldDifference> CompareItemFields(const std::vector<ItemField>& expected, const std::vector<ItemField>& actual);
