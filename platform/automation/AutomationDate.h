// Automation dates: days since 1899-12-30 00:00 local wall-clock time as a double, the fraction
// being the time of day, with conversions to and from calendar parts and the local clock.
#pragma once

#include <cstdint>
#include <ctime>

// Calendar parts of a date in local wall-clock time.
struct DateParts {
  int year = 1899;
  int month = 12;   // 1-12
  int day = 30;     // 1-31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// Days from 1899-12-30 to the given civil date (negative before it), proleptic Gregorian.
constexpr int64_t DaysFromCivil(int year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yoe = year - era * 400;
  const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 25569;  // 719468: 0000-03-01 to 1970-01-01; 25569: 1899-12-30 to 1970
}

// 4501-01-01 00:00, the store's value of an empty date.
inline constexpr double kNoDate = static_cast<double>(DaysFromCivil(4501, 1, 1));
// Largest magnitude of a representable date (year 9999 either side).
inline constexpr double kMaxDateMagnitude = 3615897.0;

// The date for `parts`; parts out of their ranges roll over (month 13 is January next year).
double DateFromParts(const DateParts& parts);
// The parts of `date`, rounded to the millisecond; false when |date| exceeds kMaxDateMagnitude
// or is not a number.
bool PartsFromDate(double date, DateParts& parts);

// The same moment on the millisecond grid, so that dates reached by arithmetic (start plus a
// duration) equal the ones made from their parts.
double RoundToMillisecond(double date);

// True when the date lies in the year 4501 (the store's "no date").
bool IsNoDate(double date);
// The calendar day of `date` at 00:00.
double DayOf(double date);
// The time of day of `date` as a fraction of a day, in [0, 1).
double TimeOfDay(double date);
// 0 = Sunday ... 6 = Saturday.
int WeekdayOf(double date);

// Local time of a moment given in seconds since 1970 (the machine's zone and daylight rules).
double DateFromTime(time_t moment);
// The moment of a local date; mktime decides daylight time for that date.
time_t TimeFromDate(double date);
// The local clock now, to the millisecond.
double DateNow();
