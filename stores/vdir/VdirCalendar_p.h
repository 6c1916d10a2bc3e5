// Internal to the vdir calendar: the conversion of a vCalendar 1.0 tree to iCalendar 2.0.
#pragma once

#include "stores/vdir/VdirCalendar.h"

// The first component of `text` (its BEGIN line first), with its lines and sub-components.
CalendarComponent ReadComponent(std::string_view text);

// Converts the VCALENDAR `root` read from vCalendar 1.0 text to iCalendar 2.0 in place (see
// VdirCalendar).
void ConvertVCalendar10(CalendarComponent& root);

// Decodes the lines of `component` and its sub-components that carry a CHARSET or are
// quoted-printable, and escapes their values as iCalendar 2.0 text.
void DecodeLegacyCalendarLines(CalendarComponent& component);
