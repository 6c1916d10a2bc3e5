// Calendar arithmetic of automation dates and their link to the local clock.
#include "platform/automation/AutomationDate.h"

#include <cmath>
#include <sys/time.h>

namespace {

constexpr int64_t kMsPerDay = 86400000;

// Civil date of a day number (days since 1899-12-30).
void CivilFromDays(int64_t days, DateParts& parts) {
  const int64_t z = days - 25569 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  parts.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  parts.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  parts.year = static_cast<int>(yoe + era * 400 + (parts.month <= 2 ? 1 : 0));
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0); }

// The date as a day number and milliseconds into that day. Before 1899-12-30 the integer part
// counts days backwards and the fraction is still the time of day (-1.25 is 1899-12-29 06:00).
void SplitDate(double date, int64_t& day, int64_t& ms) {
  const double whole = std::trunc(date);
  day = static_cast<int64_t>(whole);
  ms = std::llround(std::fabs(date - whole) * kMsPerDay);
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    day += date < 0 ? -1 : 1;
  }
}

double JoinDate(int64_t day, int64_t ms) {
  const double fraction = static_cast<double>(ms) / kMsPerDay;
  return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}

// The local date and time of `moment`, to the second; false when it cannot be broken down.
bool LocalParts(time_t moment, DateParts& parts) {
  struct tm local {};
  if (localtime_r(&moment, &local) == nullptr) return false;
  parts.year = local.tm_year + 1900;
  parts.month = local.tm_mon + 1;
  parts.day = local.tm_mday;
  parts.hour = local.tm_hour;
  parts.minute = local.tm_min;
  parts.second = local.tm_sec;
  return true;
}

}  // namespace

double DateFromParts(const DateParts& parts) {
  const int64_t monthIndex = static_cast<int64_t>(parts.year) * 12 + (parts.month - 1);
  const int year = static_cast<int>(FloorDiv(monthIndex, 12));
  const int month = static_cast<int>(monthIndex - static_cast<int64_t>(year) * 12) + 1;
  int64_t day = DaysFromCivil(year, month, 1) + (parts.day - 1);
  int64_t ms = ((static_cast<int64_t>(parts.hour) * 60 + parts.minute) * 60 + parts.second) * 1000 + parts.millisecond;
  day += FloorDiv(ms, kMsPerDay);
  ms -= FloorDiv(ms, kMsPerDay) * kMsPerDay;
  return JoinDate(day, ms);
}

bool PartsFromDate(double date, DateParts& parts) {
  if (!(std::fabs(date) <= kMaxDateMagnitude)) return false;
  int64_t day = 0;
  int64_t ms = 0;
  SplitDate(date, day, ms);
  CivilFromDays(day, parts);
  parts.millisecond = static_cast<int>(ms % 1000);
  parts.second = static_cast<int>(ms / 1000 % 60);
  parts.minute = static_cast<int>(ms / 60000 % 60);
  parts.hour = static_cast<int>(ms / 3600000);
  return true;
}

double RoundToMillisecond(double date) {
  int64_t day = 0;
  int64_t ms = 0;
  SplitDate(date, day, ms);
  return JoinDate(day, ms);
}

bool IsNoDate(double date) {
  DateParts parts;
  return PartsFromDate(date, parts) && parts.year == 4501;
}

double DayOf(double date) {
  int64_t day = 0;
  int64_t ms = 0;
  SplitDate(date, day, ms);
  return static_cast<double>(day);
}

double TimeOfDay(double date) {
  int64_t day = 0;
  int64_t ms = 0;
  SplitDate(date, day, ms);
  return static_cast<double>(ms) / kMsPerDay;
}

int WeekdayOf(double date) {
  int64_t day = 0;
  int64_t ms = 0;
  SplitDate(date, day, ms);
  // Day 0 (1899-12-30) was a Saturday.
  return static_cast<int>(((day + 6) % 7 + 7) % 7);
}

double DateFromTime(time_t moment) {
  DateParts parts;
  return LocalParts(moment, parts) ? DateFromParts(parts) : 0.0;
}

time_t TimeFromDate(double date) {
  DateParts parts;
  if (!PartsFromDate(date, parts)) return static_cast<time_t>(-1);
  struct tm local {};
  local.tm_year = parts.year - 1900;
  local.tm_mon = parts.month - 1;
  local.tm_mday = parts.day;
  local.tm_hour = parts.hour;
  local.tm_min = parts.minute;
  local.tm_sec = parts.second;
  local.tm_isdst = -1;
  return mktime(&local);
}

double DateNow() {
  struct timeval now {};
  gettimeofday(&now, nullptr);
  DateParts parts;
  if (!LocalParts(now.tv_sec, parts)) return 0.0;
  parts.millisecond = static_cast<int>(now.tv_usec / 1000);
  return DateFromParts(parts);
}
