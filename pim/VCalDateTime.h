// Calendar date and date-time texts: writing event times, task dates and stamps; reading them back.
#pragma once

#include <string>
#include <string_view>

#include "pim/OleDate.h"

// The text of an event start or end from a local date value: "" when `date` is not greater than 0;
// "%Y%m%d" of the local date when `allDay`; else the local time converted to UTC by the C library's
// rules for that date, as "%Y%m%dT%H%M%SZ".
std::string DateToVCalText(double date, bool allDay);

// "%Y%m%d" of a date's own digits (task dates, recurrence identifiers), the year in four digits;
// "" when not Valid or outside the years 1 to 9999.
std::string VCalDateText(const OleDate& date);
// "%Y%m%dT%H%M%SZ" of a date's own digits with a literal Z, no conversion (a UTC instant); ""
// when not Valid or outside the years 1 to 9999.
std::string VCalStampText(const OleDate& date);

// Reads "YYYYMMDD" optionally followed by "THHMMSS": each field by its leading digits (none gives
// 0). A text of 8 to 14 characters gives the date at 00:00; one of 7 or fewer an Invalid date.
// Whatever follows the seconds (a "Z" among it) is ignored: the result is the text's own digits.
OleDate ParseVCalDateTime(std::string_view text);

// True when a date-time text names UTC (it ends in "Z" after a time part).
bool IsVCalUtcText(std::string_view text);
