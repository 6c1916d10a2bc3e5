// Calendar date and date-time texts.
#include "pim/VCalDateTime.h"

#include <cstdio>

namespace {

// The field at [start, start + length) of `text` read by its leading digits; 0 when there are none.
int LeadingNumber(std::string_view text, size_t start, size_t length) {
  int value = 0;
  for (size_t i = start; i < start + length && i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

std::string DateToVCalText(double date, bool allDay) {
  if (!(date > 0)) return "";
  const OleDate local(date);
  if (!local.IsValid()) return "";
  if (allDay) return VCalDateText(local);
  // Every date goes through the C library's zone rules for that date: an offset taken from the
  // current bias would be off by an hour for dates on the other side of a daylight change.
  OleDate utc = local;
  LocalToUtc(utc);
  return VCalStampText(utc);
}

// Calendar texts hold four digits of year: a date outside the years 1 to 9999 has no text.
bool HasCalendarText(const OleDate& date) { return date.IsValid() && date.Year() >= 1 && date.Year() <= 9999; }

std::string VCalDateText(const OleDate& date) {
  if (!HasCalendarText(date)) return "";
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02d%02d", date.Year(), date.Month(), date.Day());
  return text;
}

std::string VCalStampText(const OleDate& date) {
  if (!HasCalendarText(date)) return "";
  char text[24];
  std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02dZ", date.Year(), date.Month(), date.Day(), date.Hour(),
                date.Minute(), date.Second());
  return text;
}

OleDate ParseVCalDateTime(std::string_view text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (text.size() > 7) {
    year = LeadingNumber(text, 0, 4);
    month = LeadingNumber(text, 4, 2);
    day = LeadingNumber(text, 6, 2);
  }
  if (text.size() > 14) {
    hour = LeadingNumber(text, 9, 2);
    minute = LeadingNumber(text, 11, 2);
    second = LeadingNumber(text, 13, 2);
  }
  return OleDate(year, month, day, hour, minute, second);
}

bool IsVCalUtcText(std::string_view text) {
  return text.size() > 15 && text[8] == 'T' && (text.back() == 'Z' || text.back() == 'z');
}
