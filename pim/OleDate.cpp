// Date and time value: calendar arithmetic on a continuous second count, local time through the C library.
#include "pim/OleDate.h"

#include <cmath>
#include <vector>

namespace {

constexpr long long kSecondsPerDay = 86400;
// Days from 1899-12-30 to 1970-01-01.
constexpr long long kEpochOffsetDays = 25569;
constexpr size_t kFormatCeiling = 4096;

long long FloorDiv(long long a, long long b) {
  const long long q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// Proleptic Gregorian calendar: days since 1970-01-01 from a civil date and back.
long long DaysFromCivil(long long year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const long long era = FloorDiv(year, 400);
  const unsigned yoe = static_cast<unsigned>(year - era * 400);
  const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

struct CivilDate {
  long long year;
  unsigned month;
  unsigned day;
};

CivilDate CivilFromDays(long long days) {
  days += 719468;
  const long long era = FloorDiv(days, 146097);
  const unsigned doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned day = doy - (153 * mp + 2) / 5 + 1;
  const unsigned month = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<long long>(yoe) + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

bool IsLeapYear(long long year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(long long year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The automation value of a point `seconds` after 1899-12-30 00:00.
double OleDaysFromLinear(long long seconds) {
  const long long days = FloorDiv(seconds, kSecondsPerDay);
  const double fraction = static_cast<double>(seconds - days * kSecondsPerDay) / kSecondsPerDay;
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

}  // namespace

long long OleDateSpan::TotalSeconds() const { return std::llround(mDays * kSecondsPerDay); }

OleDate::OleDate(double days) : mDays(days), mStatus(std::isfinite(days) && std::fabs(days) <= kMaxDays ? Valid : Invalid) {}

OleDate::OleDate(int year, int month, int day, int hour, int minute, int second) {
  SetDateTime(year, month, day, hour, minute, second);
}

bool OleDate::SetDateTime(int year, int month, int day, int hour, int minute, int second) {
  const bool partsOk = month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month) && hour >= 0 &&
                       hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
  if (!partsOk) {
    mDays = 0;
    mStatus = Invalid;
    return false;
  }
  const long long days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) + kEpochOffsetDays;
  *this = FromLinearSeconds(days * kSecondsPerDay + hour * 3600LL + minute * 60LL + second);
  return IsValid();
}

OleDate OleDate::FromLinearSeconds(long long seconds) {
  const double days = OleDaysFromLinear(seconds);
  OleDate date(days);
  if (!date.IsValid()) date.mDays = 0;
  return date;
}

long long OleDate::LinearSeconds() const {
  const double whole = std::trunc(mDays);
  const double fraction = std::fabs(mDays - whole);
  return static_cast<long long>(whole) * kSecondsPerDay + std::llround(fraction * kSecondsPerDay);
}

OleDate OleDate::FromUnixTimeUtc(std::time_t seconds) {
  return FromLinearSeconds(static_cast<long long>(seconds) + kEpochOffsetDays * kSecondsPerDay);
}

OleDate OleDate::FromUnixTimeLocal(std::time_t seconds) {
  std::tm parts{};
  if (localtime_r(&seconds, &parts) == nullptr) {
    OleDate invalid;
    invalid.mStatus = Invalid;
    return invalid;
  }
  return FromTm(parts);
}

OleDate OleDate::Now() { return FromUnixTimeLocal(std::time(nullptr)); }

OleDate OleDate::FromTm(const std::tm& parts) {
  return OleDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min,
                 parts.tm_sec > 59 ? 59 : parts.tm_sec);
}

bool OleDate::IsAbsent() const { return !IsValid() || mDays == 0 || Year() == kNoDateYear; }

bool OleDate::ToTm(std::tm& parts) const {
  parts = std::tm{};
  if (!IsValid()) return false;
  const long long seconds = LinearSeconds();
  const long long days = FloorDiv(seconds, kSecondsPerDay);
  const long long secondOfDay = seconds - days * kSecondsPerDay;
  const long long epochDays = days - kEpochOffsetDays;
  const CivilDate civil = CivilFromDays(epochDays);
  parts.tm_year = static_cast<int>(civil.year - 1900);
  parts.tm_mon = static_cast<int>(civil.month) - 1;
  parts.tm_mday = static_cast<int>(civil.day);
  parts.tm_hour = static_cast<int>(secondOfDay / 3600);
  parts.tm_min = static_cast<int>(secondOfDay / 60 % 60);
  parts.tm_sec = static_cast<int>(secondOfDay % 60);
  parts.tm_wday = static_cast<int>(((epochDays + 4) % 7 + 7) % 7);  // 1970-01-01 was a Thursday
  parts.tm_yday = static_cast<int>(epochDays - DaysFromCivil(civil.year, 1, 1));
  parts.tm_isdst = -1;
  return true;
}

int OleDate::Year() const {
  std::tm parts;
  return ToTm(parts) ? parts.tm_year + 1900 : 0;
}

int OleDate::Month() const {
  std::tm parts;
  return ToTm(parts) ? parts.tm_mon + 1 : 0;
}

int OleDate::Day() const {
  std::tm parts;
  return ToTm(parts) ? parts.tm_mday : 0;
}

int OleDate::Hour() const {
  std::tm parts;
  return ToTm(parts) ? parts.tm_hour : 0;
}

int OleDate::Minute() const {
  std::tm parts;
  return ToTm(parts) ? parts.tm_min : 0;
}

int OleDate::Second() const {
  std::tm parts;
  return ToTm(parts) ? parts.tm_sec : 0;
}

int OleDate::DayOfWeek() const {
  std::tm parts;
  return ToTm(parts) ? parts.tm_wday + 1 : 0;
}

int OleDate::DayOfYear() const {
  std::tm parts;
  return ToTm(parts) ? parts.tm_yday + 1 : 0;
}

bool OleDate::ToUnixTimeUtc(std::time_t& seconds) const {
  if (!IsValid()) return false;
  seconds = static_cast<std::time_t>(LinearSeconds() - kEpochOffsetDays * kSecondsPerDay);
  return true;
}

bool OleDate::ToUnixTimeLocal(std::time_t& seconds) const {
  std::tm parts;
  if (!ToTm(parts)) return false;
  parts.tm_wday = -1;  // mktime sets it on success; -1 is also a valid result time
  seconds = std::mktime(&parts);
  return parts.tm_wday != -1;
}

std::string OleDate::Format(const char* pattern) const {
  if (mStatus == Null) return "";
  if (mStatus == Invalid) return "Invalid DateTime";
  std::tm parts;
  if (pattern == nullptr || *pattern == '\0' || !ToTm(parts)) return "";
  for (size_t size = 64; size <= kFormatCeiling; size *= 4) {
    std::vector<char> buffer(size);
    const size_t length = std::strftime(buffer.data(), buffer.size(), pattern, &parts);
    if (length > 0) return std::string(buffer.data(), length);
  }
  return "";
}

OleDate OleDate::operator+(OleDateSpan span) const {
  if (!IsValid()) return *this;
  const double seconds = static_cast<double>(LinearSeconds()) + span.Days() * kSecondsPerDay;
  if (!std::isfinite(seconds) || std::fabs(seconds) > (kMaxDays + 2) * kSecondsPerDay) {
    OleDate invalid;
    invalid.mStatus = Invalid;
    return invalid;
  }
  return FromLinearSeconds(std::llround(seconds));
}

OleDateSpan OleDate::operator-(const OleDate& other) const {
  if (!IsValid() || !other.IsValid()) return OleDateSpan();
  return OleDateSpan(static_cast<double>(LinearSeconds() - other.LinearSeconds()) / kSecondsPerDay);
}

bool OleDate::operator==(const OleDate& other) const {
  if (mStatus != other.mStatus) return false;
  return !IsValid() || LinearSeconds() == other.LinearSeconds();
}

std::partial_ordering OleDate::operator<=>(const OleDate& other) const {
  if (IsValid() != other.IsValid()) return IsValid() ? std::partial_ordering::greater : std::partial_ordering::less;
  if (!IsValid()) return mStatus == other.mStatus ? std::partial_ordering::equivalent : std::partial_ordering::unordered;
  return LinearSeconds() <=> other.LinearSeconds();
}

void UtcToLocal(OleDate& date) {
  std::time_t seconds;
  if (!date.ToUnixTimeUtc(seconds)) return;
  const OleDate local = OleDate::FromUnixTimeLocal(seconds);
  if (local.IsValid()) date = local;
}

void LocalToUtc(OleDate& date) {
  std::time_t seconds;
  if (!date.ToUnixTimeLocal(seconds)) return;
  const OleDate utc = OleDate::FromUnixTimeUtc(seconds);
  if (utc.IsValid()) date = utc;
}

long CurrentBiasSeconds() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  if (localtime_r(&now, &parts) == nullptr) return 0;
  return -parts.tm_gmtoff;
}
