// The merge of an event's or task's kept vCalendar text with its record: the text the item goes
// back to the server as, keeping everything the record cannot hold.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pim/CDataItem.h"

// The properties of a VEVENT and of a VTODO that event and task records hold: what the calendar
// mapping (CalendarRecordBuilder) reads into their keys and ToVCalendar writes from them. An
// event's alarm (VALARM, AALARM, DALARM) is held as its lead time only: its action, description
// and other lines are not. UID and every property not listed the record does not hold.
const std::vector<std::string_view>& HeldEventProperties();
const std::vector<std::string_view>& HeldTaskProperties();

// The text of event or task `record` when the last text exchanged with the server for it is
// `kept`: the kept calendar with the record's component (its series, or the changed occurrence
// of the record's original start) merged line for line: the lines of held properties the record
// changed follow the record (a value the user cleared loses its line; a changed attendee keeps
// the parameters the record has no key for, such as ROLE and RSVP); an alarm whose lead time
// changed keeps its action and texts; every other line stays byte for byte. The calendar's own
// lines and time zones stay; its other components are left out. When `kept` is written in another
// version than the record's text (vCalendar 1.0), the record's text with the kept component's UID
// and the lines of properties both versions share that the record does not hold. Without the
// record's component in `kept`, the record's own text.
std::string MergeCalendarText(std::string_view kept, const CDataItem& record, const ItemTextOptions& options = {});
