// One event (a series with its changed occurrences) or task as the vdir store keeps it: an
// iCalendar 2.0 text, whatever version it was read in.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stores/vdir/ItemLines.h"

// A component of calendar text with its lines and sub-components in text order. A value type.
struct CalendarComponent {
  std::string name;  // upper case: VCALENDAR, VEVENT, VTODO, VTIMEZONE, VALARM, STANDARD, ...
  std::vector<ItemLine> lines;
  std::vector<CalendarComponent> children;

  // The last line named `lineName`, or null.
  const ItemLine* Find(std::string_view lineName) const;
  ItemLine* Find(std::string_view lineName);
  // The component's text, BEGIN and END lines included.
  std::string Text() const;
};

// A value type. Reading converts vCalendar 1.0 to iCalendar 2.0 and keeps every property:
// quoted-printable and character sets decoded and text values escaped; dates marked VALUE=DATE;
// TZ and DAYLIGHT become a VTIMEZONE that the floating times are given as TZID; the 1.0 RRULE
// grammar becomes the 2.0 one; EXDATE and RDATE lists are separated by ","; AALARM, DALARM,
// MALARM and PALARM become VALARMs (a trigger relative to the start, or the due time of a task
// without one); an ATTENDEE with ROLE=ORGANIZER or OWNER becomes the ORGANIZER, the others get
// "mailto:", CN from "Name <address>", PARTSTAT from STATUS, ROLE from EXPECT and RSVP TRUE or FALSE;
// DCREATED becomes CREATED, TRANSP 0 and 1 OPAQUE and TRANSPARENT, STATUS "NEEDS ACTION"
// NEEDS-ACTION. iCalendar 2.0 stays as it is, except for lines with a CHARSET or quoted-printable.
class VdirCalendar {
 public:
  // The calendar of `text`: its first VCALENDAR, or the components of a text without one;
  // nullopt when it holds no VEVENT and no VTODO.
  static std::optional<VdirCalendar> Read(std::string_view text);

  // VERSION as read ("1.0", "2.0").
  const std::string& SourceVersion() const { return mSourceVersion; }
  // ITEM_EVENT or ITEM_TASK by the first event or task.
  int Kind() const;

  // The events and tasks, in text order.
  std::vector<const CalendarComponent*> Items() const;
  std::size_t ItemCount() const { return Items().size(); }
  // The UID of the first item that has one; "" when none has.
  std::string Uid() const;
  // Gives every event and task `uid` (a series and its changed occurrences share it).
  void SetUid(const std::string& uid);

  // The whole text, CR LF line ends.
  std::string Text() const;
  // The text with only the items at `indexes` (into Items()), the calendar's own lines, the time
  // zones those items name and any other component.
  std::string TextOfItems(const std::vector<std::size_t>& indexes) const;

  // Removes the item at `index` (into Items()).
  void RemoveItem(std::size_t index);
  // Appends a copy of `item` after the last item.
  void AddItem(const CalendarComponent& item);
  // The time zones of `other` replace those of the same TZID here, or are added.
  void TakeZones(const VdirCalendar& other);

 private:
  std::vector<std::size_t> ItemPositions() const;

  std::string mSourceVersion;
  CalendarComponent mRoot;
};
